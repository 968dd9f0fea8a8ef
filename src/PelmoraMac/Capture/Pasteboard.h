#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavrine {

// The clipboard as a clipboard snapshot reads it: a list of items, each with data by type and a plain
// string, and a count that changes whenever the content may have changed. The application's is the
// desktop clipboard (QClipboardPasteboard, one item); tests give their own.
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
};

}  // namespace tavrine
