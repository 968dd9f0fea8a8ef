#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/PrintableText.h"
#include "ReaderUI/EPUBNavigationRows.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tavrine {

ReaderEPUBPaneModel::ReaderEPUBPaneModel(ReaderEPUBContents contents, QObject* parent)
    : QAbstractListModel(parent), m_contents(std::move(contents)) {
    Q_ASSERT(isMainThread());
    for (qsizetype row = 0; row < m_contents.rows.size(); ++row)
        m_entryRows[m_contents.rows[row].id()].append(int(row));
    for (qsizetype index = 0; index < m_contents.sections.size(); ++index) {
        m_sectionIndices[m_contents.sections[index].id].append(int(index));
    }
}

double ReaderEPUBPaneModel::indentation(qsizetype depth) {
    return kIndentationPerLevel * double(std::clamp<qsizetype>(depth, 0, kIndentedLevels));
}

QString ReaderEPUBPaneModel::shownLabel(const QString& label) {
    return oneLineText(firstCharacters(label, kLabelCharacters));
}

QString ReaderEPUBPaneModel::chapterTitle(const ReadingDocument::Section& section, qsizetype index) {
    return section.title ? oneLineText(*section.title) : u"章 "_s + QString::number(index + 1);
}

int ReaderEPUBPaneModel::firstChapterRow() const {
    // Under the fallback the header and the note come first; otherwise the group.
    return int(m_contents.rows.size()) + (m_contents.usesChapterFallback ? 2 : 1);
}

int ReaderEPUBPaneModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return firstChapterRow() + (chaptersShown() ? int(m_contents.sections.size()) : 0);
}

ReaderEPUBPaneModel::Kind ReaderEPUBPaneModel::kindAt(int row) const {
    const int entries = int(m_contents.rows.size());
    if (row < entries) {
        return m_contents.rows[row].entry.destination.asPosition() ? Kind::entry : Kind::unavailableEntry;
    }
    if (m_contents.usesChapterFallback) {
        if (row == entries) return Kind::fallbackHeader;
        if (row == entries + 1) return Kind::fallbackNote;
        return Kind::chapter;
    }
    return row == entries ? Kind::chapterGroup : Kind::chapter;
}

std::optional<ReaderEPUBPaneModel::Selection> ReaderEPUBPaneModel::selectionAt(int row) const {
    if (row < 0 || row >= rowCount()) return std::nullopt;
    switch (kindAt(row)) {
    case Kind::entry: return Selection::navigation(m_contents.rows[row].id());
    case Kind::chapter: return Selection::chapter(m_contents.sections[row - firstChapterRow()].id);
    default: return std::nullopt;
    }
}

int ReaderEPUBPaneModel::rowOf(const Selection& key) const {
    if (key.kind == Selection::Kind::navigation) {
        for (int row : m_entryRows.value(key.id)) {
            if (kindAt(row) == Kind::entry) return row;
        }
        return -1;
    }
    if (!chaptersShown()) return -1;
    const QList<int> indices = m_sectionIndices.value(key.id);
    return indices.isEmpty() ? -1 : firstChapterRow() + indices.first();
}

QVariant ReaderEPUBPaneModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const int row = index.row();
    const Kind kind = kindAt(row);
    if (role == KindRole) return int(kind);
    switch (kind) {
    case Kind::entry:
    case Kind::unavailableEntry: {
        const EPUBNavigationRows::Row& entryRow = m_contents.rows[row];
        const bool current = kind == Kind::entry && m_currentEntryID == entryRow.id();
        switch (role) {
        case Qt::DisplayRole: return shownLabel(entryRow.entry.label);
        case DepthRole: return entryRow.depth;
        case CurrentRole: return current;
        case ReasonRole: {
            const std::optional<EPUBBook::Unavailable> reason = entryRow.entry.destination.unavailableReason();
            return reason ? EPUBNavigationRows::reasonMessage(*reason) : QString();
        }
        case Qt::AccessibleTextRole: {
            QString text = QString::number(entryRow.depth + 1) + u"階層、"_s + shownLabel(entryRow.entry.label);
            if (kind == Kind::unavailableEntry) {
                text += u'、' + data(index, ReasonRole).toString();
            } else if (current) {
                text += u"、現在位置"_s;
            }
            return text;
        }
        case Qt::AccessibleDescriptionRole: return kind == Kind::entry ? QVariant(kEntryHint) : QVariant();
        default: return {};
        }
    }
    case Kind::fallbackHeader:
    case Kind::chapterGroup:
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return kChaptersTitle;
        if (role == ExpandedRole) return chaptersShown();
        return {};
    case Kind::fallbackNote:
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
            return m_contents.rows.isEmpty() ? kNoContentsNote : kNoJumpableEntryNote;
        }
        return {};
    case Kind::chapter: {
        const qsizetype position = row - firstChapterRow();
        const ReadingDocument::Section& section = m_contents.sections[position];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: return chapterTitle(section, position);
        case CurrentRole: return m_currentSectionID == section.id;
        case Qt::AccessibleDescriptionRole: return kChapterHint;
        default: return {};
        }
    }
    }
    return {};
}

Qt::ItemFlags ReaderEPUBPaneModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const Qt::ItemFlags enabled = Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    switch (kindAt(index.row())) {
    case Kind::entry:
    case Kind::unavailableEntry:
        // Selectable exactly when its key has a destination: one lookup per row.
        return m_contents.destinations.contains(Selection::navigation(m_contents.rows[index.row()].id()))
                   ? enabled | Qt::ItemIsSelectable
                   : enabled;
    case Kind::chapter: return enabled | Qt::ItemIsSelectable;
    default: return enabled;
    }
}

void ReaderEPUBPaneModel::setShowsChapters(bool shows) {
    if (m_showsChapters == shows) return;
    const bool wereShown = chaptersShown();
    const int first = firstChapterRow();
    const int count = int(m_contents.sections.size());
    if (m_contents.usesChapterFallback || count == 0) {
        m_showsChapters = shows;
    } else if (shows) {
        beginInsertRows({}, first, first + count - 1);
        m_showsChapters = true;
        endInsertRows();
    } else {
        beginRemoveRows({}, first, first + count - 1);
        m_showsChapters = false;
        endRemoveRows();
    }
    if (wereShown != chaptersShown()) {
        const QModelIndex group = index(first - 1);
        emit dataChanged(group, group, {ExpandedRole});
    }
}

void ReaderEPUBPaneModel::followPlayer(const ReadingPlayer& player) {
    const std::optional<ReadingDocument::Section> section = player.currentSection();
    std::optional<QString> sectionID;
    if (section) sectionID = section->id;
    const qsizetype offset = player.currentSourceOffset();
    std::pair<std::optional<QString>, qsizetype> position{sectionID, offset};
    if (m_followed == position) return;
    m_followed = std::move(position);
    setCurrent(EPUBNavigationRows::currentID(m_contents.rows, sectionID, offset), sectionID);
}

void ReaderEPUBPaneModel::setCurrent(const std::optional<QString>& entryID, const std::optional<QString>& sectionID) {
    QList<int> entryRows;
    QList<int> chapterIndices;
    if (entryID != m_currentEntryID) {
        if (m_currentEntryID) entryRows += m_entryRows.value(*m_currentEntryID);
        if (entryID) entryRows += m_entryRows.value(*entryID);
        m_currentEntryID = entryID;
    }
    if (sectionID != m_currentSectionID) {
        if (m_currentSectionID) chapterIndices += m_sectionIndices.value(*m_currentSectionID);
        if (sectionID) chapterIndices += m_sectionIndices.value(*sectionID);
        m_currentSectionID = sectionID;
    }
    reportCurrentRows(entryRows, chapterIndices);
}

void ReaderEPUBPaneModel::reportCurrentRows(const QList<int>& entryRows, const QList<int>& chapterIndices) {
    const QList<int> roles{CurrentRole, Qt::AccessibleTextRole};
    for (int row : entryRows) emit dataChanged(index(row), index(row), roles);
    if (!chaptersShown()) return;
    const int first = firstChapterRow();
    for (int position : chapterIndices) emit dataChanged(index(first + position), index(first + position), roles);
}

}  // namespace tavrine
