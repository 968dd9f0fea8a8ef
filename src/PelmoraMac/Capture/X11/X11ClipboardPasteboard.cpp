#include "PelmoraMac/Capture/X11/X11ClipboardPasteboard.h"

#include "PelmoraMac/Capture/ClipboardSnapshot.h"
#include "PelmoraMac/Capture/X11/X11SelectionTransfer.h"

#include <QStringView>

namespace tavrine {
namespace {

// HTML in UTF-16 without a byte-order mark, as some browsers copy it: one of its first two bytes is 0.
// It is handed on as UTF-8 (a byte-order mark tells the conversion itself).
QByteArray htmlAsStored(QByteArray html) {
    if (html.size() < 2 || (html[0] == 0) == (html[1] == 0)) return html;
    const bool bigEndian = html[0] == 0;
    QString text(html.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto first = uchar(html[2 * i]);
        const auto second = uchar(html[2 * i + 1]);
        text[i] = QChar(bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first));
    }
    return text.toUtf8();
}

}  // namespace

X11ClipboardPasteboard::X11ClipboardPasteboard()
    : m_deadline(captureDeadlineFrom(SystemClock::shared().monotonicNow())) {}

X11ClipboardPasteboard::~X11ClipboardPasteboard() = default;

// A reading starts: what the last one learnt of the owner's offer, and how it ended, no longer holds.
void X11ClipboardPasteboard::setDeadline(CaptureDeadline deadline) {
    m_deadline = deadline;
    if (m_transfer) m_transfer->setDeadline(deadline);
    m_targets.reset();
    m_failure.reset();
}

X11SelectionTransfer* X11ClipboardPasteboard::transfer() {
    if (m_failure) return nullptr;
    if (!m_opened) {
        m_opened = true;
        m_transfer = X11SelectionTransfer::open(m_deadline);
        if (m_transfer) m_clipboard = m_transfer->atom("CLIPBOARD");
    }
    return m_transfer.get();
}

qint64 X11ClipboardPasteboard::changeCount() {
    X11SelectionTransfer* connection = transfer();
    if (!connection) return m_changeCount;
    const std::uint32_t owner = connection->owner(m_clipboard);
    std::optional<std::uint32_t> taken;
    if (owner != 0) {
        const auto time = connection->acquisitionTime(m_clipboard);
        if (!time) {
            m_failure = time.error() == SelectionTransferFailure::timedOut ? CaptureFailure::timedOut
                                                                           : CaptureFailure::clipboardUnreadable;
            return m_changeCount;
        }
        taken = *time;
    }
    const std::pair seen{owner, taken};
    if (m_owner && *m_owner != seen) ++m_changeCount;
    m_owner = seen;
    return m_changeCount;
}

std::optional<qsizetype> X11ClipboardPasteboard::itemCount() {
    X11SelectionTransfer* connection = transfer();
    if (!connection) return m_failure ? std::nullopt : std::optional<qsizetype>(0);
    return connection->owner(m_clipboard) == 0 ? 0 : 1;
}

bool X11ClipboardPasteboard::offers(std::uint32_t target) {
    if (!m_targets) {
        auto targets = m_transfer->targets(m_clipboard);
        if (!targets) {
            m_failure = targets.error() == SelectionTransferFailure::timedOut ? CaptureFailure::timedOut
                                                                              : CaptureFailure::clipboardUnreadable;
            return false;
        }
        m_targets = *targets;
    }
    return !*m_targets || (*m_targets)->contains(target);
}

std::optional<std::pair<std::uint32_t, QByteArray>> X11ClipboardPasteboard::fetch(
    std::initializer_list<const char*> targets, qsizetype byteLimit, CaptureFailure tooLarge) {
    X11SelectionTransfer* connection = transfer();
    if (!connection) return std::nullopt;
    for (const char* name : targets) {
        const std::uint32_t target = connection->atom(name);
        if (!offers(target)) {
            if (m_failure) return std::nullopt;
            continue;
        }
        auto data = connection->convert(m_clipboard, target, byteLimit);
        if (!data) {
            switch (data.error()) {
            case SelectionTransferFailure::timedOut: m_failure = CaptureFailure::timedOut; break;
            case SelectionTransferFailure::tooLarge: m_failure = tooLarge; break;
            case SelectionTransferFailure::lost: m_failure = CaptureFailure::clipboardUnreadable; break;
            }
            return std::nullopt;
        }
        if (*data) return std::pair(target, std::move(**data));
    }
    return std::nullopt;
}

std::optional<QByteArray> X11ClipboardPasteboard::data(qsizetype item, DataType type) {
    if (item != 0) return std::nullopt;
    const qsizetype limit = ClipboardSnapshot::kFormattedDataLimit;
    const CaptureFailure tooLarge = CaptureFailure::clipboardFormatTooLarge;
    if (type == DataType::html) {
        auto html = fetch({"text/html"}, limit, tooLarge);
        if (!html) return std::nullopt;
        return htmlAsStored(std::move(html->second));
    }
    auto rtf = fetch({"text/rtf", "application/rtf"}, limit, tooLarge);
    if (!rtf) return std::nullopt;
    return std::move(rtf->second);
}

std::optional<QString> X11ClipboardPasteboard::string(qsizetype item) {
    if (item != 0) return std::nullopt;
    // A UTF-16 unit takes at most three bytes of UTF-8.
    auto text = fetch({"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "text/plain"},
                      ClipboardSnapshot::kTextLimit * 3, CaptureFailure::tooLong);
    if (!text) return std::nullopt;
    if (m_transfer && text->first == m_transfer->atom("STRING")) return QString::fromLatin1(text->second);
    return QString::fromUtf8(text->second);
}

}  // namespace tavrine
