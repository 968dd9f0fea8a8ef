#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/EPUBBook.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBArchive.h"
#include "ReaderEPUB/internal/EPUBBookAssembly.h"
#include "ReaderEPUB/internal/EPUBManifest.h"
#include "ReaderEPUB/internal/EPUBPackageDocument.h"
#include "ReaderEPUB/internal/EPUBSpine.h"
#include "ReaderEPUB/internal/EPUBXMLBudget.h"
#include "ReaderEPUB/internal/EPUBXMLNode.h"

#include <QList>
#include <QSet>
#include <QString>
#include <memory>
#include <unordered_map>

namespace tavrine {

// One import run over the extracted files of a book: the container and package documents, the gates
// that refuse what cannot be read as text, the spine walk and, after it, the book's assembly. It reads
// nothing but the files it was given, keeps nothing beyond itself, and stops at the first failure, which
// leaves no partial book. Owned by the one import that created it and used on that import's thread only;
// every XML document it parses is charged to its one budget.
class EPUBReader::Operation {
public:
    using Item = EPUBManifestItem;

    // What the package stages hand to the spine walk and to the book's assembly.
    struct Package {
        // The package document's archive path: the base of its references and the prefix of section ids.
        QString path;
        EPUBPackageVersion version = EPUBPackageVersion::epub3;
        EPUBBook::Metadata metadata;
        EPUBManifest manifest;
        EPUBNavigationSource navigation;
        QSet<QString> guideTableOfContents;
        // The spine element, in the run's parse cache: valid while the run lives.
        const EPUBXMLNode* spine = nullptr;
    };

    Operation(EPUBArchiveFiles files, Limits limits, CancellationToken cancellation);
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // The whole run: the package stages, the spine walk and the book's assembly.
    Result<EPUBBook> run();

    // The document element of the file at an archive path, parsed once per run: a second request is
    // served from the cache and charges nothing. A path the archive lacks is missingResource; the XML
    // layer's failures pass through. The node lives as long as the run.
    Result<const EPUBXMLNode*> parse(const QString& path);

    // The container, the encryption gate, the package document and its metadata gate, the manifest,
    // the obfuscated fonts, the choice of the table of contents, the Dublin Core metadata (with its
    // notices) and the guide, in this order.
    Result<Package> readPackage();

    // Refuses a book with rights management or with encryption other than font obfuscation (encrypted);
    // returns the archive paths of the obfuscated resources, for the manifest to check.
    Result<QStringList> checkEncryption();

    // The spine walk with its gates; `showDocument` receives each document that is to become text.
    Result<void> walkSpine(const Package& package, const EPUBSpineDocumentStep& showDocument);

    // The table of contents from the package's navigation source, every entry resolved into the book
    // text; read once the text is complete. An entry that leads nowhere keeps its label and reference
    // and adds one notice for the source.
    Result<QList<EPUBBook::Navigation>> readNavigation(const Package& package);

    // Where a reference that the file at `referringPath` makes leads in the text rendered so far.
    EPUBBook::Destination destination(QStringView reference, QStringView referringPath) const {
        return m_assembly.destination(reference, referringPath, m_files);
    }

    // In the order the stages recorded them; made unique and ordered when the book is assembled.
    const QList<EPUBBook::Notice>& notices() const { return m_notices; }
    const EPUBXMLBudget& xmlBudget() const { return m_xmlBudget; }

private:
    Result<void> appendSpineDocument(const Package& package, const Item& item, const QString& idref);

    EPUBArchiveFiles m_files;
    Limits m_limits;
    CancellationToken m_cancellation;
    EPUBXMLBudget m_xmlBudget;
    QList<EPUBBook::Notice> m_notices;
    std::unordered_map<QString, std::unique_ptr<EPUBXMLNode>> m_parsed;
    EPUBBookAssembly m_assembly;
};

}  // namespace tavrine
