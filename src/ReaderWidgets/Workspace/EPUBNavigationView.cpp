#include "ReaderWidgets/Workspace/EPUBNavigationView.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderWidgets/Workspace/ReaderEPUBPane.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tavrine {

EPUBNavigationView::EPUBNavigationView(ReadingPlayer& player, std::function<void()> onSelect,
                                       std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent),
      m_player(player),
      m_onSelect(std::move(onSelect)),
      m_dismiss(std::move(dismiss)),
      m_layout(new QVBoxLayout(this)),
      m_empty(new QLabel(kNoContents, this)) {
    Q_ASSERT(isMainThread());
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_layout->addWidget(m_empty);
    connect(&player, &ReadingPlayer::readingChanged, this, &EPUBNavigationView::follow);
    follow();
}

void EPUBNavigationView::follow() {
    const std::optional<SavedReading>& reading = m_player.reading();
    const bool isBook = reading && reading->epub;
    if (m_pane && (!isBook || m_pane->readingID() != reading->id)) {
        m_layout->removeWidget(m_pane);
        m_pane->hide();
        m_pane->deleteLater();
        m_pane = nullptr;
    }
    if (isBook && !m_pane) {
        // Closing runs the dismissal; the focus has nowhere of the view's own to go.
        m_pane = new ReaderEPUBPane(m_player, *reading,
                                    {.onSelect =
                                         [this] {
                                             if (m_onSelect) m_onSelect();
                                         },
                                     .onClose =
                                         [this] {
                                             if (m_dismiss) m_dismiss();
                                         },
                                     .onFocusDeparture = [] {}},
                                    this);
        m_layout->addWidget(m_pane);
    }
    m_empty->setVisible(!isBook);
}

}  // namespace tavrine
