#include "ReaderEPUB/EPUBReader.h"

namespace tavrine {

bool EPUBReader::Limits::isValid() const {
    const Limits standard;
    auto within = [](qint64 value, qint64 maximum) { return value > 0 && value <= maximum; };
    return within(archiveBytes, standard.archiveBytes) && within(entries, standard.entries) &&
           within(entryBytes, standard.entryBytes) && within(expandedBytes, standard.expandedBytes) &&
           within(xmlBytes, standard.xmlBytes) && within(totalXMLBytes, standard.totalXMLBytes) &&
           within(nodes, standard.nodes) && within(depth, standard.depth) && within(textUTF16, standard.textUTF16) &&
           within(navigation, standard.navigation);
}

QString failureName(const EPUBReader::Failure& failure) {
    using Kind = EPUBReader::Failure::Kind;
    switch (failure.kind) {
    case Kind::limit: return QStringLiteral("limit(%1)").arg(rawValue(failure.resourceLimit));
    case Kind::invalidLimits: return QStringLiteral("invalidLimits");
    case Kind::invalidArchive: return QStringLiteral("invalidArchive");
    case Kind::unsupportedArchive: return QStringLiteral("unsupportedArchive");
    case Kind::ambiguousPath: return QStringLiteral("ambiguousPath");
    case Kind::invalidXML: return QStringLiteral("invalidXML");
    case Kind::unsafeXML: return QStringLiteral("unsafeXML");
    case Kind::invalidPackage: return QStringLiteral("invalidPackage");
    case Kind::encrypted: return QStringLiteral("encrypted");
    case Kind::unsupportedVersion: return QStringLiteral("unsupportedVersion");
    case Kind::multipleRenditions: return QStringLiteral("multipleRenditions");
    case Kind::fixedLayout: return QStringLiteral("fixedLayout");
    case Kind::unsupportedContent: return QStringLiteral("unsupportedContent");
    case Kind::missingResource: return QStringLiteral("missingResource");
    case Kind::ambiguousContent: return QStringLiteral("ambiguousContent");
    case Kind::emptyContent: return QStringLiteral("emptyContent");
    case Kind::cancelled: return QStringLiteral("cancelled");
    }
    return QString();
}

}  // namespace tavrine
