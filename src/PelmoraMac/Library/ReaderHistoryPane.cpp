#include "PelmoraMac/Library/ReaderHistoryPane.h"

#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderFileProgressRow.h"
#include "PelmoraMac/Library/ReaderHistoryDetails.h"
#include "PelmoraMac/Library/ReaderHistoryTable.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Library/ReaderMenuIconButton.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/PhraseLineBreaks.h"
#include "ReaderWidgets/Style/ReaderBusyIndicator.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/SelectableText.h"
#include "ReaderWidgets/Style/SheetFocus.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {
// The pane's margins, and how far into them the table reaches on both sides.
constexpr int kMargin = 16;
constexpr int kTableReach = 8;
// The state texts' place in the content: 4 pixels down, level with the header's edges.
const QMargins kStateMargins(kTableReach, 4, kTableReach, 0);

QString collectionName(ReaderHistoryModel::Collection collection) {
    return rawValue(collection);
}

// A wrapped label whose Japanese breaks between phrases.
QLabel* label(const QString& text, ReaderTextStyle style, const ReaderColor& colour, QWidget* parent) {
    auto* result = new QLabel(parent);
    setPhraseWrappedText(*result, text);
    result->setFont(readerFont(style));
    result->setWordWrap(true);
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, toQColor(colour));
    result->setPalette(palette);
    return result;
}

// The Escape key of the search field closes the search.
class SearchField final : public QLineEdit {
public:
    std::function<void()> onEscape;
    explicit SearchField(QWidget* parent) : QLineEdit(parent) { Q_ASSERT(isMainThread()); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && onEscape) {
            event->accept();
            onEscape();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};
}  // namespace

// ---- ReaderListControlButton ----

ReaderListControlButton::ReaderListControlButton(QWidget* parent) : QAbstractButton(parent) {
    Q_ASSERT(isMainThread());
    setFixedSize(kSize, kSize);
    setFocusPolicy(Qt::StrongFocus);
    ReaderFocusRing::setDrawsOwnRing(*this);
    setAttribute(Qt::WA_Hover);
}

void ReaderListControlButton::setSymbolPainter(std::function<void(QPainter&, const QRectF&, const QColor&)> painter) {
    m_symbol = std::move(painter);
    update();
}

void ReaderListControlButton::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ReaderListControlButton::leaveEvent(QEvent* event) {
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ReaderListControlButton::paintEvent(QPaintEvent*) {
    // The states look as the reading controls' do: one rule for fill, ring and dimming.
    const auto look = ReaderReadingControlButton::appearance(
        ReaderPalette::control,
        {.enabled = isEnabled(), .pressed = isDown(), .hovered = m_hovered, .focused = hasFocus()});
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(look.opacity);
    QPainterPath plate;
    plate.addRoundedRect(QRectF(rect()), 6, 6);
    if (look.fillOpacity > 0) painter.fillPath(plate, toQColor(ReaderPalette::control.withAlpha(look.fillOpacity)));
    if (look.showsFocusRing) {
        painter.setPen(QPen(toQColor(ReaderPalette::control), 2));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 5, 5);
    }
    if (m_symbol) m_symbol(painter, QRectF(6, 6, 16, 16), toQColor(ReaderPalette::control));
}

// ---- ReaderHistoryPane ----

ReaderHistoryPane::ReaderHistoryPane(ReaderHistoryModel& model, QWidget* parent) : QScrollArea(parent), m_model(model) {
    Q_ASSERT(isMainThread());
    setFrameShape(QFrame::NoFrame);
    // A container: its controls and its list take the focus, never the pane itself.
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(true);
    build();

    for (auto changed : {&ReaderHistoryModel::visibleItemsChanged, &ReaderHistoryModel::selectedIDChanged,
                         &ReaderHistoryModel::collectionChanged, &ReaderHistoryModel::queryChanged,
                         &ReaderHistoryModel::isLoadedChanged, &ReaderHistoryModel::isBusyChanged,
                         &ReaderHistoryModel::messageChanged, &ReaderHistoryModel::historyChanged,
                         &ReaderHistoryModel::historyLimitChanged, &ReaderHistoryModel::isImportingFileChanged,
                         &ReaderHistoryModel::isSavingFileChanged, &ReaderHistoryModel::fileImportMessageChanged,
                         &ReaderHistoryModel::fileImportDetailsChanged, &ReaderHistoryModel::fileImportFailedChanged})
        connect(&m_model, changed, this, &ReaderHistoryPane::refresh);
    connect(&m_model.search(), &ReadingLibrarySearch::isSearchingChanged, this, &ReaderHistoryPane::refresh);
    connect(&m_model.playback().player(), &ReadingPlayer::readingChanged, this, &ReaderHistoryPane::refresh);
    refresh();
}

ReaderHistoryPane::~ReaderHistoryPane() {
    // A confirmation or sheet owned by the window under the list's popup would outlive the list it serves.
    if (m_alert && m_alert->parent() != this) delete m_alert.data();
    if (m_details && m_details->parent() != this) delete m_details.data();
}

QWidget* ReaderHistoryPane::dialogOwner() {
    // In the narrow window the list is a popup, which closes as a confirmation or a sheet opens: they belong
    // to the reader window under it, centred there, not over the place the popup had.
    const QWidget* top = window();
    if (top->windowType() == Qt::Popup && top->parentWidget()) return top->parentWidget()->window();
    return this;
}

void ReaderHistoryPane::build() {
    m_view = new QWidget;
    m_view->setAutoFillBackground(true);
    QPalette palette = m_view->palette();
    palette.setColor(QPalette::Window, toQColor(ReaderPalette::sidebar));
    palette.setColor(QPalette::WindowText, toQColor(ReaderPalette::text));
    m_view->setPalette(palette);
    m_view->setMinimumHeight(kMinimumHeight);
    // The rows keep 16 pixels from the pane's edges; the table alone reaches 8 pixels into them, so the
    // column's own margins are 8 at the sides and the other rows add 8 of their own.
    auto* column = new QVBoxLayout(m_view);
    column->setContentsMargins(kMargin - kTableReach, kMargin, kMargin - kTableReach, kMargin);
    column->setSpacing(8);
    column->addLayout(buildHeader());
    column->addWidget(buildSearchRow());
    column->addWidget(buildContent(), 1);
    auto* statusRows = new QVBoxLayout;
    statusRows->setContentsMargins(kTableReach, 0, kTableReach, 0);
    statusRows->setSpacing(8);
    buildStatusRows(*statusRows);
    column->addLayout(statusRows);
    setWidget(m_view);
    connectTable();
}

// Collection picker, search button, history menu.
QLayout* ReaderHistoryPane::buildHeader() {
    auto* header = new QHBoxLayout;
    header->setContentsMargins(kTableReach, 0, kTableReach, 0);
    header->setSpacing(4);
    auto* picker = new QWidget(m_view);
    picker->setAccessibleName(u"文書の一覧"_s);
    auto* pickerRow = new QHBoxLayout(picker);
    pickerRow->setContentsMargins(0, 0, 0, 0);
    pickerRow->setSpacing(0);
    // The chosen segment stands out in the border colour, as the segmented picker's tint.
    picker->setStyleSheet(
        u"QPushButton { padding: 2px 10px; border: 1px solid %1; background: transparent; color: %2; }"
        u"QPushButton:checked { background: %1; color: %3; }"_s.arg(toQColor(ReaderPalette::border).name(),
                                                                    toQColor(ReaderPalette::secondaryText).name(),
                                                                    toQColor(ReaderPalette::text).name()));
    auto* group = new QButtonGroup(picker);
    group->setExclusive(true);
    for (Collection collection : {Collection::history, Collection::library}) {
        auto* button = new QPushButton(collectionName(collection), picker);
        // A click leaves the keyboard focus where it was, so Space still plays; Tab reaches the segments.
        button->setFocusPolicy(Qt::TabFocus);
        button->setCheckable(true);
        button->setFont(readerFont(ReaderTextStyle::callout));
        button->setFixedHeight(24);
        group->addButton(button);
        pickerRow->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, collection] { m_model.setCollection(collection); });
        (collection == Collection::history ? m_historyButton : m_libraryButton) = button;
    }
    header->addWidget(picker);
    header->addStretch(1);
    m_searchButton = new ReaderListControlButton(m_view);
    m_searchButton->setSymbolPainter([](QPainter& painter, const QRectF& box, const QColor& colour) {
        paintSymbol(painter, ReaderSymbol::magnifyingGlass, box, colour);
    });
    connect(m_searchButton, &QAbstractButton::clicked, this, &ReaderHistoryPane::toggleSearch);
    header->addWidget(m_searchButton);
    // No room in the header for a ring outside it: the ring lies inside, as the search button's does.
    m_historyMenuButton = new ReaderMenuIconButton(0, m_view);
    m_historyMenuButton->setPopupMode(QToolButton::InstantPopup);
    m_historyMenuButton->setAccessibleName(u"履歴の操作"_s);
    m_historyMenuButton->setToolTip(u"履歴全体の操作"_s);
    auto* historyMenu = new QMenu(m_historyMenuButton);
    m_clearHistory = historyMenu->addAction(u"履歴をすべて消去…"_s);
    connect(m_clearHistory, &QAction::triggered, this, &ReaderHistoryPane::requestHistoryClearing);
    m_historyMenuButton->setMenu(historyMenu);
    header->addWidget(m_historyMenuButton);
    header->addSpacing(4);
    return header;
}

// The search field and its close button.
QWidget* ReaderHistoryPane::buildSearchRow() {
    m_searchRow = new QWidget(m_view);
    auto* searchRow = new QHBoxLayout(m_searchRow);
    searchRow->setContentsMargins(kTableReach, 0, kTableReach, 0);
    searchRow->setSpacing(4);
    auto* field = new SearchField(m_searchRow);
    field->onEscape = [this] { closeSearch(); };
    m_searchField = field;
    m_searchField->setMinimumWidth(40);
    connect(m_searchField, &QLineEdit::textEdited, this, [this](const QString& text) { m_model.setQuery(text); });
    searchRow->addWidget(m_searchField, 1);
    m_closeSearchButton = new ReaderListControlButton(m_searchRow);
    m_closeSearchButton->setSymbolPainter([](QPainter& painter, const QRectF& box, const QColor& colour) {
        paintSymbol(painter, ReaderSymbol::xmark, box, colour);
    });
    m_closeSearchButton->setAccessibleName(u"一覧の検索を閉じる"_s);
    m_closeSearchButton->setToolTip(u"検索語を消去して一覧の検索を閉じる（Esc）"_s);
    connect(m_closeSearchButton, &QAbstractButton::clicked, this, &ReaderHistoryPane::closeSearch);
    searchRow->addWidget(m_closeSearchButton);
    return m_searchRow;
}

// The content, one page per state in the order they are decided, as wide as the table. Every state but
// the table sets its text at the same place, 4 pixels down and level with the header, so nothing moves
// when the content changes under typing.
QWidget* ReaderHistoryPane::buildContent() {
    m_stack = new QStackedWidget(m_view);
    auto* noStore = new QWidget(m_stack);
    auto* noStoreColumn = new QVBoxLayout(noStore);
    noStoreColumn->setContentsMargins(kStateMargins);
    // Which file was refused and why, behind the notice's disclosure, so the user knows what to restore.
    m_noStoreNotice = new ReaderImportNotice(noStore);
    m_noStoreNotice->setNotice(
        u"保存データを開けませんでした。既存のファイルは保持しています。文章の取り込みと再生は使えます。"_s,
        m_model.playback().refusalDetails(), false);
    noStoreColumn->addWidget(m_noStoreNotice);
    noStoreColumn->addWidget(label(u"保存先を確認した後、アプリを終了して開き直してください。"_s,
                                   ReaderTextStyle::caption, ReaderPalette::secondaryText, noStore));
    noStoreColumn->addStretch(1);
    m_pages[static_cast<int>(Content::noStore)] = noStore;
    m_pages[static_cast<int>(Content::loading)] = progressPage(u"保存文書を読み込み中"_s);
    m_pages[static_cast<int>(Content::searching)] = progressPage(u"本文を検索中"_s);
    m_table = new ReaderHistoryTable(m_stack);
    m_table->setMinimumHeight(80);
    m_pages[static_cast<int>(Content::table)] = m_table;
    auto* empty = new QWidget(m_stack);
    auto* emptyColumn = new QVBoxLayout(empty);
    emptyColumn->setContentsMargins(kStateMargins);
    emptyColumn->setSpacing(8);
    m_emptyTitle = label({}, ReaderTextStyle::callout, ReaderPalette::text, empty);
    m_emptyDescription = label({}, ReaderTextStyle::caption, ReaderPalette::secondaryText, empty);
    emptyColumn->addWidget(m_emptyTitle);
    emptyColumn->addWidget(m_emptyDescription);
    emptyColumn->addStretch(1);
    m_pages[static_cast<int>(Content::empty)] = empty;
    for (QWidget* page : m_pages) m_stack->addWidget(page);
    return m_stack;
}

// A busy indicator with its label beside it, where the other states set their text.
QWidget* ReaderHistoryPane::progressPage(const QString& text) {
    auto* page = new QWidget(m_stack);
    auto* pageColumn = new QVBoxLayout(page);
    pageColumn->setContentsMargins(kStateMargins);
    auto* line = new QHBoxLayout;
    line->setSpacing(ReaderFileProgressRow::kSpacing);
    auto* indicator = new ReaderBusyIndicator(page);
    indicator->setAccessibleName(text);
    line->addWidget(indicator);
    // One line, whole: the label is short and must not move.
    QLabel* title = label({}, ReaderTextStyle::callout, ReaderPalette::secondaryText, page);
    title->setWordWrap(false);
    title->setText(text);
    line->addWidget(title, 1);
    pageColumn->addLayout(line);
    pageColumn->addStretch(1);
    return page;
}

// Below the content: the failure message, the import notice, the file progress and the busy indicator.
void ReaderHistoryPane::buildStatusRows(QVBoxLayout& column) {
    m_message = label({}, ReaderTextStyle::callout, ReaderColor{255, 69, 58}, m_view);
    setSelectableText(*m_message);
    column.addWidget(m_message);
    m_importNotice = new ReaderImportNotice(m_view);
    column.addWidget(m_importNotice);
    m_fileProgress = new ReaderFileProgressRow(m_view);
    m_fileProgress->onCancel = [this] { m_model.cancelFileImport(); };
    column.addWidget(m_fileProgress);
    m_busy = new ReaderBusyIndicator(m_view);
    m_busy->setAccessibleName(u"処理中"_s);
    column.addWidget(m_busy);
}

void ReaderHistoryPane::connectTable() {
    m_table->onSelect = [this](std::optional<QUuid> id) { m_model.select(id); };
    m_table->onPlay = [this](QUuid id) { play(id); };
    m_table->onAdd = [this](QUuid id) {
        auto task = m_model.addToLibrary(id);
        Q_UNUSED(task);
    };
    m_table->onDelete = [this](QUuid id) { requestDeletion(id, m_table->value().collection); };
    m_table->onDetails = [this](QUuid id) { showDetails(id); };
    m_table->onCurrentRowClicked = [this] {
        if (onFocusReadingArea) onFocusReadingArea();
    };
}

bool ReaderHistoryPane::isSearchVisible() const {
    return m_showsSearch || !m_model.query().isEmpty();
}

void ReaderHistoryPane::toggleSearch() {
    if (isSearchVisible()) {
        closeSearch();
        return;
    }
    m_showsSearch = true;
    refresh();
    m_searchField->setFocus(Qt::OtherFocusReason);
}

void ReaderHistoryPane::closeSearch() {
    m_model.setQuery(QString());
    m_showsSearch = false;
    refresh();
    // After the field has left, so the focus does not pass through whatever follows it.
    QTimer::singleShot(0, m_searchButton, [button = QPointer(m_searchButton)] {
        if (button && button->isVisible()) button->setFocus(Qt::OtherFocusReason);
    });
}

void ReaderHistoryPane::play(const QUuid& id) {
    auto task = m_model.play(id, false, QGuiApplication::applicationState() == Qt::ApplicationActive);
    Q_UNUSED(task);
}

void ReaderHistoryPane::requestDeletion(const QUuid& id, Collection collection) {
    const QList<StoredReading>& items = collection == Collection::library ? m_model.library() : m_model.history();
    const auto found =
        std::find_if(items.begin(), items.end(), [&](const StoredReading& item) { return item.id() == id; });
    if (found == items.end()) return;
    m_deletion = collection == Collection::library ? ReaderDeletionConfirmation::documentDeletion(*found)
                                                   : ReaderDeletionConfirmation::historyRemoval({*found});
    showAlert();
}

void ReaderHistoryPane::requestHistoryClearing() {
    if (m_model.history().isEmpty() || m_model.isBusy()) return;
    m_deletion = ReaderDeletionConfirmation::historyRemoval(m_model.history());
    showAlert();
}

void ReaderHistoryPane::showAlert() {
    // A new request replaces the one pending.
    if (m_alert) {
        m_alert->disconnect(this);
        m_alert->close();
        m_alert->deleteLater();
    }
    const ReaderDeletionConfirmation confirmation = *m_deletion;
    auto* alert = new QMessageBox(QMessageBox::Warning, confirmation.title, confirmation.title, QMessageBox::NoButton,
                                  dialogOwner());
    alert->setAttribute(Qt::WA_DeleteOnClose);
    ReaderTheme::apply(*alert);
    alert->setTextFormat(Qt::PlainText);
    alert->setInformativeText(confirmation.message);
    QPushButton* action = alert->addButton(confirmation.actionTitle, QMessageBox::DestructiveRole);
    QPushButton* cancel = alert->addButton(u"キャンセル"_s, QMessageBox::RejectRole);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    setPhraseWrappedTexts(*alert);
    ringSheetFocus(*alert);
    connect(alert, &QMessageBox::finished, this, [this, alert, action, confirmation] {
        const bool confirmed = alert->clickedButton() == action;
        m_deletion.reset();
        if (confirmed) performDeletion(confirmation);
    });
    m_alert = alert;
    alert->open();
}

void ReaderHistoryPane::performDeletion(const ReaderDeletionConfirmation& confirmation) {
    auto task = deleteThenPlaceFocus(this, confirmation);
    Q_UNUSED(task);
}

QCoro::Task<void> ReaderHistoryPane::deleteThenPlaceFocus(QPointer<ReaderHistoryPane> self,
                                                          ReaderDeletionConfirmation confirmation) {
    ReaderHistoryModel& model = self->m_model;
    if (confirmation.isLibrary && !confirmation.ids.isEmpty()) {
        auto deleting = model.deleteDocument(*confirmation.ids.begin());
        co_await deleting;
    } else {
        auto removing = model.removeFromHistory(confirmation.ids);
        co_await removing;
    }
    if (!self) co_return;
    self->placeFocusAfterDeletion();
}

void ReaderHistoryPane::placeFocusAfterDeletion() {
    // Only the keys move here. The selection is the model's: a removed row's went with it, and no other row
    // is chosen, nor opened, in its place; the player stops a deleted reading that was open on its own.
    // A list that is gone from the screen (the compact list's popup closes as the confirmation opens) can
    // take no keys: they go to the reading area, as when no row is left.
    if (m_model.visibleItems().isEmpty() || !isVisible()) {
        if (onFocusReadingArea) onFocusReadingArea();
        return;
    }
    if (m_content == Content::table) m_table->takeKeyboardFocus();
}

void ReaderHistoryPane::showDetails(const QUuid& id) {
    const QList<StoredReading>& items = m_model.visibleItems();
    const auto found =
        std::find_if(items.begin(), items.end(), [&](const StoredReading& item) { return item.id() == id; });
    if (found == items.end()) return;
    // The sheet is window modal, so no other row asks while one is open; one left over is replaced.
    if (m_details) m_details->close();
    auto* sheet = new ReaderHistoryDetails(*found, dialogOwner());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_details = sheet;
    sheet->open();
}

QAbstractButton* ReaderHistoryPane::collectionButton(Collection collection) const {
    return collection == Collection::library ? m_libraryButton : m_historyButton;
}

void ReaderHistoryPane::refresh() {
    const bool hasStore = m_model.playback().store() != nullptr;
    const Collection collection = m_model.collection();
    const QString name = collectionName(collection);
    const bool searchVisible = isSearchVisible();

    m_historyButton->setChecked(collection == Collection::history);
    m_libraryButton->setChecked(collection == Collection::library);

    m_searchButton->setVisible(hasStore && m_model.isLoaded());
    const QString searchTitle = searchVisible ? u"一覧の検索を閉じる"_s : u"文書一覧を検索"_s;
    m_searchButton->setAccessibleName(searchTitle);
    m_searchButton->setToolTip(searchVisible ? u"検索語を消去して一覧の検索を閉じる"_s
                                             : name + u"の題名・著者・本文を検索"_s);
    m_historyMenuButton->setVisible(collection == Collection::history);
    m_historyMenuButton->setEnabled(hasStore);
    m_clearHistory->setEnabled(!m_model.history().isEmpty() && !m_model.isBusy());

    m_searchRow->setVisible(hasStore && m_model.isLoaded() && searchVisible);
    m_searchField->setAccessibleName(name + u"の題名・著者・本文を検索"_s);
    if (m_searchField->text() != m_model.query()) m_searchField->setText(m_model.query());

    if (!hasStore)
        m_content = Content::noStore;
    else if (!m_model.isLoaded())
        m_content = Content::loading;
    else if (m_model.search().isSearching())
        m_content = Content::searching;
    else if (!m_model.visibleItems().isEmpty())
        m_content = Content::table;
    else
        m_content = Content::empty;
    m_stack->setCurrentWidget(m_pages[static_cast<int>(m_content)]);

    if (!m_model.query().trimmed().isEmpty()) {
        setPhraseWrappedText(*m_emptyTitle, u"一致する文書がありません"_s);
        setPhraseWrappedText(*m_emptyDescription, u"検索する言葉を変えるか、検索欄を空にしてください。"_s);
    } else if (collection == Collection::history) {
        setPhraseWrappedText(*m_emptyTitle, name + u"はまだありません"_s);
        setPhraseWrappedText(*m_emptyDescription,
                             u"再生を始めた文章と位置をこのコンピューターに自動保存します。直近"_s +
                                 QString::number(m_model.historyLimit()) + u"文書をここから開けます。"_s);
    } else {
        setPhraseWrappedText(*m_emptyTitle, name + u"はまだありません"_s);
        setPhraseWrappedText(*m_emptyDescription,
                             u"明示的に追加した文書を、削除するまでこのコンピューターに保存します。"
                             u"上部の取り込みメニューや、現在の文書・履歴の項目から追加できます。"_s);
    }

    m_message->setVisible(m_model.message().has_value());
    m_message->setText(m_model.message().value_or(QString()));
    m_importNotice->setNotice(m_model.fileImportMessage(), m_model.fileImportDetails(), m_model.fileImportFailed());
    m_busy->setVisible(m_model.isBusy());
    m_fileProgress->setVisible(m_model.isImportingFile());
    m_fileProgress->setSaving(m_model.isSavingFile());

    refreshTable();
}

void ReaderHistoryPane::refreshTable() {
    m_table->update({.items = m_model.visibleItems(),
                     .selectedID = m_model.selectedID(),
                     .currentID = m_model.playback().player().readingID(),
                     .collection = m_model.collection()});
}

}  // namespace tavrine
