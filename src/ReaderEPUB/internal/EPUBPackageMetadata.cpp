#include "ReaderEPUB/internal/EPUBPackageMetadata.h"

#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

namespace tavrine {
namespace {
using Kind = EPUBBook::Notice::Kind;

std::optional<QString> uniqueIdentifier(const EPUBXMLNode& metadata, const std::optional<QString>& id) {
    if (!id) return std::nullopt;
    for (const EPUBXMLNode* identifier : metadata.children(u"identifier", EPUBXMLNamespace::dublinCore)) {
        // A plain id that differs is no match, whatever the xml:id says.
        if (identifier->identifier() != id) continue;
        const QString text = identifier->text().trimmed();
        if (text.isEmpty()) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

// The trimmed, non-blank texts of the metadata element's Dublin Core children with this local name.
QStringList dublinCoreTexts(QStringView name, const EPUBXMLNode& metadata) {
    QStringList texts;
    for (const EPUBXMLNode* element : metadata.children(name, EPUBXMLNamespace::dublinCore)) {
        QString text = element->text().trimmed();
        if (!text.isEmpty()) texts.append(std::move(text));
    }
    return texts;
}

}  // namespace

EPUBBook::Metadata readPackageMetadata(const EPUBXMLNode& metadata, const std::optional<QString>& uniqueIdentifierID,
                                       QList<EPUBBook::Notice>& notices) {
    EPUBBook::Metadata result;
    result.titles = dublinCoreTexts(u"title", metadata);
    result.creators = dublinCoreTexts(u"creator", metadata);
    result.languages = dublinCoreTexts(u"language", metadata);
    result.identifiers = dublinCoreTexts(u"identifier", metadata);
    const std::pair<const QStringList&, Kind> required[] = {
        {result.titles, Kind::missingTitle},
        {result.creators, Kind::missingCreator},
        {result.languages, Kind::missingLanguage},
        {result.identifiers, Kind::missingIdentifier},
    };
    for (const auto& [texts, kind] : required) {
        if (texts.isEmpty()) notices.append({kind, std::nullopt});
    }
    result.uniqueIdentifier = uniqueIdentifier(metadata, uniqueIdentifierID);
    result.publishers = dublinCoreTexts(u"publisher", metadata);
    result.dates = dublinCoreTexts(u"date", metadata);
    return result;
}

}  // namespace tavrine
