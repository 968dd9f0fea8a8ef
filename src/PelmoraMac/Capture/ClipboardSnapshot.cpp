#include "PelmoraMac/Capture/ClipboardSnapshot.h"

#include "PelmoraMac/Capture/CapturedText.h"

#include <QRegularExpression>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// The document's text without the markers its list items start with ("• ", "1. "): a conversion writes them
// for a list of the clipboard's, and they are nothing the clipboard gave to read.
QString withoutListMarkers(const ReadingDocument& document) {
    static const QRegularExpression marker(u"(?:[\u2022\u25E6\u25AA]|\\d{1,9}[.)])[ \t\u00A0]?"_s);
    QString text = document.text;
    for (const ReadingDocument::Span& span : document.spans) {
        if (span.kind != ReadingDocument::Span::Kind::listItem || span.start >= span.end) continue;
        const QRegularExpressionMatch match =
            marker.match(QStringView(text).sliced(span.start, span.end - span.start), 0,
                         QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (match.hasMatch()) text.replace(span.start, match.capturedLength(), QString(match.capturedLength(), u' '));
    }
    return text;
}

}  // namespace

void writeJson(JsonWriter& writer, const ClipboardSnapshot& snapshot) {
    JsonObjectWriter(writer)
        .fieldIfPresent(u"html", snapshot.html)
        .field(u"mode", snapshot.mode)
        .fieldIfPresent(u"rtf", snapshot.rtf)
        .fieldIfPresent(u"text", snapshot.text);
}

Decoded<ClipboardSnapshot> decodeJson(const JsonValue& value, const JsonPath& path,
                                      std::type_identity<ClipboardSnapshot>) {
    JsonObjectDecoder decoder(value, path);
    ClipboardSnapshot snapshot;
    snapshot.mode = decoder.required<ClipboardImportMode>(u"mode");
    snapshot.html = decoder.optional<QByteArray>(u"html");
    snapshot.rtf = decoder.optional<QByteArray>(u"rtf");
    snapshot.text = decoder.optional<QString>(u"text");
    return decoder.finish(std::move(snapshot));
}

CaptureResult<ClipboardSnapshot> readClipboardSnapshot(Pasteboard& pasteboard, ClipboardImportMode mode,
                                                       CaptureDeadline deadline) {
    pasteboard.setDeadline(deadline);
    const qint64 changeCount = pasteboard.changeCount();
    const std::optional<qsizetype> items = pasteboard.itemCount();
    if (const auto failure = pasteboard.failure()) return tl::unexpected(*failure);
    if (!items || *items <= 0) return tl::unexpected(CaptureFailure::clipboardNoText);

    ClipboardSnapshot snapshot{.mode = mode};
    if (mode == ClipboardImportMode::automatic) {
        snapshot.html = pasteboard.data(0, Pasteboard::DataType::html);
        snapshot.rtf = pasteboard.data(0, Pasteboard::DataType::rtf);
    }
    snapshot.text = pasteboard.string(0);
    const qint64 changeCountAfter = pasteboard.changeCount();
    if (const auto failure = pasteboard.failure()) return tl::unexpected(*failure);
    if (changeCountAfter != changeCount) return tl::unexpected(CaptureFailure::sourceChanged);

    if (auto limits = checkClipboardLimits(snapshot); !limits) return tl::unexpected(limits.error());
    if (!snapshot.hasFormattedData()) {
        auto document = validateClipboardDocument(ReadingDocument{std::nullopt, snapshot.text.value_or(QString()), {}});
        if (!document) return tl::unexpected(document.error());
    }
    return snapshot;
}

CaptureResult<void> checkClipboardLimits(const ClipboardSnapshot& snapshot) {
    if (snapshot.mode == ClipboardImportMode::automatic) {
        for (const auto* data : {&snapshot.html, &snapshot.rtf}) {
            if (*data && (*data)->size() > ClipboardSnapshot::kFormattedDataLimit) {
                return tl::unexpected(CaptureFailure::clipboardFormatTooLarge);
            }
        }
    }
    if (snapshot.text && snapshot.text->size() > ClipboardSnapshot::kTextLimit) {
        return tl::unexpected(CaptureFailure::tooLong);
    }
    return {};
}

CaptureResult<ReadingDocument> validateClipboardDocument(ReadingDocument document) {
    if (document.text.size() > ClipboardSnapshot::kTextLimit) return tl::unexpected(CaptureFailure::tooLong);
    if (document.text.isEmpty()) return tl::unexpected(CaptureFailure::clipboardNoText);
    if (holdsNothingToRead(document.text) || holdsNothingToRead(withoutListMarkers(document))) {
        return tl::unexpected(CaptureFailure::emptyText);
    }
    if (!document.isValid()) return tl::unexpected(CaptureFailure::clipboardUnreadable);
    return document;
}

}  // namespace tavrine
