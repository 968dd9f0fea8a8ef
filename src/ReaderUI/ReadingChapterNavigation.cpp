#include "ReaderUI/ReadingChapterNavigation.h"

#include <QHash>

#include <algorithm>

namespace tavrine {

ReadingChapterNavigation::ReadingChapterNavigation(const ReadingDocument& document,
                                                   const QList<EPUBBook::Navigation>& navigation) {
    if (!document.sections || document.sections->isEmpty()) return;
    const QList<ReadingDocument::Section>& sections = *document.sections;

    // With a repeated id (never in a valid document) the first section of that id counts.
    QHash<QString, TextRange> ranges;
    ranges.reserve(sections.size());
    for (const auto& section : sections) {
        if (!ranges.contains(section.id)) ranges.insert(section.id, TextRange{section.start, section.end});
    }

    forEachNavigationEntry(navigation, [&](const EPUBBook::Navigation& entry, qsizetype) {
        const auto* position = entry.destination.asPosition();
        if (!position) return true;
        const auto range = ranges.constFind(position->sectionID);
        if (range != ranges.constEnd() && range->contains(position->utf16Offset)) offsets.append(position->utf16Offset);
        return true;
    });
    // Section starts are chapters only when no entry leads into the text.
    if (offsets.isEmpty()) {
        for (const auto& section : sections) offsets.append(section.start);
    }
    offsets.append(0);
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
}

}  // namespace tavrine
