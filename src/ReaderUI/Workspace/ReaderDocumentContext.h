#pragma once

#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/ReadingSession.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"

#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

namespace tavrine {

// What is being read and how far it has got, as the progress control, the table-of-contents pane and
// its button show it: title, author line, chapter, progress and its percentage. A value computed afresh
// from the player's read-outs whenever one of them changes (for every phrase while playing).
struct ReaderDocumentContext {
    // The read-outs of the player that the context depends on, taken at one moment. `reading` points
    // into the player and is read only while the context is made.
    struct PlayerState {
        const SavedReading* reading = nullptr;
        ReadingSession::Status sessionStatus = ReadingSession::Status::ready;
        bool isPreparing = false;
        // The full text length of the player's source window, when it has one.
        std::optional<qsizetype> sourceWindowTotalLength = std::nullopt;
        // The section that holds the reading position.
        std::optional<ReadingDocument::Section> currentSection = std::nullopt;
        // The reading position, a UTF-16 offset into the full text.
        qsizetype sourceOffset = 0;
    };

    // What a context keeps of the reading being played from one phrase to the next: its title (the title
    // rule orders the heading spans) and where each section id stands in the section list. Each is made
    // on first use and kept while the reading's id stays the same: a reading id names one content, as
    // readings never change under their id. Belongs to its owner's thread.
    class Cache {
    public:
        const QString& title(const SavedReading& reading);
        // The index of the first section with the id; nothing when the reading has no such section.
        std::optional<qsizetype> sectionIndex(const SavedReading& reading, const QString& sectionID);

    private:
        void follow(const SavedReading& reading);

        std::optional<QUuid> m_id;
        std::optional<QString> m_title;
        std::optional<QHash<QString, qsizetype>> m_sectionIndices;
    };

    static constexpr int kHighestUnfinishedPercentage = 99;

    QString title;
    // The author line of an EPUB book with creators; absent otherwise.
    std::optional<QString> author;
    // The trimmed title of the current section made one line by oneLineText, or "章 N" for the Nth section
    // when it has none.
    std::optional<QString> chapter;
    // In [0, 1]: 1 at the last unit of the text, and for a completed reading.
    double progress = 0;
    // The whole percentage and "%": "100%" only for a completed reading, at most "99%" otherwise.
    QString progressLabel;

    // cache, when given, spares the work that depends on the reading alone.
    static ReaderDocumentContext make(const PlayerState& player, Cache* cache = nullptr);

    bool operator==(const ReaderDocumentContext&) const = default;
};

}  // namespace tavrine
