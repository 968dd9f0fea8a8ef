#include "ReaderCore/ReadingDocument.h"

#include "support/JsonTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Section = ReadingDocument::Section;
using Span = ReadingDocument::Span;
using Kind = DecodingError::Kind;

// Whether sections named "a", "b", … over [0, cuts[0]), [cuts[0], cuts[1]), … are valid for text.
bool tiles(const QString& text, const QList<qsizetype>& cuts) {
    QList<Section> sections;
    for (const qsizetype end : cuts) {
        const QString id(QChar(static_cast<char16_t>(u'a' + sections.size())));
        sections.append(Section{id, std::nullopt, sections.isEmpty() ? 0 : sections.last().end, end});
    }
    return ReadingDocument{sections, text, {}}.isValid();
}

TEST(ReadingDocumentValidation, SectionsTileTheTextWithoutCuttingAComposedSequence) {
    const QString text = u"abcdef"_s;
    EXPECT_TRUE((ReadingDocument{std::nullopt, QString(), {}}).isValid());
    EXPECT_TRUE(tiles(text, {6}));
    EXPECT_TRUE(tiles(text, {2, 6}));
    EXPECT_FALSE(tiles(text, {}));              // present but empty
    EXPECT_FALSE(tiles(QString(), {0}));        // over an empty text
    EXPECT_FALSE(tiles(text, {5}));             // one short of the end
    EXPECT_FALSE(tiles(text, {7}));             // past the end
    EXPECT_FALSE(tiles(text, {2, 2, 6}));       // an empty section
    const QString emoji = u"ab\U0001F600cd"_s;  // the emoji takes units 2 and 3
    EXPECT_FALSE(tiles(emoji, {3, 6}));
    EXPECT_TRUE(tiles(emoji, {4, 6}));
    const QString accent = u"cafe\u0301s"_s;  // "e" at 3, the combining accent at 4
    EXPECT_FALSE(tiles(accent, {4, 6}));
    EXPECT_TRUE(tiles(accent, {5, 6}));
    // A mark right after a line break still belongs to the sequence before it.
    EXPECT_FALSE(tiles(u"a\n\u0301b"_s, {2, 4}));

    const auto sections = [&](QList<Section> list) { return ReadingDocument{std::move(list), text, {}}.isValid(); };
    EXPECT_FALSE(sections({{u"a"_s, {}, 1, 6}}));                      // not from 0
    EXPECT_FALSE(sections({{u"a"_s, {}, 0, 2}, {u"b"_s, {}, 3, 6}}));  // gap
    EXPECT_FALSE(sections({{u"a"_s, {}, 0, 3}, {u"b"_s, {}, 2, 6}}));  // overlap
    EXPECT_FALSE(sections({{u"a"_s, {}, 0, 2}, {u"a"_s, {}, 2, 6}}));  // same id
    EXPECT_FALSE(sections({{QString(), {}, 0, 6}}));                   // empty id
}

TEST(ReadingDocumentValidation, SpansStayInTheTextAvoidSplittingSurrogatesAndKeepTheirLevels) {
    const QString text = u"cafe\u0301 \U0001F600!"_s;  // length 9; the emoji takes units 6 and 7
    const auto spans = [&](QList<Span> list) { return ReadingDocument{std::nullopt, text, std::move(list)}.isValid(); };
    const auto span = [](qsizetype start, qsizetype end, qint64 level = 0) {
        return Span{Span::Kind::paragraph, start, end, level};
    };
    EXPECT_TRUE(spans({span(0, 9), span(0, 1, 0), span(0, 1, 100)}));
    EXPECT_TRUE(spans({span(0, 4)}));  // between "e" and its accent: allowed for spans
    for (const Span& bad :
         {span(0, 7), span(7, 9), span(3, 3), span(-1, 3), span(2, 10), span(0, 1, 101), span(0, 1, -1)}) {
        EXPECT_FALSE(spans({bad})) << bad.start << ".." << bad.end << " level " << bad.level;
    }
    EXPECT_FALSE(spans({span(0, 1), span(0, 9), span(4, 2)}));  // a bad span after good ones
    EXPECT_FALSE((ReadingDocument{std::nullopt, QString(), {span(0, 1)}}).isValid());
}

TEST(ReadingDocumentValidation, OffsetsAreValidExceptInsideASurrogatePair) {
    const QString text = u"a\U0001F600e\u0301"_s;  // length 5
    for (qsizetype offset = -1; offset <= 6; ++offset)
        EXPECT_EQ(isValidUTF16Offset(offset, text), offset >= 0 && offset <= 5 && offset != 2) << offset;
    EXPECT_TRUE(isValidUTF16Offset(0, u""));
    EXPECT_FALSE(isValidUTF16Offset(1, u""));
}

Decoded<ReadingDocument> decode(const QByteArray& text) {
    return decodeJsonText<ReadingDocument>(text);
}

TEST(ReadingDocumentJson, WritesOptionalFieldsOnlyWhenPresent) {
    const ReadingDocument plain{std::nullopt, u"hi"_s, {}};
    EXPECT_EQ(test::writtenObject(plain), (QJsonObject{{u"text"_s, u"hi"_s}, {u"spans"_s, QJsonArray()}}));

    const ReadingDocument full{
        QList<Section>{Section{u"s1"_s, u"第一章"_s, 0, 2}}, u"hi"_s, {Span{Span::Kind::tableHeader, 0, 2, 3}}};
    const QJsonObject object = test::writtenObject(full);
    EXPECT_EQ(object.value(u"sections"_s).toArray().at(0).toObject().value(u"title"_s).toString(), u"第一章"_s);
    EXPECT_EQ(object.value(u"spans"_s).toArray().at(0).toObject().value(u"kind"_s).toString(), u"tableHeader"_s);
    EXPECT_EQ(decode(encodeJson(full)), full);

    const ReadingDocument untitled{QList<Section>{Section{u"s"_s, std::nullopt, 0, 2}}, u"hi"_s, {}};
    EXPECT_FALSE(test::writtenObject(untitled).value(u"sections"_s).toArray().at(0).toObject().contains(u"title"_s));
    EXPECT_EQ(decode(encodeJson(untitled)), untitled);
}

TEST(ReadingDocumentJson, SectionsAbsentNullAndEmptyAreDistinct) {
    const auto absent = decode(R"({"text":"x","spans":[]})");
    const auto null = decode(R"({"text":"x","spans":[],"sections":null})");
    const auto empty = decode(R"({"text":"x","spans":[],"sections":[]})");
    ASSERT_TRUE(absent && null && empty);
    EXPECT_EQ(absent->sections, std::nullopt);
    EXPECT_EQ(null->sections, std::nullopt);
    EXPECT_EQ(empty->sections, QList<Section>());
    EXPECT_FALSE(empty->isValid());  // decoding accepts what validation refuses
}

TEST(ReadingDocumentJson, RefusesWhatItCannotRead) {
    EXPECT_EQ(decode(R"({"text":"x"})").error().kind, Kind::keyNotFound);
    EXPECT_EQ(decode(R"({"spans":[]})").error().kind, Kind::keyNotFound);
    EXPECT_EQ(decode(R"({"text":"x","spans":null})").error().kind, Kind::valueNotFound);
    const auto badKind = decode(R"({"text":"x","spans":[{"kind":"Heading","start":0,"end":1,"level":1}]})");
    ASSERT_FALSE(badKind);
    EXPECT_EQ(badKind.error().kind, Kind::dataCorrupted);
    EXPECT_EQ(badKind.error().codingPath, u"spans.Index 0.kind"_s);
    EXPECT_FALSE(decode(R"({"text":"x","spans":[{"kind":"heading","start":0.5,"end":1,"level":1}]})"));
    EXPECT_FALSE(decode(R"({"text":"x","spans":[],"sections":[{"id":"a","start":0}]})"));
    EXPECT_TRUE(decode(R"({"text":"x","spans":[],"future":{"a":1}})"));  // unknown keys are ignored
}

}  // namespace
}  // namespace tavrine
