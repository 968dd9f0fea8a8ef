#include "PelmoraMac/X11/X11Connection.h"

#include <QGuiApplication>
#include <QString>

#include <xcb/xcb.h>

namespace tavrine {

xcb_connection_t* qtX11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

bool opensX11Display(const QString& display) {
    const QByteArray name = display.toLocal8Bit();
    // xcb_connect never answers null: a failed connection carries its error.
    xcb_connection_t* connection = xcb_connect(name.constData(), nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened;
}

}  // namespace tavrine
