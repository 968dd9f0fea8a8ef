#include "PelmoraMac/X11/X11Connection.h"

#include <QGuiApplication>

namespace tavrine {

xcb_connection_t* qtX11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

}  // namespace tavrine
