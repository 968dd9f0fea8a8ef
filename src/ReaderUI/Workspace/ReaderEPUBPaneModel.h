#pragma once

// A Qt header first: moc reads the standard library's concepts only after Qt's own configuration.
#include <QAbstractListModel>

#include "ReaderUI/Workspace/ReaderEPUBContents.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace tavrine {

class ReadingPlayer;

// The rows of the table-of-contents pane of one EPUB reading, in the order shown: one row per
// table-of-contents entry (those that lead nowhere too, with their reason), then either the fallback
// section (its header, a note and one row per chapter) when no entry leads into the text, or the
// collapsible chapter group followed, while expanded, by one row per chapter.
//
// The contents are taken once, at construction; afterwards the rows change only by the group being
// expanded or collapsed (rows inserted or removed after it) and the current marks move by dataChanged on
// the rows whose mark changed, never by a reset, so a view keeps what it has measured. Main thread.
class ReaderEPUBPaneModel final : public QAbstractListModel {
    Q_OBJECT

public:
    using Selection = ReaderEPUBContents::Selection;

    enum class Kind : quint8 {
        entry,             // an entry that can be jumped to
        unavailableEntry,  // an entry that leads nowhere, shown with its reason
        fallbackHeader,    // the header of the fallback section
        fallbackNote,      // why the chapters are offered instead
        chapterGroup,      // the collapsible group of the chapters
        chapter,
    };

    enum Role {
        KindRole = Qt::UserRole + 1,  // Kind, as an int
        DepthRole,                    // an entry's depth, 0 for the top level
        ReasonRole,                   // why an unavailable entry leads nowhere
        CurrentRole,                  // the entry or chapter of the reading position
        ExpandedRole,                 // the chapter group is expanded
    };

    static constexpr qsizetype kLabelCharacters = 240;
    static constexpr double kIndentationPerLevel = 12;
    static constexpr qsizetype kIndentedLevels = 7;

    static inline const QString kTitle = QStringLiteral("目次");
    static inline const QString kChaptersTitle = QStringLiteral("本文順の章");
    static inline const QString kNoContentsNote =
        QStringLiteral("この本には目次がありません。本文順の章から移動できます。");
    static inline const QString kNoJumpableEntryNote =
        QStringLiteral("移動できる目次項目がありません。本文順の章から移動できます。");
    static inline const QString kEntryHint = QStringLiteral("この位置へ移動して停止します。目次は開いたままです");
    static inline const QString kChapterHint = QStringLiteral("この章の先頭へ移動して停止します。目次は開いたままです");
    static inline const QString kCurrentEntryLabel = QStringLiteral("現在位置に対応する目次");

    explicit ReaderEPUBPaneModel(ReaderEPUBContents contents, QObject* parent = nullptr);

    const ReaderEPUBContents& contents() const { return m_contents; }

    // The indentation of an entry at depth: 12 per level, levels beyond the seventh not indented further.
    static double indentation(qsizetype depth);
    // What an entry's row shows of its label: its first 240 Characters, made one line by oneLineText.
    static QString shownLabel(const QString& label);
    // A section's title as stored, made one line by oneLineText; "章 N" (N counting from 1) for one without.
    static QString chapterTitle(const ReadingDocument::Section& section, qsizetype index);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    Kind kindAt(int row) const;
    // The key a row stands for: entries that can be jumped to and chapters; nothing for the others.
    std::optional<Selection> selectionAt(int row) const;
    // The first row standing for key; -1 when no row shown does.
    int rowOf(const Selection& key) const;

    bool showsChapters() const { return m_showsChapters; }
    // Inserts or removes the chapter rows after the group; nothing under the fallback, which always
    // shows them.
    void setShowsChapters(bool shows);

    // Moves the current marks to the entry and the chapter of the player's position (computed once
    // here for all rows); only rows whose mark changed are reported.
    void followPlayer(const ReadingPlayer& player);
    void setCurrent(const std::optional<QString>& entryID, const std::optional<QString>& sectionID);
    const std::optional<QString>& currentEntryID() const { return m_currentEntryID; }
    const std::optional<QString>& currentSectionID() const { return m_currentSectionID; }

private:
    int firstChapterRow() const;
    bool chaptersShown() const { return m_contents.usesChapterFallback || m_showsChapters; }
    void reportCurrentRows(const QList<int>& entryRows, const QList<int>& chapterIndices);

    ReaderEPUBContents m_contents;
    // The rows of entries and the positions of sections, by id (an id can repeat).
    QHash<QString, QList<int>> m_entryRows;
    QHash<QString, QList<int>> m_sectionIndices;
    bool m_showsChapters = false;
    std::optional<QString> m_currentEntryID;
    std::optional<QString> m_currentSectionID;
    // The player's position last followed, so that a refresh at the same place costs nothing.
    std::optional<std::pair<std::optional<QString>, qsizetype>> m_followed;
};

}  // namespace tavrine
