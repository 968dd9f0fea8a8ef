#include "PelmoraMac/Window/ReaderWindowPositionStore.h"

#include "ReaderCore/Defaults.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/MainThread.h"

#include <cmath>

namespace tavrine {
using namespace Qt::StringLiterals;

// A position's JSON: {"height"?, "top", "width"?, "x"}, numbers.
void writeJson(JsonWriter& writer, const ReaderWindowPosition& position) {
    JsonObjectWriter(writer)
        .fieldIfPresent(u"height", position.height)
        .field(u"top", position.top)
        .fieldIfPresent(u"width", position.width)
        .field(u"x", position.x);
}

Decoded<ReaderWindowPosition> decodeJson(const JsonValue& value, const JsonPath& path,
                                         std::type_identity<ReaderWindowPosition>) {
    JsonObjectDecoder decoder(value, path);
    ReaderWindowPosition position;
    position.x = decoder.required<double>(u"x");
    position.top = decoder.required<double>(u"top");
    position.width = decoder.optional<double>(u"width");
    position.height = decoder.optional<double>(u"height");
    return decoder.finish(position);
}

namespace {

// What the settings entry holds.
struct SavedPositions {
    QHash<QString, ReaderWindowPosition> positions;
    std::optional<QString> lastDisplayID;
};

Decoded<SavedPositions> decodeSaved(const QByteArray& bytes) {
    const auto document = parseJson(bytes);
    if (!document) return tl::unexpected(document.error());
    JsonObjectDecoder decoder(document->root(), JsonPath());
    SavedPositions saved;
    saved.positions = decoder.required<QHash<QString, ReaderWindowPosition>>(u"positions");
    saved.lastDisplayID = decoder.optional<QString>(u"lastDisplayID");
    return decoder.finish(saved);
}

bool isFinite(const std::optional<double>& value) {
    return !value || std::isfinite(*value);
}

}  // namespace

ReaderWindowPositionStore::ReaderWindowPositionStore(Defaults& defaults) : m_defaults(defaults) {
    Q_ASSERT(isMainThread());
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(0);
    QObject::connect(&m_writeTimer, &QTimer::timeout, [this] { write(); });

    const auto stored = m_defaults.object(kKey.toString());
    const QByteArray* bytes = stored ? std::get_if<QByteArray>(&*stored) : nullptr;
    if (!bytes) return;
    if (auto saved = decodeSaved(*bytes)) {
        m_positions = std::move(saved->positions);
        m_lastDisplayID = std::move(saved->lastDisplayID);
    }
}

ReaderWindowPositionStore::~ReaderWindowPositionStore() {
    flush();
}

std::optional<ReaderWindowPosition> ReaderWindowPositionStore::position(const ReaderDisplay& display) const {
    const auto found = m_positions.constFind(display.id);
    if (found == m_positions.cend() || !std::isfinite(found->x) || !std::isfinite(found->top)) return std::nullopt;
    return *found;
}

void ReaderWindowPositionStore::recordPosition(const QRectF& frame, const ReaderDisplay& display,
                                               std::optional<QSizeF> size) {
    const QRectF& visible = display.visibleFrame;
    const QSizeF kept = size.value_or(frame.size());
    m_positions.insert(display.id, ReaderWindowPosition{
                                       .x = frame.x() - visible.x(),
                                       .top = (visible.y() + visible.height()) - (frame.y() + frame.height()),
                                       .width = kept.width(),
                                       .height = kept.height(),
                                   });
    save(display);
}

void ReaderWindowPositionStore::save(const ReaderDisplay& lastDisplay) {
    Q_ASSERT(isMainThread());
    m_lastDisplayID = lastDisplay.id;
    m_writeTimer.start();
}

void ReaderWindowPositionStore::flush() {
    if (!m_writeTimer.isActive()) return;
    m_writeTimer.stop();
    write();
}

void ReaderWindowPositionStore::write() {
    for (const ReaderWindowPosition& position : std::as_const(m_positions)) {
        // JSON has no such numbers: the whole value is not written, as an encoder would refuse it.
        if (!std::isfinite(position.x) || !std::isfinite(position.top) || !isFinite(position.width) ||
            !isFinite(position.height)) {
            return;
        }
    }
    // Keys in ascending order, so the same positions are always the same text.
    QStringList displays = m_positions.keys();
    displays.sort();
    JsonWriter writer;
    {
        JsonObjectWriter saved(writer);
        saved.fieldIfPresent(u"lastDisplayID", m_lastDisplayID);
        writer.key(u"positions");
        JsonObjectWriter positions(writer);
        for (const QString& display : std::as_const(displays)) positions.field(display, m_positions.value(display));
    }
    m_defaults.setData(kKey.toString(), writer.take());
}

}  // namespace tavrine
