#pragma once

// moc (Qt 6.4) cannot parse the C++20 library headers that these pull in, and needs none of them.
#ifndef Q_MOC_RUN
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "ReaderStorage/StoredReading.h"
#include "ReaderWidgets/Style/ReaderFocusScrollView.h"
#endif

#include <QList>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <optional>

class QListView;
#include <QMenu>
class QToolButton;

namespace tavrine {

// The table of the document list: one row per stored reading given (never sorted or filtered here) with
// its title, preview, progress and library mark, painted by a delegate, and one "…" button that follows
// the row under the pointer or the keyboard's row and opens the row's menu. It mirrors the list's
// selected id without ever writing it back during an update, and reports what the user asks for through
// the callbacks, each with a reading id. Main thread; owned by its parent widget.
class ReaderHistoryTable final : public ReaderFocusScrollView {
    Q_OBJECT

public:
    using Collection = ReaderHistoryModel::Collection;

    static constexpr int kRowHeight = 78;
    static constexpr int kRowSpacing = 4;
    // The margin around the "…" button's square that holds its focus ring outside it.
    static constexpr int kMenuButtonRingMargin = 2;
    static constexpr qsizetype kTitleCharacters = 100;

    struct Value {
        QList<StoredReading> items;
        std::optional<QUuid> selectedID;
        std::optional<QUuid> currentID;
        Collection collection = Collection::history;
    };

    // onSelect writes the user's selection (nothing: none) back to the owner of selectedID.
    std::function<void(std::optional<QUuid>)> onSelect;
    std::function<void(QUuid)> onPlay;
    std::function<void(QUuid)> onDelete;
    std::function<void(QUuid)> onAdd;
    std::function<void(QUuid)> onDetails;
    // A click on the row of the reading open in the player, which opens nothing.
    std::function<void()> onCurrentRowClicked;

    explicit ReaderHistoryTable(QWidget* parent = nullptr);
    ~ReaderHistoryTable() override;

    // Brings the table up to date: rows reload only when the items (every field), the current reading or
    // the collection changed; then the selection shows value.selectedID, or none when it is not a row.
    void update(Value value);
    const Value& value() const { return m_value; }

    // The row's accessible name: title, preview, progress, "現在の文書", "ライブラリ保存済み", joined by "。".
    static QString accessibleLabel(const StoredReading& item, const std::optional<QUuid>& currentID);
    // The title shown: the display title cut to kTitleCharacters, on one line.
    static QString titleOf(const StoredReading& item);

    // The menu of a row, built for the current value; nothing for a row outside the items.
    QMenu* makeRowMenu(int row, QWidget* parent);
    // Gives the list the keyboard focus as Tab does, its ring drawn, the selected row in view.
    void takeKeyboardFocus();
    // Opens the row menu of the selected row (Shift+F10); nothing without one.
    void openSelectedRowMenu();
    // The menu last opened and still shown.
    QMenu* openMenu() const { return m_openMenu; }

    QListView* listView() const;
    // The "…" button: a ReaderMenuIconButton square inside a margin of kMenuButtonRingMargin.
    QToolButton* menuButton() const { return m_menuButton; }
    // The row the "…" button stands on; -1 when hidden.
    int menuButtonRow() const { return m_menuButtonRow; }

private:
    class Rows;
    class Delegate;
    class Table;

    void openRowMenu(int row);
    void placeMenuButton(int row);
    void writeSelection();
    std::optional<QUuid> idAt(int row) const;

    Value m_value;
    Rows* m_rows;
    Table* m_table;
    QToolButton* m_menuButton = nullptr;
    int m_menuButtonRow = -1;
    bool m_updating = false;
    QPointer<QMenu> m_openMenu;
};

}  // namespace tavrine
