#include "ReaderUI/Workspace/ReaderEPUBContents.h"

namespace tavrine {

ReaderEPUBContents::ReaderEPUBContents(const SavedReading& reading) {
    if (reading.epub) rows = EPUBNavigationRows::flatten(reading.epub->navigation);
    if (reading.document.sections) sections = *reading.document.sections;

    destinations.reserve(rows.size() + sections.size());
    QList<Selection> jumpable;
    for (const EPUBNavigationRows::Row& row : rows) {
        if (!row.entry.destination.asPosition()) continue;
        Selection key = Selection::navigation(row.entry.id);
        destinations.insert(key, row.entry.destination);
        jumpable.append(std::move(key));
    }

    chapterSelections.reserve(sections.size());
    for (const ReadingDocument::Section& section : sections) {
        Selection key = Selection::chapter(section.id);
        destinations.insert(key, EPUBBook::Destination::position(section.id, section.start));
        chapterSelections.append(std::move(key));
    }

    usesChapterFallback = jumpable.isEmpty();
    primarySelections = usesChapterFallback ? chapterSelections : std::move(jumpable);
}

std::optional<ReaderEPUBContents::Selection> ReaderEPUBContents::currentChapter(
    const std::optional<ReadingDocument::Section>& currentSection) {
    if (!currentSection) return std::nullopt;
    return Selection::chapter(currentSection->id);
}

size_t qHash(const ReaderEPUBContents::Selection& selection, size_t seed) noexcept {
    return qHashMulti(seed, static_cast<quint8>(selection.kind), selection.id);
}

}  // namespace tavrine
