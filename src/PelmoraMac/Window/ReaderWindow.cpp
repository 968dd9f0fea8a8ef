#include "PelmoraMac/Window/ReaderWindow.h"

#include "ReaderCore/MainThread.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ReaderTabOrder.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include <QHideEvent>
#include <QShowEvent>

namespace tavrine {
using namespace Qt::StringLiterals;

ReaderWindow::ReaderWindow(QWidget* parent) : QMainWindow(parent) {
    Q_ASSERT(isMainThread());
    setObjectName(u"reader"_s);
    setWindowTitle(u"Tavrine"_s);
    ReaderTheme::apply(*this);
    setContent(new QWidget);
    resize(kDefaultSize);
    new ReaderFocusRing(*this);
}

ReaderWindow::~ReaderWindow() = default;

void ReaderWindow::setContent(QWidget* content) {
    Q_ASSERT(isMainThread());
    content->setMinimumSize(content->minimumSize().expandedTo(kMinimumContentSize));
    delete takeCentralWidget();
    setCentralWidget(content);
}

bool ReaderWindow::focusNextPrevChild(bool next) {
    return ReaderTabOrder::focusNext(*this, next) || QMainWindow::focusNextPrevChild(next);
}

void ReaderWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // A spontaneous show is the window system restoring a minimised window.
    if (!event->spontaneous()) emit appeared();
}

void ReaderWindow::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    // A spontaneous hide is the window system minimising the window: it has not gone away.
    if (!event->spontaneous()) emit disappeared();
}

}  // namespace tavrine
