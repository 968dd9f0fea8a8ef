#include "ReaderText/BudouXParser.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QFile>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Failure = BudouXParser::ModelFailure;

BudouXParser parserOf(const char* json) {
    auto parser = BudouXParser::fromJson(QByteArray(json));
    EXPECT_TRUE(parser.has_value()) << json;
    return parser.value_or(BudouXParser::fromJson(R"({"_": {}})").value());
}

QStringList phrases(const BudouXParser& parser, const QString& text) {
    QStringList result;
    for (const TextRange range : parser.parse(text)) result.append(text.mid(range.lowerBound, range.length()));
    return result;
}

TEST(BudouXModel, IsCompiledIntoTheBinaryWithItsLicence) {
    QFile model(u":/BudouX/ja.json"_s);
    ASSERT_TRUE(model.open(QIODevice::ReadOnly));
    EXPECT_TRUE(BudouXParser::fromJson(model.readAll()).has_value());
    QFile licence(u":/BudouX/LICENSE"_s);
    ASSERT_TRUE(licence.open(QIODevice::ReadOnly));
    EXPECT_TRUE(licence.readAll().contains("Apache License"));

    EXPECT_EQ(phrases(BudouXParser::shared(), u"今日は天気です。明日はどうでしょうか。"_s),
              (QStringList{u"今日は"_s, u"天気です。"_s, u"明日は"_s, u"どうでしょうか。"_s}));
}

TEST(BudouXModel, RefusesWhatIsNotAModel) {
    EXPECT_EQ(BudouXParser::fromJson("").error(), Failure::malformed);
    EXPECT_EQ(BudouXParser::fromJson("[]").error(), Failure::malformed);
    EXPECT_EQ(BudouXParser::fromJson(R"({"UW1": []})").error(), Failure::malformed);
    EXPECT_EQ(BudouXParser::fromJson(R"({"UW1": {"a": 1.5}})").error(), Failure::malformed);
    EXPECT_EQ(BudouXParser::fromJson(R"({"UW1": {"a": "1"}})").error(), Failure::malformed);
    EXPECT_EQ(BudouXParser::fromJson("{}").error(), Failure::empty);
    EXPECT_EQ(BudouXParser::fromJson(R"({"UW1": {"a": 9223372036854775807}, "UW2": {"b": 1}})").error(),
              Failure::weightSumOutOfRange);
    EXPECT_EQ(BudouXParser::fromJson(R"({"UW1": {"a": -9223372036854775808}, "UW2": {"b": -1}})").error(),
              Failure::weightSumOutOfRange);
    // At the edge of the range the sum still fits.
    EXPECT_TRUE(BudouXParser::fromJson(R"({"UW1": {"a": 9223372036854775807}, "UW2": {"b": 0}})"));
}

TEST(BudouXModel, EveryWeightCountsInTheBaseScoreEvenWhereItCanNeverApply) {
    // Unknown feature names and keys of the wrong length still count.
    const BudouXParser parser = parserOf(R"({"UW4": {"b": 3}, "XX": {"q": 5}, "BW1": {"abc": 2}})");
    EXPECT_EQ(parser.baseScore(), -5.0);
}

TEST(BudouXParse, EachFeatureLooksAtItsOwnScalarsAroundTheBreak) {
    // A weight keyed by exactly the feature's scalars breaks "abcdefg" before "d" and nowhere else.
    const QString text = u"abcdefg"_s;
    const std::tuple<const char*, int, int> features[] = {
        {"UW1", -3, 1}, {"UW2", -2, 1}, {"UW3", -1, 1}, {"UW4", 0, 1},  {"UW5", 1, 1},  {"UW6", 2, 1}, {"BW1", -2, 2},
        {"BW2", -1, 2}, {"BW3", 0, 2},  {"TW1", -3, 3}, {"TW2", -2, 3}, {"TW3", -1, 3}, {"TW4", 0, 3}};
    for (const auto& [name, offset, length] : features) {
        const QByteArray json = QStringLiteral(R"({"%1": {"%2": 10}, "balance": {"-": -10}})")
                                    .arg(QString::fromLatin1(name), text.mid(3 + offset, length))
                                    .toUtf8();
        EXPECT_EQ(phrases(parserOf(json.constData()), text), (QStringList{u"abc"_s, u"defg"_s})) << name;
    }
}

TEST(BudouXParse, BreaksOnlyWhenTheScoreIsAboveZero) {
    // base = -(b + other) / 2, so the score before "b" is (b - other) / 2.
    EXPECT_EQ(phrases(parserOf(R"({"UW4": {"b": 2}, "other": {"z": 2}})"), u"abc"_s), QStringList{u"abc"_s});
    EXPECT_EQ(phrases(parserOf(R"({"UW4": {"b": 3}, "other": {"z": 1}})"), u"abc"_s), (QStringList{u"a"_s, u"bc"_s}));
}

TEST(BudouXParse, WindowsOutsideTheTextAddNothing) {
    // An empty key would match a window clipped at either end of the text if windows were clipped.
    const BudouXParser parser =
        parserOf(R"({"UW1": {"": 10}, "UW6": {"": 10}, "TW1": {"ab": 10}, "TW4": {"cd": 10}, "pad": {"-": -40}})");
    EXPECT_EQ(phrases(parser, u"abcd"_s), QStringList{u"abcd"_s});
}

TEST(BudouXParse, CountsScalarsButNeverBreaksInsideACharacter) {
    // A scalar outside the BMP is one position, not two UTF-16 units: UW2 of "𠀋" falls before "b".
    EXPECT_EQ(phrases(parserOf(R"({"UW2": {"𠀋": 10}, "pad": {"-": -10}})"), u"𠀋ab"_s),
              (QStringList{u"𠀋a"_s, u"b"_s}));
    // A break before a combining mark would split "é": it is skipped however high its score...
    EXPECT_EQ(phrases(parserOf(R"({"UW4": {"\u0301": 10}, "pad": {"-": -10}})"), u"ae\u0301b"_s),
              QStringList{u"ae\u0301b"_s});
    // ...yet the mark is a scalar of its own in the windows of the next break.
    EXPECT_EQ(phrases(parserOf(R"({"UW3": {"\u0301": 10}, "pad": {"-": -10}})"), u"ae\u0301b"_s),
              (QStringList{u"ae\u0301"_s, u"b"_s}));
    EXPECT_EQ(phrases(parserOf(R"({"UW2": {"e": 10}, "pad": {"-": -10}})"), u"ae\u0301b"_s),
              (QStringList{u"ae\u0301"_s, u"b"_s}));
}

TEST(BudouXParse, EmptyAndSingleScalarTexts) {
    EXPECT_TRUE(BudouXParser::shared().parse(QString()).isEmpty());
    EXPECT_EQ(BudouXParser::shared().parse(u"。"_s), (QList<TextRange>{{0, 1}}));
    EXPECT_EQ(BudouXParser::shared().parse(u"𠀋"_s), (QList<TextRange>{{0, 2}}));
}

}  // namespace
}  // namespace tavrine
