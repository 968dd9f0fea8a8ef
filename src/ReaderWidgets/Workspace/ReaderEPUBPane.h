#pragma once

#include "ReaderUI/Workspace/ReaderEPUBPaneCallbacks.h"

#include <QUuid>
#include <QWidget>

#include <memory>

class QHBoxLayout;
class QLabel;
class QListView;
class QToolButton;

namespace tavrine {

class PlayerDocumentContext;
class ReaderEPUBPaneModel;
class ReaderEPUBPaneNavigation;
class ReadingPlayer;
struct SavedReading;

// The table-of-contents pane of one EPUB reading: the header with its title and close button, the
// current chapter, and the list of the book's entries and chapters (ReaderEPUBPaneModel), which moves the
// player to the entry chosen and stays open. Made for one reading: another reading gets a new pane.
//
// The list holds the keyboard focus as a whole: Up and Down move the selection, Return and Space choose
// it, Esc closes; a click on a row chooses it, on the chapter group expands or collapses it. The view's
// own key navigation and type-ahead search are off. Nothing is scrolled when the pane is first shown;
// every new selection is scrolled into view. The current marks and chapter follow the player, refreshed
// at most once per turn of the event loop. Hidden (not by the system) or destroyed while the list has
// the focus, the pane gives the focus up (onFocusDeparture). Main thread; the player must outlive it.
class ReaderEPUBPane : public QWidget {
    Q_OBJECT

public:
    using Callbacks = ReaderEPUBPaneCallbacks;

    static constexpr int kMargin = 12;
    static inline const QString kObjectName = QStringLiteral("readerEPUBNavigationPane");
    static inline const QString kCloseLabel = QStringLiteral("目次を閉じる");
    static inline const QString kChapterPrefix = QStringLiteral("現在の章：");

    ReaderEPUBPane(ReadingPlayer& player, const SavedReading& reading, Callbacks callbacks, QWidget* parent = nullptr);
    ~ReaderEPUBPane() override;

    QUuid readingID() const;
    ReaderEPUBPaneModel& model() const { return *m_model; }
    ReaderEPUBPaneNavigation& navigation() const { return *m_navigation; }
    QListView& list() const { return *m_list; }
    QToolButton& closeButton() const { return *m_closeButton; }
    QLabel& chapterLine() const { return *m_chapterLine; }

    // Takes the current marks and chapter from the player now.
    void refresh();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The title with the close button beside it.
    QHBoxLayout* buildHeader();
    // The list's look, its model and what its clicks and the navigation's selection do.
    void setUpList();
    void scheduleRefresh();
    void showSelection();

    ReadingPlayer& m_player;
    ReaderEPUBPaneModel* m_model;
    ReaderEPUBPaneNavigation* m_navigation;
    QToolButton* m_closeButton;
    QLabel* m_chapterLine;
    QListView* m_list;
    std::unique_ptr<PlayerDocumentContext> m_context;
    bool m_isRefreshScheduled = false;
};

}  // namespace tavrine
