#pragma once

#include "PelmoraMac/Capture/Pasteboard.h"

#include <QList>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace tavrine {

class X11SelectionTransfer;

// The desktop clipboard (the X11 CLIPBOARD selection) as a pasteboard of one item, read on a display
// connection of its own, so that the reading runs on any thread and an owner that does not answer holds
// up nothing but the reading itself, until the deadline (timedOut). Its targets are asked first; its HTML
// is "text/html" (UTF-16 without a byte-order mark, as some browsers write it, made UTF-8), its RTF
// "text/rtf", else "application/rtf", its string UTF8_STRING, else "text/plain;charset=utf-8", else
// STRING (Latin-1), else "text/plain". Formatted data beyond ClipboardSnapshot::kFormattedDataLimit bytes
// fails with clipboardFormatTooLarge and a string of more bytes than its units could take with tooLong,
// as soon as the owner announces or sends them. The change count rises whenever another window has come
// to own the clipboard or the owner has taken it again (its TIMESTAMP); of an owner that does not tell
// its time as the protocol asks, whenever its targets change, and of one that tells neither, at every
// look. Without an X display there is no item. One thread at a time.
class X11ClipboardPasteboard final : public Pasteboard {
public:
    X11ClipboardPasteboard();
    ~X11ClipboardPasteboard() override;

    qint64 changeCount() override;
    std::optional<qsizetype> itemCount() override;
    std::optional<QByteArray> data(qsizetype item, DataType type) override;
    std::optional<QString> string(qsizetype item) override;
    void setDeadline(CaptureDeadline deadline) override;
    std::optional<CaptureFailure> failure() const override { return m_failure; }

private:
    // Who owns the clipboard, since when and offering what, as far as the owner tells.
    struct Ownership {
        std::uint32_t owner = 0;
        std::optional<std::uint32_t> takenAt{};
        std::optional<QList<std::uint32_t>> targets{};

        // Whether the content may have changed between the two looks.
        bool differsFrom(const Ownership& other) const;
    };

    // The connection, made at the first call; none without a display or after a failure.
    X11SelectionTransfer* transfer();
    // The clipboard's ownership now; none after a failure (recorded).
    std::optional<Ownership> ownership();
    // Whether the owner offers the target; true when it does not tell what it offers.
    bool offers(std::uint32_t target);
    // The data of the first of the targets that the owner offers and gives; a transfer beyond `byteLimit`
    // bytes fails with `tooLarge`.
    std::optional<std::pair<std::uint32_t, QByteArray>> fetch(std::initializer_list<const char*> targets,
                                                              qsizetype byteLimit, CaptureFailure tooLarge);

    CaptureDeadline m_deadline;
    std::unique_ptr<X11SelectionTransfer> m_transfer;
    bool m_opened = false;
    std::uint32_t m_clipboard = 0;
    std::optional<std::optional<QList<std::uint32_t>>> m_targets;
    qint64 m_changeCount = 0;
    std::optional<Ownership> m_ownership;
    std::optional<CaptureFailure> m_failure;
};

}  // namespace tavrine
