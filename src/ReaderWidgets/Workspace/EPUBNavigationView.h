#pragma once

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QVBoxLayout;

namespace tavrine {

class ReaderEPUBPane;
class ReadingPlayer;

// The table of contents of what the player reads, for a caller to show in a dialog of its own: the
// contents pane of the current reading while it is an EPUB book, else one sentence saying there is none.
// It follows the player's reading, with a new pane for each book. Closing the pane (its button or Esc)
// runs dismiss; a choice runs onSelect before the player moves. It adds no title or frame. Main thread;
// the player must outlive it.
class EPUBNavigationView : public QWidget {
    Q_OBJECT

public:
    static inline const QString kNoContents = QStringLiteral("現在の文書にEPUBの目次はありません。");

    EPUBNavigationView(ReadingPlayer& player, std::function<void()> onSelect, std::function<void()> dismiss,
                       QWidget* parent = nullptr);

    // Nothing while the player's reading is no book.
    ReaderEPUBPane* pane() const { return m_pane; }
    QLabel& emptyLabel() const { return *m_empty; }

private:
    void follow();

    ReadingPlayer& m_player;
    std::function<void()> m_onSelect;
    std::function<void()> m_dismiss;
    QVBoxLayout* m_layout;
    QLabel* m_empty;
    QPointer<ReaderEPUBPane> m_pane;
};

}  // namespace tavrine
