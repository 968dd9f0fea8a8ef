#include "ReaderCore/EPUBBook.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace tavrine {
namespace {

using SectionRanges = QHash<QString, TextRange>;

// A position leads into the text only inside the section it names, on a legal offset; the end of a
// section belongs to the next one, even at the end of the text.
bool leadsIntoText(const EPUBBook::Destination& destination, const SectionRanges& sections, QStringView text) {
    const auto* position = destination.asPosition();
    if (!position) return true;
    const auto section = sections.constFind(position->sectionID);
    if (section == sections.constEnd()) return false;
    if (!section->contains(position->utf16Offset)) return false;
    return isValidUTF16Offset(position->utf16Offset, text);
}

bool navigationIsValid(const QList<EPUBBook::Navigation>& navigation, const SectionRanges& sections, QStringView text) {
    // Every entry checked so far has added its id, so the set also counts them.
    QSet<QString> seenIDs;
    seenIDs.reserve(std::min(navigation.size() * 8, EPUBBook::kMaximumNavigationEntries));
    return forEachNavigationEntry(navigation, [&](const EPUBBook::Navigation& entry, qsizetype depth) {
        if (seenIDs.size() == EPUBBook::kMaximumNavigationEntries) return false;
        if (depth >= EPUBBook::kMaximumNavigationDepth) return false;
        if (entry.id.isEmpty()) return false;
        const qsizetype seenBefore = seenIDs.size();
        seenIDs.insert(entry.id);
        if (seenIDs.size() == seenBefore) return false;
        return leadsIntoText(entry.destination, sections, text);
    });
}

bool linksAreValid(const QList<EPUBBook::Link>& links, const SectionRanges& sections, QStringView text) {
    for (const auto& link : links) {
        if (link.start < 0 || link.end < link.start || link.end > text.size()) return false;
        if (!leadsIntoText(link.destination, sections, text)) return false;
    }
    return true;
}

}  // namespace

bool EPUBBook::Information::isValid(const ReadingDocument& document) const {
    if (!document.isValid()) return false;
    if (!document.sections || document.sections->isEmpty()) return false;
    if (document.text.size() > kMaximumTextLength) return false;
    if (packagePath.isEmpty()) return false;

    // Section ids are unique in a valid document.
    SectionRanges sections;
    sections.reserve(document.sections->size());
    for (const auto& section : *document.sections) sections.insert(section.id, section.range());

    return navigationIsValid(navigation, sections, document.text) && linksAreValid(links, sections, document.text);
}

}  // namespace tavrine
