#pragma once

// moc (Qt 6.4) cannot parse the C++20 library headers that these pull in, and needs none of them.
#ifndef Q_MOC_RUN
#include "PelmoraMac/Library/ReaderDeletionConfirmation.h"
#include "PelmoraMac/Library/ReaderHistoryDetails.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#endif

#include <QAbstractButton>
#include <QPointer>
#include <QScrollArea>

#include <functional>
#include <optional>

class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
#include <QMessageBox>
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace tavrine {

class ReaderBusyIndicator;
class ReaderFileProgressRow;
class ReaderHistoryTable;
class ReaderImportNotice;

// A 28-pixel icon button of the list's header and search row: the symbol in the control colour on a
// rounded plate that lights faintly under the pointer and more while pressed, ringed while it has the
// keyboard focus, dimmed to 0.45 when disabled; the whole square takes clicks.
class ReaderListControlButton final : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int kSize = 28;

    explicit ReaderListControlButton(QWidget* parent = nullptr);
    void setSymbolPainter(std::function<void(QPainter&, const QRectF&, const QColor&)> painter);
    QSize sizeHint() const override { return {kSize, kSize}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::function<void(QPainter&, const QRectF&, const QColor&)> m_symbol;
    bool m_hovered = false;
};

// The document list pane: the history or the library of the model with the collection picker, the search
// button and field, the history menu, the table or the state in its place, the failure message, the file
// import's notice and progress, and the busy indicator; it asks before anything is removed or deleted and
// opens a row's details sheet. The whole list scrolls once the pane is
// lower than kMinimumHeight. Main thread; owned by its parent widget.
class ReaderHistoryPane final : public QScrollArea {
    Q_OBJECT

public:
    using Collection = ReaderHistoryModel::Collection;

    static constexpr int kMinimumHeight = 520;

    // The content shown, in the order it is decided.
    enum class Content { noStore, loading, searching, table, empty };

    // Called when the focus belongs to the reading area: a removal emptied the list, or the list left the
    // screen while it was confirmed; a click on the row already open.
    std::function<void()> onFocusReadingArea;

    explicit ReaderHistoryPane(ReaderHistoryModel& model, QWidget* parent = nullptr);
    ~ReaderHistoryPane() override;

    ReaderHistoryModel& model() const { return m_model; }

    // The search field is shown: opened by the user, or the query is not empty (blanks count).
    bool isSearchVisible() const;
    void toggleSearch();
    // Empties the query, closes the field and gives the focus back to the search button on the next turn.
    void closeSearch();

    // Asks to remove (history) or delete (library) the reading of a row; a stale id does nothing.
    void requestDeletion(const QUuid& id, Collection collection);
    // Asks to clear the whole history.
    void requestHistoryClearing();
    const std::optional<ReaderDeletionConfirmation>& deletion() const { return m_deletion; }
    // Runs the confirmed operation of confirmation. Once it is done the keyboard focus is on the list, its
    // ring drawn, or, with no row left or the pane no longer shown, on the reading area
    // (onFocusReadingArea). No row is chosen or opened for the user: a removed row's selection goes with
    // it, and a deleted reading that was open stops in the player with its notice.
    void performDeletion(const ReaderDeletionConfirmation& confirmation);
    // Opens the details sheet of the shown row of id; a stale id does nothing.
    void showDetails(const QUuid& id);
    // The open details sheet, if any.
    ReaderHistoryDetails* details() const { return m_details; }

    Content content() const { return m_content; }
    // The page that shows a content state.
    QWidget* contentPage(Content content) const { return m_pages[static_cast<int>(content)]; }
    ReaderHistoryTable* table() const { return m_table; }
    QAbstractButton* collectionButton(Collection collection) const;
    ReaderListControlButton* searchButton() const { return m_searchButton; }
    QLineEdit* searchField() const { return m_searchField; }
    ReaderListControlButton* closeSearchButton() const { return m_closeSearchButton; }
    QToolButton* historyMenuButton() const { return m_historyMenuButton; }
    QLabel* emptyTitle() const { return m_emptyTitle; }
    QLabel* emptyDescription() const { return m_emptyDescription; }
    QLabel* messageLabel() const { return m_message; }
    ReaderImportNotice* importNotice() const { return m_importNotice; }
    // The storage text of a store that did not open, with the refusal's details.
    ReaderImportNotice* noStoreNotice() const { return m_noStoreNotice; }
    ReaderFileProgressRow* fileProgress() const { return m_fileProgress; }
    ReaderBusyIndicator* busyIndicator() const { return m_busy; }
    QMessageBox* alert() const { return m_alert; }

private:
    void build();
    QLayout* buildHeader();
    QWidget* buildSearchRow();
    QWidget* buildContent();
    QWidget* progressPage(const QString& text);
    void buildStatusRows(QVBoxLayout& column);
    void connectTable();
    void refresh();
    void refreshTable();
    QWidget* dialogOwner();
    void showAlert();
    void play(const QUuid& id);
    static QCoro::Task<void> deleteThenPlaceFocus(QPointer<ReaderHistoryPane> self,
                                                  ReaderDeletionConfirmation confirmation);
    void placeFocusAfterDeletion();

    ReaderHistoryModel& m_model;
    QWidget* m_view = nullptr;
    QAbstractButton* m_historyButton = nullptr;
    QAbstractButton* m_libraryButton = nullptr;
    ReaderListControlButton* m_searchButton = nullptr;
    QToolButton* m_historyMenuButton = nullptr;
    QAction* m_clearHistory = nullptr;
    QWidget* m_searchRow = nullptr;
    QLineEdit* m_searchField = nullptr;
    ReaderListControlButton* m_closeSearchButton = nullptr;
    QStackedWidget* m_stack = nullptr;
    QWidget* m_pages[5] = {};
    ReaderHistoryTable* m_table = nullptr;
    QLabel* m_emptyTitle = nullptr;
    QLabel* m_emptyDescription = nullptr;
    QLabel* m_message = nullptr;
    ReaderImportNotice* m_importNotice = nullptr;
    ReaderImportNotice* m_noStoreNotice = nullptr;
    ReaderFileProgressRow* m_fileProgress = nullptr;
    ReaderBusyIndicator* m_busy = nullptr;
    Content m_content = Content::loading;
    bool m_showsSearch = false;
    std::optional<ReaderDeletionConfirmation> m_deletion;
    QPointer<QMessageBox> m_alert;
    QPointer<ReaderHistoryDetails> m_details;
};

}  // namespace tavrine
