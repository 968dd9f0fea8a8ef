#include "PelmoraMac/Capture/X11/QClipboardPasteboard.h"

#include "PelmoraMac/X11/X11Connection.h"
#include "ReaderCore/MainThread.h"

#include <QClipboard>
#include <QMimeData>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace tavrine {
using namespace Qt::StringLiterals;

QClipboardPasteboard::QClipboardPasteboard(QClipboard* clipboard) : m_clipboard(clipboard) {
    Q_ASSERT(isMainThread());
    QObject::connect(m_clipboard, &QClipboard::dataChanged, &m_receiver, [this] { ++m_changeCount; });
    m_owner = selectionOwner();
}

std::uint32_t QClipboardPasteboard::selectionOwner() {
    xcb_connection_t* connection = qtX11Connection();
    if (!connection) return 0;
    if (m_clipboardAtom == 0) {
        static constexpr char kName[] = "CLIPBOARD";
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr),
            &std::free);
        if (!atom) return 0;
        m_clipboardAtom = atom->atom;
    }
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, m_clipboardAtom), nullptr),
        &std::free);
    return owner ? owner->owner : 0;
}

qint64 QClipboardPasteboard::changeCount() {
    Q_ASSERT(isMainThread());
    const std::uint32_t owner = selectionOwner();
    if (owner != m_owner) {
        m_owner = owner;
        ++m_changeCount;
    }
    return m_changeCount;
}

std::optional<qsizetype> QClipboardPasteboard::itemCount() {
    Q_ASSERT(isMainThread());
    const QMimeData* mime = m_clipboard->mimeData(QClipboard::Clipboard);
    if (!mime) return std::nullopt;
    return mime->formats().isEmpty() ? 0 : 1;
}

std::optional<QByteArray> QClipboardPasteboard::data(qsizetype item, DataType type) {
    Q_ASSERT(isMainThread());
    const QMimeData* mime = m_clipboard->mimeData(QClipboard::Clipboard);
    if (item != 0 || !mime) return std::nullopt;
    const QStringList formats =
        type == DataType::html ? QStringList{u"text/html"_s} : QStringList{u"text/rtf"_s, u"application/rtf"_s};
    for (const QString& format : formats) {
        if (mime->hasFormat(format)) return mime->data(format);
    }
    return std::nullopt;
}

std::optional<QString> QClipboardPasteboard::string(qsizetype item) {
    Q_ASSERT(isMainThread());
    const QMimeData* mime = m_clipboard->mimeData(QClipboard::Clipboard);
    if (item != 0 || !mime || !mime->hasText()) return std::nullopt;
    return mime->text();
}

}  // namespace tavrine
