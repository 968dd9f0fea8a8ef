#pragma once

#include "ReaderCore/EPUBBook.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/EPUBNavigationRows.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace tavrine {

// What the table-of-contents pane of one EPUB reading is built from: the book's table of contents as
// rows, the document's sections, and a key and a destination for every place that can be jumped to.
// Computed once from the reading when its pane is made and never changed; a plain value.
struct ReaderEPUBContents {
    // The key of one place to jump to: a table-of-contents entry or a chapter (a section), named by its
    // id. A navigation key and a chapter key with the same string are different keys.
    struct Selection {
        enum class Kind : quint8 { navigation, chapter };

        Kind kind = Kind::navigation;
        QString id;

        static Selection navigation(QString id) { return {Kind::navigation, std::move(id)}; }
        static Selection chapter(QString id) { return {Kind::chapter, std::move(id)}; }

        bool operator==(const Selection&) const = default;
    };

    // Every entry of the book's table of contents, a parent before its children, those that lead
    // nowhere included; empty for a reading without EPUB information.
    QList<EPUBNavigationRows::Row> rows;
    // The document's sections in document order; empty when it has none.
    QList<ReadingDocument::Section> sections;
    // True when no row leads into the text: the pane offers the chapters instead.
    bool usesChapterFallback = true;
    // The destination of every key in the two lists below; every value is a position. Where an id
    // repeats, the later entry or section gives the value.
    QHash<Selection, EPUBBook::Destination> destinations;
    // What the pane offers first, in display order: one key per row that leads into the text (a repeated
    // id is listed as often as it occurs), or, under the fallback, the chapters.
    QList<Selection> primarySelections;
    // One chapter key per section, in section order.
    QList<Selection> chapterSelections;

    ReaderEPUBContents() = default;
    explicit ReaderEPUBContents(const SavedReading& reading);

    // The chapter key of the section that holds the reading position, when there is one.
    static std::optional<Selection> currentChapter(const std::optional<ReadingDocument::Section>& currentSection);

    bool operator==(const ReaderEPUBContents&) const = default;
};

// The case first, then the string.
size_t qHash(const ReaderEPUBContents::Selection& selection, size_t seed = 0) noexcept;

}  // namespace tavrine
