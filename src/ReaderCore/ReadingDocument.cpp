#include "ReaderCore/ReadingDocument.h"

#include "ReaderCore/Characters.h"

#include <QSet>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

bool sectionsAreValid(const QList<ReadingDocument::Section>& sections, const QString& text) {
    const qsizetype length = text.size();
    if (sections.isEmpty()) return false;
    if (sections.first().start != 0) return false;
    if (sections.last().end != length) return false;

    QSet<QString> ids;
    ids.reserve(sections.size());
    for (const auto& section : sections) ids.insert(section.id);
    if (ids.size() < sections.size()) return false;

    // Only interior boundaries need the Character analysis; it is made once, on first need.
    std::optional<CharacterBreaks> breaks;
    auto startsComposedSequence = [&](qsizetype offset) {
        if (!breaks) breaks.emplace(text);
        return breaks->isComposedSequenceStart(offset);
    };

    // Sections tile the text in order, so each one starts where the one before ended: only its end needs
    // checking. The first starts at 0 and the last ends at the text's end, which are always legal.
    qsizetype previousEnd = 0;
    for (const auto& section : sections) {
        if (section.id.isEmpty() || section.start != previousEnd || section.start >= section.end) return false;
        if (section.end > length) return false;
        if (section.end != length) {
            if (!isValidUTF16Offset(section.end, text) || !startsComposedSequence(section.end)) return false;
        }
        previousEnd = section.end;
    }
    return true;
}

bool spansAreValid(const QList<ReadingDocument::Span>& spans, QStringView text) {
    for (const auto& span : spans) {
        if (span.start < 0 || span.start >= span.end || span.end > text.size()) return false;
        if (!isValidUTF16Offset(span.start, text) || !isValidUTF16Offset(span.end, text)) return false;
        if (span.level < ReadingDocument::Span::kMinimumLevel || span.level > ReadingDocument::Span::kMaximumLevel)
            return false;
    }
    return true;
}

}  // namespace

bool ReadingDocument::isValid() const {
    if (!sections && spans.isEmpty()) return true;
    if (sections && !sectionsAreValid(*sections, text)) return false;
    return spansAreValid(spans, text);
}

void writeJson(JsonWriter& writer, const ReadingDocument::Section& section) {
    JsonObjectWriter(writer)
        .field(u"end", section.end)
        .field(u"id", section.id)
        .field(u"start", section.start)
        .fieldIfPresent(u"title", section.title);
}

void writeJson(JsonWriter& writer, const ReadingDocument::Span& span) {
    JsonObjectWriter(writer)
        .field(u"end", span.end)
        .field(u"kind", span.kind)
        .field(u"level", span.level)
        .field(u"start", span.start);
}

void writeJson(JsonWriter& writer, const ReadingDocument& document) {
    JsonObjectWriter(writer)
        .fieldIfPresent(u"sections", document.sections)
        .field(u"spans", document.spans)
        .field(u"text", document.text);
}

Decoded<ReadingDocument::Section> decodeJson(const JsonValue& value, const JsonPath& path,
                                             std::type_identity<ReadingDocument::Section>) {
    JsonObjectDecoder decoder(value, path);
    ReadingDocument::Section section;
    section.id = decoder.required<QString>(u"id");
    section.title = decoder.optional<QString>(u"title");
    section.start = decoder.required<qsizetype>(u"start");
    section.end = decoder.required<qsizetype>(u"end");
    return decoder.finish(std::move(section));
}

Decoded<ReadingDocument::Span> decodeJson(const JsonValue& value, const JsonPath& path,
                                          std::type_identity<ReadingDocument::Span>) {
    JsonObjectDecoder decoder(value, path);
    ReadingDocument::Span span;
    span.kind = decoder.required<ReadingDocument::Span::Kind>(u"kind");
    span.start = decoder.required<qsizetype>(u"start");
    span.end = decoder.required<qsizetype>(u"end");
    span.level = decoder.required<qint64>(u"level");
    return decoder.finish(span);
}

Decoded<ReadingDocument> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<ReadingDocument>) {
    JsonObjectDecoder decoder(value, path);
    ReadingDocument document;
    document.sections = decoder.optional<QList<ReadingDocument::Section>>(u"sections");
    document.text = decoder.required<QString>(u"text");
    document.spans = decoder.required<QList<ReadingDocument::Span>>(u"spans");
    return decoder.finish(std::move(document));
}

}  // namespace tavrine
