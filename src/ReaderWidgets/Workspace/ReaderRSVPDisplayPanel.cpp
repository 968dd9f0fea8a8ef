#include "ReaderWidgets/Workspace/ReaderRSVPDisplayPanel.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderHeldModifiers.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Display/ReaderRSVPDisplay.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "ReaderWidgets/internal/AccessibleElement.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tavrine {

using namespace Qt::StringLiterals;

ReaderRSVPDisplayPanel::ReaderRSVPDisplayPanel(ReaderWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), m_workspace(workspace), m_display(new ReaderRSVPDisplay(this)) {
    Q_ASSERT(isMainThread());
    setObjectName(u"readerRSVPDisplay"_s);
    setFocusPolicy(Qt::StrongFocus);
    ReaderFocusRing::setCornerRadius(*this, kCornerRadius);
    makeAccessibleElement(*this, QAccessible::StaticText, /*ignoresChildren=*/true);
    setAccessibleName(u"現在の表示"_s);
    setAccessibleDescription(u"Spaceキーで再生または一時停止します。長い表示はスクロールして読めます"_s);
    setAccessibleElementValue(*this, QString());

    auto* layout = new QVBoxLayout(this);
    // Inside the rounded corners, so the phrase and its scroll bars never cover them.
    const int inset = int(kCornerRadius / 2);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->addWidget(m_display);
    // Qt gives the focus to a hidden widget too, and the keys would go nowhere; the request is queued, so it
    // may come after the reading has gone and the empty content has taken them.
    connect(&workspace, &ReaderWorkspaceController::displayFocusRequested, this, [this] {
        if (isVisibleTo(window())) setFocus();
    });
    refresh();
}

void ReaderRSVPDisplayPanel::refresh() {
    const ReadingPlayer& player = m_workspace.player();
    const ReadingSession& session = player.session();
    const bool hasChunk = session.index >= 0 && session.index < session.chunks.size();
    const QString& text = hasChunk ? session.chunks.at(session.index).text : QString();
    m_display->apply(text.trimmed(), player.textSizes().rsvpPointSize());
    setAccessibleElementValue(*this, text);
}

void ReaderRSVPDisplayPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath plate;
    plate.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(plate, toQColor(ReaderPalette::surface));
}

void ReaderRSVPDisplayPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->isAutoRepeat() || holdsModifier(event->modifiers())) {
        QWidget::keyPressEvent(event);
        return;
    }
    m_workspace.perform(ReaderPlaybackRequest::Action::togglePlayback, /*releasesEditorFocus=*/true);
    event->accept();
}

void ReaderRSVPDisplayPanel::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    m_workspace.setDisplayFocused(true);
}

void ReaderRSVPDisplayPanel::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    m_workspace.setDisplayFocused(false);
}

}  // namespace tavrine
