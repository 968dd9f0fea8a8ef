#include "PelmoraMac/Window/ReaderScreens.h"

#include "ReaderCore/Uuid.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QUuid>

#include <cmath>

namespace tavrine::ReaderScreens {
using namespace Qt::StringLiterals;
namespace {

// The namespace of display identifiers; fixed forever, since stored positions are kept under them.
constexpr QUuid kDisplayNamespace(0x6b0d5f3eu, 0x2c4a, 0x4e91, 0x9a, 0x7d, 0x51, 0xc3, 0x08, 0xe2, 0x74, 0xaf);

}  // namespace

QString displayIdentifier(const QString& manufacturer, const QString& model, const QString& serialNumber,
                          const QString& name) {
    if (serialNumber.isEmpty()) return u"display-"_s + name;
    // The unit separator cannot occur in the names, so no two triples give the same text.
    const QString identity = manufacturer + u'\x1f' + model + u'\x1f' + serialNumber;
    return uuidString(QUuid::createUuidV5(kDisplayNamespace, identity));
}

QString displayIdentifier(const QScreen& screen) {
    return displayIdentifier(screen.manufacturer(), screen.model(), screen.serialNumber(), screen.name());
}

double primaryFlipY() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return 0;
    const QRect geometry = primary->geometry();
    return double(geometry.y()) + geometry.height();
}

QList<ReaderDisplay> displays() {
    QList<ReaderDisplay> result;
    const double flipY = primaryFlipY();
    QScreen* primary = QGuiApplication::primaryScreen();
    const auto add = [&](const QScreen& screen) {
        result.append(ReaderDisplay{
            .id = displayIdentifier(screen),
            .frame = fromQt(screen.geometry(), flipY),
            .visibleFrame = fromQt(screen.availableGeometry(), flipY),
        });
    };
    if (primary) add(*primary);
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary) add(*screen);
    }
    return result;
}

QPointF pointer() {
    return fromQt(QCursor::pos());
}

QRectF fromQt(const QRect& rect, double flipY) {
    return QRectF(rect.x(), flipY - rect.y() - rect.height(), rect.width(), rect.height());
}

QRectF fromQt(const QRect& rect) {
    return fromQt(rect, primaryFlipY());
}

QPointF fromQt(QPoint point) {
    // The pixel's bottom-left corner, which lies on a display exactly when the pixel does.
    return QPointF(point.x(), primaryFlipY() - point.y() - 1);
}

QRect toQt(const QRectF& rect, double flipY) {
    const double x = std::round(rect.x());
    const double y = std::round(flipY - rect.y() - rect.height());
    return QRect(int(x), int(y), int(std::round(rect.width())), int(std::round(rect.height())));
}

QRect toQt(const QRectF& rect) {
    return toQt(rect, primaryFlipY());
}

}  // namespace tavrine::ReaderScreens
