#include "PelmoraMac/X11/X11Connection.h"

#include <QGuiApplication>
#include <QString>

#include <xcb/xcb.h>

namespace tavrine {
using namespace Qt::StringLiterals;

xcb_connection_t* qtX11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

std::optional<QString> x11DisplayRefusal(const QString& display) {
    const QByteArray name = display.toLocal8Bit();
    int screen = 0;
    // xcb_connect never answers null: a failed connection carries its error.
    xcb_connection_t* connection = xcb_connect(name.constData(), &screen);
    // Given &screen, xcb refuses a screen its server lacks (":0.5"), which Qt, asking without it, would
    // only find out by aborting; the count of the server's screens says the same where xcb does not.
    const int error = xcb_connection_has_error(connection);
    std::optional<QString> refusal;
    if (error == XCB_CONN_CLOSED_INVALID_SCREEN ||
        (error == 0 && (screen < 0 || screen >= xcb_setup_roots_length(xcb_get_setup(connection))))) {
        refusal = u"its X server has no screen %1"_s.arg(screen);
    } else if (error != 0) {
        // A stale DISPLAY (a terminal left from an ended session), a server gone, or one that refuses us.
        refusal = u"no X server answers there, or it does not let this user in"_s;
    }
    xcb_disconnect(connection);
    return refusal;
}

}  // namespace tavrine
