#include "PelmoraMac/Capture/X11/X11ClipboardPasteboard.h"

#include "PelmoraMac/Capture/ClipboardSnapshot.h"
#include "PelmoraMac/Capture/X11/X11SelectionTransfer.h"

#include <QStringView>

#include <xcb/xcb.h>

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

// A transfer's failure as the reading tells it: the time-out as such, a lost display as unreadable. (Too
// large a transfer is told by the caller as the failure of the limit it passed; metadata never is.)
CaptureFailure failureOf(SelectionTransferFailure failure) {
    return failure == SelectionTransferFailure::timedOut ? CaptureFailure::timedOut
                                                         : CaptureFailure::clipboardUnreadable;
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
    auto seen = ownership();
    if (!seen) return m_changeCount;
    if (m_ownership && m_ownership->differsFrom(*seen)) ++m_changeCount;
    m_ownership = std::move(*seen);
    return m_changeCount;
}

bool X11ClipboardPasteboard::Ownership::differsFrom(const Ownership& other) const {
    if (owner != other.owner) return true;
    if (owner == XCB_WINDOW_NONE) return false;
    if (takenAt && other.takenAt) return *takenAt != *other.takenAt;
    // Without the times, the same window offering the same targets is taken as the same content; without
    // those either, nothing tells, and the content may have changed.
    if (targets && other.targets) return *targets != *other.targets;
    return true;
}

std::optional<X11ClipboardPasteboard::Ownership> X11ClipboardPasteboard::ownership() {
    Ownership seen;
    seen.owner = m_transfer->owner(m_clipboard);
    if (seen.owner == XCB_WINDOW_NONE) return seen;
    const auto time = m_transfer->acquisitionTime(m_clipboard);
    if (!time) {
        m_failure = failureOf(time.error());
        return std::nullopt;
    }
    seen.takenAt = *time;
    const auto targets = m_transfer->targets(m_clipboard);
    if (!targets) {
        m_failure = failureOf(targets.error());
        return std::nullopt;
    }
    seen.targets = *targets;
    // What the reading that follows offers is what was asked just now.
    if (!m_targets) m_targets = *targets;
    return seen;
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
            m_failure = failureOf(targets.error());
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
            m_failure = data.error() == SelectionTransferFailure::tooLarge ? tooLarge : failureOf(data.error());
            return std::nullopt;
        }
        if (*data) return std::pair(target, std::move((*data)->bytes));
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
