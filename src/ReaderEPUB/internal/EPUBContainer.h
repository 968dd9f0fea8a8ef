#pragma once

#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

#include <QString>
#include <QStringList>

namespace tavrine {

// The archive path of the package document that the container document ("META-INF/container.xml")
// names. The container must list exactly one rendition (none or several: multipleRenditions), of the
// package media type, by a path that resolves from the archive root to a file name without fragment;
// every other fault is invalidPackage. Whether the file exists is the caller's question.
EPUBReader::Result<QString> packagePathFromContainer(const EPUBXMLNode& container);

// The archive paths that the encryption document ("META-INF/encryption.xml") names, in document order
// with duplicates kept. Only font obfuscation is tolerated, so every entry must describe itself fully
// as one of the two font-obfuscation algorithms (else encrypted); a cipher reference that names no
// archive path is invalidPackage. Whether each path is an obfuscated font is for the manifest to say.
EPUBReader::Result<QStringList> obfuscatedResources(const EPUBXMLNode& encryption);

}  // namespace tavrine
