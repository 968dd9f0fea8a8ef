#include "ReaderCore/ReadingDocument.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QJsonDocument>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Section = ReadingDocument::Section;
using Span = ReadingDocument::Span;

Section section(const QString& id, qsizetype start, qsizetype end) {
    return Section{id, std::nullopt, start, end};
}
Span span(qsizetype start, qsizetype end, qint64 level = 0) {
    return Span{Span::Kind::paragraph, start, end, level};
}

ReadingDocument withSections(const QString& text, QList<Section> sections) {
    return ReadingDocument{std::move(sections), text, {}};
}
ReadingDocument withSpans(const QString& text, QList<Span> spans) {
    return ReadingDocument{std::nullopt, text, std::move(spans)};
}

TEST(ReadingDocumentValidation, AcceptsSectionsThatTileTheText) {
    EXPECT_TRUE((ReadingDocument{std::nullopt, QString(), {}}).isValid());
    EXPECT_TRUE(withSections(u"abcdef"_s, {section(u"a"_s, 0, 6)}).isValid());
    EXPECT_TRUE(withSections(u"abcdef"_s, {section(u"a"_s, 0, 2), section(u"b"_s, 2, 6)}).isValid());
}

TEST(ReadingDocumentValidation, RefusesSectionsThatDoNotTileTheText) {
    const QString text = u"abcdef"_s;
    EXPECT_FALSE(withSections(text, {}).isValid());                                              // present but empty
    EXPECT_FALSE(withSections(QString(), {section(u"a"_s, 0, 0)}).isValid());                    // over an empty text
    EXPECT_FALSE(withSections(text, {section(u"a"_s, 1, 6)}).isValid());                         // not from 0
    EXPECT_FALSE(withSections(text, {section(u"a"_s, 0, 5)}).isValid());                         // one short of the end
    EXPECT_FALSE(withSections(text, {section(u"a"_s, 0, 7)}).isValid());                         // past the end
    EXPECT_FALSE(withSections(text, {section(u"a"_s, 0, 2), section(u"b"_s, 3, 6)}).isValid());  // gap
    EXPECT_FALSE(withSections(text, {section(u"a"_s, 0, 3), section(u"b"_s, 2, 6)}).isValid());  // overlap
    EXPECT_FALSE(withSections(text, {section(u"a"_s, 0, 2), section(u"b"_s, 2, 2), section(u"c"_s, 2, 6)})
                     .isValid());                                                                // an empty section
    EXPECT_FALSE(withSections(text, {section(u"a"_s, 0, 2), section(u"a"_s, 2, 6)}).isValid());  // same id
    EXPECT_FALSE(withSections(text, {section(QString(), 0, 6)}).isValid());                      // empty id
}

TEST(ReadingDocumentValidation, SectionBoundariesMustNotCutACharacter) {
    const QString emoji = u"ab\U0001F600cd"_s;  // the emoji takes units 2 and 3
    EXPECT_FALSE(withSections(emoji, {section(u"a"_s, 0, 3), section(u"b"_s, 3, 6)}).isValid());
    EXPECT_TRUE(withSections(emoji, {section(u"a"_s, 0, 4), section(u"b"_s, 4, 6)}).isValid());

    const QString accent = u"cafe\u0301s"_s;  // "e" at 3, the combining accent at 4
    EXPECT_FALSE(withSections(accent, {section(u"a"_s, 0, 4), section(u"b"_s, 4, 6)}).isValid());
    EXPECT_TRUE(withSections(accent, {section(u"a"_s, 0, 5), section(u"b"_s, 5, 6)}).isValid());
    // A mark right after a line break still belongs to the sequence before it.
    EXPECT_FALSE(withSections(u"a\n\u0301b"_s, {section(u"a"_s, 0, 2), section(u"b"_s, 2, 4)}).isValid());
}

TEST(ReadingDocumentValidation, SpansStayInTheTextAndOnlyAvoidSplittingSurrogates) {
    const QString text = u"cafe\u0301 \U0001F600!"_s;  // length 9; the emoji takes units 6 and 7
    EXPECT_TRUE(withSpans(text, {span(0, 9)}).isValid());
    EXPECT_TRUE(withSpans(text, {span(0, 4)}).isValid());   // between "e" and its accent: allowed for spans
    EXPECT_FALSE(withSpans(text, {span(0, 7)}).isValid());  // inside the surrogate pair
    EXPECT_FALSE(withSpans(text, {span(7, 9)}).isValid());
    EXPECT_FALSE(withSpans(text, {span(3, 3)}).isValid());  // empty
    EXPECT_FALSE(withSpans(text, {span(-1, 3)}).isValid());
    EXPECT_FALSE(withSpans(text, {span(2, 10)}).isValid());
    EXPECT_FALSE(withSpans(QString(), {span(0, 1)}).isValid());

    EXPECT_TRUE(withSpans(text, {span(0, 1, 0)}).isValid());
    EXPECT_TRUE(withSpans(text, {span(0, 1, 100)}).isValid());
    EXPECT_FALSE(withSpans(text, {span(0, 1, 101)}).isValid());
    EXPECT_FALSE(withSpans(text, {span(0, 1, -1)}).isValid());
    // The first bad span of many decides.
    EXPECT_FALSE(withSpans(text, {span(0, 1), span(0, 9), span(4, 2)}).isValid());
}

TEST(ReadingDocumentValidation, OffsetsAreValidExceptInsideASurrogatePair) {
    const QString text = u"a\U0001F600e\u0301"_s;  // length 5
    for (qsizetype offset : {0, 1, 3, 4, 5}) EXPECT_TRUE(isValidUTF16Offset(offset, text)) << offset;
    EXPECT_FALSE(isValidUTF16Offset(2, text));
    EXPECT_FALSE(isValidUTF16Offset(-1, text));
    EXPECT_FALSE(isValidUTF16Offset(6, text));
    EXPECT_TRUE(isValidUTF16Offset(0, u""));
    EXPECT_FALSE(isValidUTF16Offset(1, u""));
}

Decoded<ReadingDocument> decode(const QByteArray& text) {
    return decodeJsonText<ReadingDocument>(text);
}

TEST(ReadingDocumentJson, WritesOptionalFieldsOnlyWhenPresent) {
    const ReadingDocument plain{std::nullopt, u"hi"_s, {}};
    EXPECT_EQ(toJson(plain).toObject(), (QJsonObject{{u"text"_s, u"hi"_s}, {u"spans"_s, QJsonArray()}}));

    const ReadingDocument full{
        QList<Section>{Section{u"s1"_s, u"第一章"_s, 0, 2}}, u"hi"_s, {Span{Span::Kind::tableHeader, 0, 2, 3}}};
    const QJsonObject object = toJson(full).toObject();
    EXPECT_EQ(object.value(u"sections"_s).toArray().at(0).toObject().value(u"title"_s).toString(), u"第一章"_s);
    EXPECT_EQ(object.value(u"spans"_s).toArray().at(0).toObject().value(u"kind"_s).toString(), u"tableHeader"_s);
    EXPECT_EQ(decode(encodeJson(object)), full);

    const ReadingDocument untitled{QList<Section>{section(u"s"_s, 0, 2)}, u"hi"_s, {}};
    EXPECT_FALSE(toJson(untitled).toObject().value(u"sections"_s).toArray().at(0).toObject().contains(u"title"_s));
    EXPECT_EQ(decode(encodeJson(toJson(untitled))), untitled);
}

TEST(ReadingDocumentJson, SectionsAbsentNullAndEmptyAreDistinct) {
    const auto absent = decode(R"({"text":"x","spans":[]})");
    const auto null = decode(R"({"text":"x","spans":[],"sections":null})");
    const auto empty = decode(R"({"text":"x","spans":[],"sections":[]})");
    ASSERT_TRUE(absent && null && empty);
    EXPECT_EQ(absent->sections, std::nullopt);
    EXPECT_EQ(null->sections, std::nullopt);
    ASSERT_TRUE(empty->sections.has_value());
    EXPECT_TRUE(empty->sections->isEmpty());
    EXPECT_NE(*absent, *empty);
    EXPECT_FALSE(empty->isValid());  // decoding accepts what validation refuses
}

TEST(ReadingDocumentJson, RefusesWhatItCannotRead) {
    EXPECT_EQ(decode(R"({"text":"x"})").error().kind, DecodingError::Kind::keyNotFound);
    EXPECT_EQ(decode(R"({"spans":[]})").error().kind, DecodingError::Kind::keyNotFound);
    EXPECT_EQ(decode(R"({"text":"x","spans":null})").error().kind, DecodingError::Kind::valueNotFound);
    const auto badKind = decode(R"({"text":"x","spans":[{"kind":"Heading","start":0,"end":1,"level":1}]})");
    ASSERT_FALSE(badKind);
    EXPECT_EQ(badKind.error().kind, DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(badKind.error().codingPath, u"spans.Index 0.kind"_s);
    EXPECT_FALSE(decode(R"({"text":"x","spans":[{"kind":"heading","start":0.5,"end":1,"level":1}]})"));
    EXPECT_FALSE(decode(R"({"text":"x","spans":[],"sections":[{"id":"a","start":0}]})"));
    // Unknown keys are ignored.
    EXPECT_TRUE(decode(R"({"text":"x","spans":[],"future":{"a":1}})"));
}

TEST(ReadingDocumentJson, EveryKindRoundTripsByItsRawString) {
    for (const auto& [kind, raw] : EnumTable<Span::Kind>::entries) {
        EXPECT_EQ(enumFromRawValue<Span::Kind>(rawValue(kind)), kind);
        EXPECT_EQ(rawValue(kind), QStringView(raw.data(), raw.size()));
    }
    EXPECT_EQ(enumFromRawValue<Span::Kind>(u"Paragraph"), std::nullopt);
    EXPECT_EQ(enumFromRawValue<Span::Kind>(u""), std::nullopt);
}

}  // namespace
}  // namespace tavrine
