#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavrine {

// The clipboard as a clipboard snapshot reads it: a list of items, each with data by type and a plain
// string, and a count that changes whenever the content may have changed. The application's is the
// desktop clipboard (X11ClipboardPasteboard, one item); tests give their own. A reading may wait for
// another program: it waits at most until the deadline it is given, and a failure that ends it (the
// owner did not answer in time, or offered more than a snapshot takes) is kept for the snapshot to tell.
class Pasteboard {
public:
    // The formatted types a snapshot takes.
    enum class DataType {
        html,
        rtf,
    };

    virtual ~Pasteboard() = default;

    // Differs between two calls when the content was written in between (possibly also when it was not).
    virtual qint64 changeCount() = 0;
    // How many items the clipboard holds; nothing when it gives no item list at all.
    virtual std::optional<qsizetype> itemCount() = 0;
    // The data of one type on an item, as stored; nothing when the item has none of that type.
    virtual std::optional<QByteArray> data(qsizetype item, DataType type) = 0;
    // The plain string of an item; nothing when it has none.
    virtual std::optional<QString> string(qsizetype item) = 0;

    // The end of the time the reading may take, given before it starts.
    virtual void setDeadline(CaptureDeadline) {}
    // What ended the reading early, once something did: timedOut, clipboardFormatTooLarge for formatted
    // data, tooLong for a string. After a failure the other calls answer nothing.
    virtual std::optional<CaptureFailure> failure() const { return std::nullopt; }
};

}  // namespace tavrine
