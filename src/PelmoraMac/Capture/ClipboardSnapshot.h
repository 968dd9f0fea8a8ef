#pragma once

#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/Pasteboard.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/ReadingDocument.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavrine {

// Which formats a clipboard import takes: HTML, RTF and plain text, or the plain text alone.
enum class ClipboardImportMode {
    automatic,
    plainText,
};

template <>
struct EnumTable<ClipboardImportMode> {
    static constexpr auto entries = std::to_array<std::pair<ClipboardImportMode, std::u16string_view>>({
        {ClipboardImportMode::automatic, u"automatic"},
        {ClipboardImportMode::plainText, u"plainText"},
    });
};

// The first item of the clipboard as read in one mode: its HTML and RTF data as stored (automatic mode
// only) and its plain string. A plain value that travels to the capture worker, the bytes as Base64.
struct ClipboardSnapshot {
    // Formatted data (HTML or RTF) of more bytes than this is refused, in automatic mode.
    static constexpr qsizetype kFormattedDataLimit = 2'000'000;
    // A string of more UTF-16 units than this is refused, in either mode; so is such a document text.
    static constexpr qsizetype kTextLimit = 20'000;

    ClipboardImportMode mode = ClipboardImportMode::automatic;
    std::optional<QByteArray> html{};
    std::optional<QByteArray> rtf{};
    std::optional<QString> text{};

    // Whether HTML or RTF data is present; empty data counts.
    bool hasFormattedData() const { return html || rtf; }

    bool operator==(const ClipboardSnapshot&) const = default;
};

void writeJson(JsonWriter& writer, const ClipboardSnapshot& snapshot);
Decoded<ClipboardSnapshot> decodeJson(const JsonValue& value, const JsonPath& path,
                                      std::type_identity<ClipboardSnapshot>);

// Reads the first item of the pasteboard (the others are ignored), waiting for it at most until the
// deadline: in automatic mode its HTML, then its RTF data, in both modes its string. Fails with the
// pasteboard's own failure (timedOut when the clipboard's owner does not answer in time), with
// clipboardNoText when there is no item and with sourceChanged when the change count moved during the
// reading; then checks the limits (checkClipboardLimits) and, when the item has no formatted data, the
// document of its string alone (validateClipboardDocument), so that a clipboard without usable text
// fails before any conversion. The pasteboard's own thread only (the desktop clipboard: any thread but
// the one whose event loop answers for this application's own copies, the main thread).
CaptureResult<ClipboardSnapshot> readClipboardSnapshot(Pasteboard& pasteboard, ClipboardImportMode mode,
                                                       CaptureDeadline deadline);

// clipboardFormatTooLarge for HTML, then RTF, of more than kFormattedDataLimit bytes (automatic mode
// only); tooLong for a string of more than kTextLimit units (both modes).
CaptureResult<void> checkClipboardLimits(const ClipboardSnapshot& snapshot);

// The document as it was given, or, in this order: tooLong for a text of more than kTextLimit units,
// clipboardNoText for an empty text, emptyText for a blank one (nothing to read, holdsNothingToRead, also
// once the markers its list items start with are left out: a list of blank items is blank),
// clipboardUnreadable for a document that is not valid.
CaptureResult<ReadingDocument> validateClipboardDocument(ReadingDocument document);

}  // namespace tavrine
