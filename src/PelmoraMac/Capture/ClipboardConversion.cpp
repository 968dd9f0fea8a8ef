#include "PelmoraMac/Capture/ClipboardConversion.h"

#include "PelmoraMac/Capture/ArticleScriptHost.h"
#include "PelmoraMac/Capture/CaptureMarkdown.h"
#include "PelmoraMac/Capture/CaptureWorker.h"
#include "PelmoraMac/Capture/internal/RTFReader.h"
#include "ReaderCore/Paragraphs.h"

#include <QStringDecoder>

namespace tavrine {
namespace {
using Span = ReadingDocument::Span;

ReadingDocument textDocument(const std::optional<QString>& text) {
    return ReadingDocument{std::nullopt, text.value_or(QString()), {}};
}

// The outcome of one format: a document, a failure that ends the conversion, or nothing (try the next).
using Attempt = std::optional<CaptureResult<ReadingDocument>>;

Attempt attemptHTML(const QByteArray& bytes, const ClipboardHTMLConverter& convert) {
    const std::optional<QString> html = decodeClipboardHTML(bytes);
    if (!html) return std::nullopt;
    CaptureResult<ReadingDocument> document = tl::unexpected(CaptureFailure::htmlTooLarge);
    if (html->size() <= kExtractionHTMLLimit) {
        auto converted = convert(*html);
        if (!converted) {
            document = tl::unexpected(converted.error());
        } else if (!*converted) {
            return std::nullopt;  // no body
        } else {
            document = validateClipboardDocument(std::move(**converted));
        }
    }
    if (document) return document;
    switch (document.error()) {
    case CaptureFailure::htmlTooLarge: return tl::unexpected(CaptureFailure::clipboardFormatTooLarge);
    case CaptureFailure::tooLong: return tl::unexpected(CaptureFailure::tooLong);
    default: return std::nullopt;
    }
}

Attempt attemptRichText(const QByteArray& rtf) {
    auto document = convertClipboardRichText(rtf);
    if (document) document = validateClipboardDocument(std::move(*document));
    if (document || document.error() == CaptureFailure::tooLong) return document;
    return std::nullopt;
}

CaptureResult<ReadingDocument> convertText(const ClipboardSnapshot& snapshot, const CancellationToken& cancellation) {
    if (!snapshot.text) {
        return tl::unexpected(snapshot.hasFormattedData() ? CaptureFailure::clipboardUnreadable
                                                          : CaptureFailure::clipboardNoText);
    }
    if (auto checked = validateClipboardDocument(textDocument(snapshot.text)); !checked) {
        return tl::unexpected(checked.error());
    }
    auto document = readMarkdownForCapture(*snapshot.text, cancellation, MarkdownReader::LineEnds::unwrapped);
    if (!document) return tl::unexpected(document.error());
    return validateClipboardDocument(std::move(*document));
}

void appendRunSpans(QList<Span>& spans, const RichText::Run& run) {
    auto add = [&](Span::Kind kind) { spans.append(Span{kind, run.start, run.end, 0}); };
    if (run.traits.bold) add(Span::Kind::strong);
    if (run.traits.italic) add(Span::Kind::emphasis);
    if (run.traits.monospace) add(Span::Kind::code);
    if (run.traits.oblique) add(Span::Kind::emphasis);
}

// Per paragraph of the text (its separator included), in text order: paragraph, then heading and
// listItem from the formatting of the RTF paragraph that holds its start.
void appendParagraphSpans(QList<Span>& spans, const RichText& rich) {
    const QString& text = rich.text;
    auto style = rich.paragraphStyles.cbegin();
    qsizetype location = 0;
    while (location < text.size()) {
        const TextRange paragraph = paragraphRange(text, location);
        spans.append(Span{Span::Kind::paragraph, paragraph.lowerBound, paragraph.upperBound, 0});
        while (style != rich.paragraphStyles.cend() && style->end <= location) ++style;
        if (style != rich.paragraphStyles.cend() && style->start <= location) {
            if (style->headerLevel > 0) {
                spans.append(Span{Span::Kind::heading, paragraph.lowerBound, paragraph.upperBound, style->headerLevel});
            }
            if (style->listDepth > 0) {
                spans.append(Span{Span::Kind::listItem, paragraph.lowerBound, paragraph.upperBound,
                                  std::min<qint64>(style->listDepth, Span::kMaximumLevel)});
            }
        }
        location = paragraph.upperBound;
    }
}

}  // namespace

std::optional<QString> decodeClipboardHTML(QByteArrayView html) {
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    if (html.startsWith("\xFF\xFE")) {
        encoding = QStringConverter::Utf16LE;
    } else if (html.startsWith("\xFE\xFF")) {
        encoding = QStringConverter::Utf16BE;
    }
    if (encoding != QStringConverter::Utf8) {
        html = html.sliced(2);
        if (html.size() % 2 != 0) return std::nullopt;
    }
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(html);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

CaptureResult<ReadingDocument> convertClipboardRichText(QByteArrayView rtf) {
    if (!rtf.startsWith("{\\rtf")) return tl::unexpected(CaptureFailure::clipboardUnreadable);
    auto rich = readRTF(rtf, ClipboardSnapshot::kTextLimit);
    if (!rich) {
        return tl::unexpected(rich.error() == RTFReadFailure::tooLong ? CaptureFailure::tooLong
                                                                      : CaptureFailure::clipboardUnreadable);
    }
    if (rich->text.contains(QChar::ObjectReplacementCharacter)) {
        return tl::unexpected(CaptureFailure::clipboardUnreadable);
    }
    QList<Span> spans;
    for (const auto& run : rich->runs) appendRunSpans(spans, run);
    appendParagraphSpans(spans, *rich);
    return ReadingDocument{std::nullopt, std::move(rich->text), std::move(spans)};
}

CaptureResult<ReadingDocument> convertClipboardSnapshot(const ClipboardSnapshot& snapshot,
                                                        const CancellationToken& cancellation) {
    return convertClipboardSnapshot(snapshot, extractClipboardHTML, cancellation);
}

CaptureResult<ReadingDocument> convertClipboardSnapshot(const ClipboardSnapshot& snapshot,
                                                        const ClipboardHTMLConverter& convertHTML,
                                                        const CancellationToken& cancellation) {
    if (auto limits = checkClipboardLimits(snapshot); !limits) return tl::unexpected(limits.error());
    if (snapshot.mode == ClipboardImportMode::plainText) return validateClipboardDocument(textDocument(snapshot.text));
    if (snapshot.html) {
        if (Attempt html = attemptHTML(*snapshot.html, convertHTML)) return std::move(*html);
    }
    if (snapshot.rtf) {
        if (Attempt rtf = attemptRichText(*snapshot.rtf)) return std::move(*rtf);
    }
    return convertText(snapshot, cancellation);
}

}  // namespace tavrine
