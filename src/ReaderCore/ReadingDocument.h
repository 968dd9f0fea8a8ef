#pragma once

#include "ReaderCore/Json.h"
#include "ReaderCore/TextRange.h"

#include <QList>
#include <QString>

#include <optional>

namespace tavrine {

// The one document type of the system: a text with its optional chapter partition (sections) and its
// style marks (spans). Every position is a UTF-16 offset into text; every range is half open.
// A value type: building or decoding one checks nothing; readers of documents from outside call isValid().
struct ReadingDocument {
    struct Section {
        QString id;
        std::optional<QString> title;
        qsizetype start = 0;
        qsizetype end = 0;

        // Only for sections with start <= end, which every valid document guarantees.
        TextRange range() const {
            Q_ASSERT(start <= end);
            return {start, end};
        }

        bool operator==(const Section&) const = default;
    };

    struct Span {
        enum class Kind {
            paragraph,
            heading,
            listItem,
            quote,
            codeBlock,
            strong,
            emphasis,
            code,
            table,
            tableCell,
            tableHeader,
        };

        static constexpr qint64 kMinimumLevel = 0;
        static constexpr qint64 kMaximumLevel = 100;

        Kind kind = Kind::paragraph;
        qsizetype start = 0;
        qsizetype end = 0;
        // Rank or nesting depth given by the producer; 0 to 100 in a valid document.
        qint64 level = 0;

        bool operator==(const Span&) const = default;
    };

    // Absent when the text has no chapter structure; present sections tile the whole text.
    std::optional<QList<Section>> sections;
    QString text;
    QList<Span> spans;

    // Sections tile the text from 0 to its length without empty sections, with unique non-empty ids and
    // no boundary inside a composed character sequence; spans lie in the text, never split a surrogate
    // pair and have levels from 0 to 100. A document without sections and spans is always valid.
    bool isValid() const;

    bool operator==(const ReadingDocument&) const = default;
};

// Whether offset is a legal position in text: inside 0...length and not between the two halves of a
// surrogate pair. A position inside a composed character sequence is legal.
inline bool isValidUTF16Offset(qsizetype offset, QStringView text) {
    if (offset < 0 || offset > text.size()) return false;
    if (offset == 0 || offset == text.size()) return true;
    return !(QChar::isHighSurrogate(text[offset - 1].unicode()) && QChar::isLowSurrogate(text[offset].unicode()));
}

template <>
struct EnumTable<ReadingDocument::Span::Kind> {
    using Kind = ReadingDocument::Span::Kind;
    static constexpr auto entries = std::to_array<std::pair<Kind, std::u16string_view>>({
        {Kind::paragraph, u"paragraph"},
        {Kind::heading, u"heading"},
        {Kind::listItem, u"listItem"},
        {Kind::quote, u"quote"},
        {Kind::codeBlock, u"codeBlock"},
        {Kind::strong, u"strong"},
        {Kind::emphasis, u"emphasis"},
        {Kind::code, u"code"},
        {Kind::table, u"table"},
        {Kind::tableCell, u"tableCell"},
        {Kind::tableHeader, u"tableHeader"},
    });
};

void writeJson(JsonWriter& writer, const ReadingDocument::Section& section);
void writeJson(JsonWriter& writer, const ReadingDocument::Span& span);
void writeJson(JsonWriter& writer, const ReadingDocument& document);
Decoded<ReadingDocument::Section> decodeJson(const JsonValue& value, const JsonPath& path,
                                             std::type_identity<ReadingDocument::Section>);
Decoded<ReadingDocument::Span> decodeJson(const JsonValue& value, const JsonPath& path,
                                          std::type_identity<ReadingDocument::Span>);
Decoded<ReadingDocument> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<ReadingDocument>);

}  // namespace tavrine
