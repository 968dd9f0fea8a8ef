#pragma once

#include "PelmoraMac/Capture/Pasteboard.h"

#include <QObject>

#include <cstdint>

class QClipboard;

namespace tavrine {

// The desktop clipboard as a pasteboard of one item: its HTML is "text/html", its RTF "text/rtf", else
// "application/rtf", its string the clipboard's plain text. The change count rises with each change
// that Qt reports and whenever another window has come to own the X11 CLIPBOARD selection: Qt reports
// a change only from its event loop, so a change during a reading (which waits for the owner without
// returning to that loop) is seen by the owner test alone. Without X11 (another platform) the reported
// changes alone count.
//
// Main thread only (asserted); the clipboard must outlive it.
class QClipboardPasteboard final : public Pasteboard {
public:
    explicit QClipboardPasteboard(QClipboard* clipboard);

    qint64 changeCount() override;
    std::optional<qsizetype> itemCount() override;
    std::optional<QByteArray> data(qsizetype item, DataType type) override;
    std::optional<QString> string(qsizetype item) override;

private:
    // The window that owns the CLIPBOARD selection (0 for none, or without X11).
    std::uint32_t selectionOwner();

    QClipboard* m_clipboard;
    QObject m_receiver;  // keeps the change connection as long as this object lives
    qint64 m_changeCount = 0;
    std::uint32_t m_owner = 0;
    std::uint32_t m_clipboardAtom = 0;
};

}  // namespace tavrine
