#include "PelmoraMac/Library/ReaderHistoryTable.h"

#include "PelmoraMac/Library/ReaderMenuIconButton.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderHeldModifiers.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolButton>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {
constexpr int kLeadingInset = 16;
constexpr int kTopInset = 8;
constexpr int kButtonSize = ReaderMenuIconButton::kSize;
constexpr int kButtonTrailing = 8;
constexpr int kButtonTop = 2;
constexpr int kMarkSize = 12;
const QString kLibraryMark = u"ライブラリ保存済み"_s;

// The "…" button's square in a row: 8 pixels in from the trailing edge, 2 down from the top.
QRect menuButtonSquare(const QRect& row) {
    return {row.right() + 1 - kButtonTrailing - kButtonSize, row.top() + kButtonTop, kButtonSize, kButtonSize};
}

QFont titleFont() {
    QFont font = readerFont(ReaderTextStyle::body);
    font.setWeight(QFont::DemiBold);
    return font;
}
}  // namespace

// The rows as Qt's views see them: a mirror of the value's items.
class ReaderHistoryTable::Rows final : public QAbstractListModel {
public:
    explicit Rows(ReaderHistoryTable& table) : QAbstractListModel(&table), m_table(table) { Q_ASSERT(isMainThread()); }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_table.m_value.items.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const StoredReading& item = m_table.m_value.items.at(index.row());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: return titleOf(item);
        case Qt::AccessibleTextRole: return accessibleLabel(item, m_table.m_value.currentID);
        default: return {};
        }
    }

    void reload() {
        beginResetModel();
        endResetModel();
    }

private:
    ReaderHistoryTable& m_table;
};

class ReaderHistoryTable::Delegate final : public QStyledItemDelegate {
public:
    explicit Delegate(ReaderHistoryTable& table) : QStyledItemDelegate(&table), m_table(table) {
        Q_ASSERT(isMainThread());
    }

    // As wide as the viewport (the table lays the rows out again when its width changes).
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {m_table.listView()->viewport()->width(), kRowHeight + kRowSpacing};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (index.row() >= m_table.m_value.items.size()) return;
        const StoredReading& item = m_table.m_value.items.at(index.row());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        // Each grid row is the row and the gap below it.
        const QRect cell = option.rect.adjusted(0, 0, 0, -kRowSpacing);
        const QRectF row = QRectF(cell).adjusted(1, 1, -1, -1);
        if (option.state & QStyle::State_Selected) {
            QPainterPath fill;
            fill.addRoundedRect(row, 6, 6);
            painter->fillPath(fill, toQColor(ReaderPalette::selectedControl));
            QPainterPath bar;
            bar.addRoundedRect(QRectF(row.left() + 2, row.top() + 8, 2, std::max(0.0, row.height() - 16)), 1, 1);
            painter->fillPath(bar, toQColor(ReaderPalette::secondaryText));
        }

        const int textLeft = cell.left() + kLeadingInset;
        const int textRight = menuButtonSquare(cell).left() - 5;
        const int width = std::max(0, textRight - textLeft);
        int y = cell.top() + kTopInset;

        const QFont title = titleFont();
        const QFontMetrics titleMetrics(title);
        painter->setFont(title);
        painter->setPen(toQColor(ReaderPalette::text));
        painter->drawText(QRect(textLeft, y, width, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          titleMetrics.elidedText(titleOf(item), Qt::ElideRight, width));
        y += titleMetrics.height() + 4;

        const QFont small = readerFont(ReaderTextStyle::caption);
        const QFontMetrics smallMetrics(small);
        painter->setFont(small);
        painter->setPen(toQColor(ReaderPalette::secondaryText));
        painter->drawText(QRect(textLeft, y, width, smallMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          smallMetrics.elidedText(ReaderHistoryModel::rowPreview(item.reading), Qt::ElideRight, width));
        y += smallMetrics.height() + 4;

        const QString progress =
            smallMetrics.elidedText(ReaderHistoryModel::rowProgress(item, true), Qt::ElideRight, width);
        painter->drawText(QRect(textLeft, y, width, smallMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter, progress);
        if (m_table.m_value.collection == Collection::history && item.isInLibrary) {
            const int markLeft = textLeft + smallMetrics.horizontalAdvance(progress) + 6;
            if (markLeft + kMarkSize <= textRight)
                paintSymbol(*painter, ReaderSymbol::booksVertical,
                            QRectF(markLeft, y + (smallMetrics.height() - kMarkSize) / 2.0, kMarkSize, kMarkSize),
                            toQColor(ReaderPalette::secondaryText));
        }

        // The real button stands on one row; the others paint its glyph in its place.
        if (index.row() != m_table.m_menuButtonRow)
            ReaderMenuIconButton::paintGlyph(*painter, menuButtonSquare(cell), toQColor(ReaderPalette::control));
        painter->restore();
    }

private:
    ReaderHistoryTable& m_table;
};

// The list view with the table's keys and its focus border.
class ReaderHistoryTable::Table final : public QListView {
public:
    explicit Table(ReaderHistoryTable& owner) : QListView(&owner), m_owner(owner) { Q_ASSERT(isMainThread()); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        // A key the "…" button inside passed up (Escape, a menu's keys) is no key typed in the list: the
        // list has no ring while the button holds the keys, nor later when the keys come back to it.
        const QWidget* keys = QApplication::focusWidget();
        if (!keys || keys == this || !isAncestorOf(keys)) m_owner.setContentIsFocused(true);
        const Qt::KeyboardModifiers held = event->modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier);
        if (!holdsModifier(event->modifiers())) {
            if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
                if (!event->isAutoRepeat()) {
                    if (const auto id = m_owner.idAt(currentSelectedRow()); id && m_owner.onPlay) m_owner.onPlay(*id);
                }
                event->accept();
                return;
            }
            if (event->key() == Qt::Key_Space) {
                event->accept();
                return;
            }
            // Without a selected row the first arrow selects the first (or last) row, rather than moving
            // on from the current index that the focus left on the first row unselected.
            if ((event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) && currentSelectedRow() < 0 &&
                model()->rowCount() > 0) {
                const int row = event->key() == Qt::Key_Down ? 0 : model()->rowCount() - 1;
                selectionModel()->setCurrentIndex(model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
                m_owner.placeMenuButton(row);
                event->accept();
                return;
            }
        } else if (held == Qt::ShiftModifier && event->key() == Qt::Key_F10) {
            if (!event->isAutoRepeat()) m_owner.openSelectedRowMenu();
            event->accept();
            return;
        }
        QListView::keyPressEvent(event);
        m_owner.placeMenuButton(currentSelectedRow());
    }

    // The window going and coming back, or a menu opened over the list, takes the focus away for a while:
    // the ring is hidden with the window and comes back with the focus as it was.
    static bool isPassing(const QFocusEvent& event) {
        return event.reason() == Qt::ActiveWindowFocusReason || event.reason() == Qt::PopupFocusReason;
    }

    void focusInEvent(QFocusEvent* event) override {
        QListView::focusInEvent(event);
        if (isPassing(*event)) return;
        m_owner.setContentIsFocused(event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason);
    }

    void focusOutEvent(QFocusEvent* event) override {
        QListView::focusOutEvent(event);
        if (!isPassing(*event)) m_owner.setContentIsFocused(false);
    }

    // A press on a row takes the focus here itself (the list does not take it by click): a press on the
    // "…" button inside, which Qt would otherwise hand to the list as the button's nearest ancestor that
    // takes the focus by click, leaves the focus where it was, so Space still plays after its menu; so does
    // a press below the last row, which selects nothing (the list, holding no ring, would have the keys
    // unseen, and Space would do nothing). A press on the row already open, which opens nothing, says so:
    // the reading takes the keys, as from a row that opens.
    void mousePressEvent(QMouseEvent* event) override {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) {
            m_owner.setContentIsFocused(false);
            setFocus(Qt::MouseFocusReason);
        }
        QListView::mousePressEvent(event);
        const auto id = m_owner.idAt(index.isValid() ? index.row() : -1);
        if (event->button() == Qt::LeftButton && id && id == m_owner.m_value.currentID && m_owner.onCurrentRowClicked)
            m_owner.onCurrentRowClicked();
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        QListView::mouseMoveEvent(event);
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) m_owner.placeMenuButton(index.row());
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        const QModelIndex index = indexAt(event->position().toPoint());
        QListView::mouseDoubleClickEvent(event);
        if (const auto id = m_owner.idAt(index.isValid() ? index.row() : -1); id && m_owner.onPlay) m_owner.onPlay(*id);
    }

    // The viewport's size: its width changes with the pane and when the scroll bar comes or goes (which
    // may happen in the middle of a layout). The rows are laid out again to its width once the current
    // layout is done, so the "…" button, placed by a row's rectangle, stands where the row paints its
    // glyph.
    void resizeEvent(QResizeEvent* event) override {
        QListView::resizeEvent(event);
        if (event->size().width() != event->oldSize().width()) scheduleDelayedItemsLayout();
    }

    void doItemsLayout() override {
        QListView::doItemsLayout();
        // The first layouts come while the table is being built, before its button.
        if (m_owner.m_menuButton) m_owner.placeMenuButton(m_owner.m_menuButtonRow);
    }

    void scrollContentsBy(int dx, int dy) override {
        QListView::scrollContentsBy(dx, dy);
        m_owner.placeMenuButton(m_owner.m_menuButtonRow);
    }

public:
    int currentSelectedRow() const {
        const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList{};
        return rows.isEmpty() ? -1 : rows.first().row();
    }

private:
    ReaderHistoryTable& m_owner;
};

ReaderHistoryTable::ReaderHistoryTable(QWidget* parent)
    : ReaderFocusScrollView(parent), m_rows(new Rows(*this)), m_table(new Table(*this)) {
    Q_ASSERT(isMainThread());
    m_table->setModel(m_rows);
    m_table->setItemDelegate(new Delegate(*this));
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setUniformItemSizes(true);
    m_table->setSpacing(0);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setFrameShape(QFrame::NoFrame);
    m_table->setMouseTracking(true);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_table->setFocusPolicy(Qt::TabFocus);
    QPalette palette = m_table->palette();
    palette.setColor(QPalette::Base, toQColor(ReaderPalette::sidebar));
    palette.setColor(QPalette::Window, toQColor(ReaderPalette::sidebar));
    m_table->setPalette(palette);
    m_table->viewport()->setAutoFillBackground(true);
    m_table->setAccessibleName(u"履歴の一覧"_s);
    m_table->setAccessibleDescription(
        u"上下矢印キーで文書を選び、Returnキーで再生します。ShiftとF10で選択文書の操作メニューを開きます。"_s);
    setWidget(m_table);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_menuButton = new ReaderMenuIconButton(kMenuButtonRingMargin, m_table->viewport());
    m_menuButton->setToolTip(u"文書の操作"_s);
    m_menuButton->hide();
    connect(m_menuButton, &QToolButton::clicked, this, [this] { openRowMenu(m_menuButtonRow); });

    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { writeSelection(); });
    // A click writes the selection again, also on the row already selected.
    connect(m_table, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (const auto id = idAt(index.row()); id && onSelect) onSelect(id);
    });
}

ReaderHistoryTable::~ReaderHistoryTable() = default;

QListView* ReaderHistoryTable::listView() const {
    return m_table;
}

QString ReaderHistoryTable::titleOf(const StoredReading& item) {
    return ReaderDocumentIdentity::shownTitle(item.reading, kTitleCharacters);
}

QString ReaderHistoryTable::accessibleLabel(const StoredReading& item, const std::optional<QUuid>& currentID) {
    QStringList parts{titleOf(item)};
    if (const QString preview = ReaderHistoryModel::rowPreview(item.reading); !preview.isEmpty()) parts.append(preview);
    if (const QString progress = ReaderHistoryModel::rowProgress(item, false); !progress.isEmpty())
        parts.append(progress);
    if (currentID && *currentID == item.id()) parts.append(u"現在の文書"_s);
    if (item.isInLibrary) parts.append(kLibraryMark);
    return parts.join(u"。"_s);
}

std::optional<QUuid> ReaderHistoryTable::idAt(int row) const {
    if (row < 0 || row >= m_value.items.size()) return std::nullopt;
    return m_value.items.at(row).id();
}

void ReaderHistoryTable::update(Value value) {
    const bool reload =
        value.items != m_value.items || value.currentID != m_value.currentID || value.collection != m_value.collection;
    m_value = std::move(value);
    const int previousSelection = m_table->currentSelectedRow();
    m_updating = true;
    m_table->setAccessibleName(m_value.collection == Collection::library ? u"ライブラリの一覧"_s : u"履歴の一覧"_s);
    if (reload) m_rows->reload();
    const auto found = std::find_if(m_value.items.begin(), m_value.items.end(), [&](const StoredReading& item) {
        return m_value.selectedID && item.id() == *m_value.selectedID;
    });
    if (found == m_value.items.end()) {
        m_table->selectionModel()->clearSelection();
    } else {
        const int row = static_cast<int>(found - m_value.items.begin());
        // The current index goes along, so the arrow keys move on from the row shown.
        if (m_table->currentSelectedRow() != row)
            m_table->selectionModel()->setCurrentIndex(m_rows->index(row), QItemSelectionModel::ClearAndSelect);
    }
    m_updating = false;
    // The button goes to a newly selected row, stays on its row otherwise, and leaves a row that is gone.
    const int selected = m_table->currentSelectedRow();
    placeMenuButton(selected >= 0 && selected != previousSelection ? selected : m_menuButtonRow);
}

void ReaderHistoryTable::writeSelection() {
    if (m_updating || !onSelect) return;
    onSelect(idAt(m_table->currentSelectedRow()));
}

void ReaderHistoryTable::placeMenuButton(int row) {
    const QModelIndex index = row >= 0 && row < m_value.items.size() ? m_rows->index(row) : QModelIndex{};
    const int previous = m_menuButtonRow;
    if (!index.isValid()) {
        m_menuButtonRow = -1;
        m_menuButton->hide();
    } else {
        m_menuButtonRow = row;
        const QRect rect = m_table->visualRect(index);
        m_menuButton->move(menuButtonSquare(rect).topLeft() - QPoint(kMenuButtonRingMargin, kMenuButtonRingMargin));
        m_menuButton->setAccessibleName(titleOf(m_value.items.at(row)) + u"の操作"_s);
        m_menuButton->show();
    }
    if (previous != m_menuButtonRow) m_table->viewport()->update();
}

QMenu* ReaderHistoryTable::makeRowMenu(int row, QWidget* parent) {
    const auto id = idAt(row);
    if (!id) return nullptr;
    const bool isInLibrary = m_value.items.at(row).isInLibrary;
    const Collection collection = m_value.collection;
    // The actions keep the callbacks and values of the value that built the menu.
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto details = onDetails;
    auto add = onAdd;
    auto remove = onDelete;
    const QUuid readingID = *id;
    connect(menu->addAction(u"文書の詳細…"_s), &QAction::triggered, menu, [details, readingID] {
        if (details) details(readingID);
    });
    menu->addSeparator();
    if (collection == Collection::history) {
        if (isInLibrary) {
            menu->addAction(u"ライブラリに追加済み"_s)->setEnabled(false);
        } else {
            connect(menu->addAction(u"ライブラリに追加"_s), &QAction::triggered, menu, [add, readingID] {
                if (add) add(readingID);
            });
        }
        menu->addSeparator();
    }
    const QString last = collection == Collection::history && isInLibrary ? u"履歴から除く…"_s : u"文書を削除…"_s;
    connect(menu->addAction(last), &QAction::triggered, menu, [remove, readingID] {
        if (remove) remove(readingID);
    });
    return menu;
}

void ReaderHistoryTable::openRowMenu(int row) {
    QMenu* menu = makeRowMenu(row, this);
    if (!menu) return;
    placeMenuButton(row);
    m_openMenu = menu;
    menu->popup(m_menuButton->mapToGlobal(QPoint(m_menuButton->width(), m_menuButton->height())));
}

void ReaderHistoryTable::takeKeyboardFocus() {
    if (const int row = m_table->currentSelectedRow(); row >= 0) m_table->scrollTo(m_rows->index(row));
    m_table->setFocus(Qt::TabFocusReason);
    // Also when the list had the focus already, from a click.
    setContentIsFocused(true);
}

void ReaderHistoryTable::openSelectedRowMenu() {
    openRowMenu(m_table->currentSelectedRow());
}

}  // namespace tavrine
