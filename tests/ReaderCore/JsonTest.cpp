#include "ReaderCore/Json.h"
#include "ReaderCore/Uuid.h"

#include "support/JsonTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QRegularExpression>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Kind = DecodingError::Kind;

JsonDocument parse(const char* text) {
    auto document = parseJson(QByteArray(text));
    EXPECT_TRUE(document.has_value()) << text;
    if (!document) return *parseJson("{}");
    return std::move(*document);
}

template <typename T>
Decoded<T> decodeField(const char* objectText) {
    const JsonDocument document = parse(objectText);
    JsonObjectDecoder decoder(document.root(), JsonPath());
    T value = decoder.required<T>(u"v");
    return decoder.finish(value);
}

TEST(JsonPrimitives, AreStrictAboutTypes) {
    EXPECT_EQ(decodeField<qint64>(R"({"v": -9223372036854775808})"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(decodeField<qint64>(R"({"v": 9223372036854775807})"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(decodeField<qint64>(R"({"v": 1.5})").error().kind, Kind::dataCorrupted);
    EXPECT_EQ(decodeField<qint64>(R"({"v": 1e300})").error().kind, Kind::dataCorrupted);
    EXPECT_EQ(decodeField<qint64>(R"({"v": "1"})").error().kind, Kind::typeMismatch);
    EXPECT_EQ(decodeField<qint64>(R"({"v": true})").error().kind, Kind::typeMismatch);
    EXPECT_EQ(decodeField<int>(R"({"v": 4294967296})").error().kind, Kind::dataCorrupted);

    EXPECT_EQ(decodeField<bool>(R"({"v": 0})").error().kind, Kind::typeMismatch);
    EXPECT_EQ(decodeField<QString>(R"({"v": 3})").error().kind, Kind::typeMismatch);
    EXPECT_EQ(decodeField<double>(R"({"v": 3})"), 3.0);
}

TEST(JsonPrimitives, IntegersBeyondSixtyFourBitsAreNumbersThatDoNotFit) {
    // An integral double reads as an integer; an integer too large for 64 bits is still a number.
    EXPECT_EQ(decodeField<qint64>(R"({"v": 1e2})"), 100);
    EXPECT_EQ(decodeField<qint64>(R"({"v": -0})"), 0);
    EXPECT_EQ(decodeField<double>(R"({"v": 99999999999999999999})"), 1e20);
    EXPECT_EQ(decodeField<double>(R"({"v": 18446744073709551615})"), 18446744073709551615.0);
    const auto tooLarge = decodeField<qint64>(R"({"v": 9223372036854775808})");
    ASSERT_FALSE(tooLarge);
    EXPECT_EQ(tooLarge.error().kind, Kind::dataCorrupted);
    EXPECT_EQ(tooLarge.error().debugDescription, u"Parsed JSON number <9.2233720368547758e+18> does not fit in Int."_s);
    // Read as a double, one below -2^63 rounds to -2^63, which fits.
    EXPECT_EQ(decodeField<qint64>(R"({"v": -9223372036854775809})"), std::numeric_limits<qint64>::min());
}

TEST(JsonObjectDecoder, TellsMissingFromNullAndIgnoresUnknownKeys) {
    const JsonDocument other = parse(R"({"other": 1})");
    JsonObjectDecoder missing(other.root(), JsonPath().key(u"outer"));
    (void)missing.required<QString>(u"v");
    auto failure = missing.finish(0);
    ASSERT_FALSE(failure);
    EXPECT_EQ(failure.error().kind, Kind::keyNotFound);
    EXPECT_EQ(failure.error().codingPath, u"outer"_s);

    EXPECT_EQ(decodeField<QString>(R"({"v": null})").error().kind, Kind::valueNotFound);

    const JsonDocument lenient = parse(R"({"a": null, "unknown": [1, 2]})");
    JsonObjectDecoder optional(lenient.root(), JsonPath());
    EXPECT_EQ(optional.optional<QString>(u"a"), std::nullopt);
    EXPECT_EQ(optional.optional<QString>(u"b"), std::nullopt);
    EXPECT_TRUE(optional.finish(0).has_value());

    // An optional that is present must still have the right type.
    const JsonDocument five = parse(R"({"a": 5})");
    JsonObjectDecoder wrongType(five.root(), JsonPath());
    (void)wrongType.optional<QString>(u"a");
    EXPECT_EQ(wrongType.finish(0).error().kind, Kind::typeMismatch);

    const JsonDocument array = parse(R"([1])");
    JsonObjectDecoder notAnObject(array.root(), JsonPath());
    EXPECT_EQ(notAnObject.finish(0).error().kind, Kind::typeMismatch);
}

TEST(JsonObjectDecoder, TheLastOfTwoEqualKeysCountsAndEscapedKeysMatch) {
    EXPECT_EQ(decodeField<qint64>(R"({"v": 1, "v": 2})"), 2);
    EXPECT_EQ(decodeField<qint64>(R"({"v": 1, "\u0076": 3})"), 3);
    EXPECT_EQ(decodeField<QString>(R"({"v": "x", "v": null})").error().kind, Kind::valueNotFound);
    const JsonDocument japanese = parse(R"({"名前": "猫", "\u540d\u524d": "吾輩"})");
    JsonObjectDecoder decoder(japanese.root(), JsonPath());
    EXPECT_EQ(decoder.required<QString>(u"名前"), u"吾輩"_s);
}

TEST(JsonDates, AreSecondsSinceTwoThousandOneAndKeepSubMillisecondPrecision) {
    EXPECT_EQ(Date::fromUnixSeconds(978307200.0).secondsSinceReferenceDate, 0.0);

    const Date date{786'543'210.123456789};
    const auto decoded = decodeJsonText<QList<Date>>(encodeJson(QList<Date>{date}));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->first(), date);
    EXPECT_EQ(decodeField<Date>(R"({"v": -12.5})"), Date{-12.5});
    EXPECT_EQ(decodeField<Date>(R"({"v": "2024-01-01"})").error().kind, Kind::typeMismatch);
}

// Doubles at the edges, written and read back, by our reader and by Qt's: the same bits.
TEST(JsonNumbers, EveryFiniteDoubleReadsBackBitForBit) {
    QList<double> values{0.0,
                         -0.0,
                         0.1,
                         -0.1,
                         1e-300,
                         std::numeric_limits<double>::denorm_min(),
                         std::numeric_limits<double>::min(),
                         std::numeric_limits<double>::max(),
                         -std::numeric_limits<double>::max(),
                         1e21,
                         9007199254740993.0,
                         9223372036854775808.0,
                         -9223372036854775808.0,
                         36893488147419103232.0,
                         -62'135'596'800.0 - 978'307'200.0,  // the year 1, in seconds since 2001
                         253'402'300'799.0,                  // the end of the year 9999
                         786'543'210.123456789,
                         0.0001};
    std::mt19937_64 random(5);
    while (values.size() < 5'000) {
        const double value = std::bit_cast<double>(random());
        if (std::isfinite(value)) values.append(value);
    }
    const QByteArray text = encodeJson(values);
    const auto decoded = decodeJsonText<QList<double>>(text);
    ASSERT_TRUE(decoded);
    const QJsonArray byQt = QJsonDocument::fromJson(text).array();
    ASSERT_EQ(byQt.size(), values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(decoded->at(i)), std::bit_cast<std::uint64_t>(values[i])) << values[i];
        EXPECT_EQ(byQt.at(i).toDouble(), values[i]) << values[i];
    }
    // No JSON number stands for these; Qt writes null for them too.
    EXPECT_EQ(encodeJson(QList<double>{std::nan(""), std::numeric_limits<double>::infinity()}), "[null,null]");
    EXPECT_EQ(encodeJson(QList<qint64>{std::numeric_limits<qint64>::min(), 0, 7}), "[-9223372036854775808,0,7]");
}

TEST(JsonStrings, AreWrittenAsQtWritesThemAndReadBackUnchanged) {
    // Every kind of unit the writer treats apart: controls, the quote and the backslash, the solidus,
    // two- and three-byte characters, pairs, lone surrogates of both halves, a byte-order mark first.
    const QList<QChar> alphabet{u'\0',     u'\x01',       u'\b',         u'\t',        u'\n',     u'\x1F',
                                u' ',      u'"',          u'\\',         u'/',         u'a',      u'\x7F',
                                u'é',      u'\u07FF',     u'\u0800',     u'猫',        u'\u2028', u'\uFEFF',
                                u'\uFFFF', QChar(0xD83D), QChar(0xDE00), QChar(0xDBFF)};
    std::mt19937 random(3);
    QStringList texts{QString(), u"\uFEFF先頭"_s, QString(QChar(0xDC00)) + QChar(0xD800)};
    for (int i = 0; i < 300; ++i) {
        QString text;
        const int length = static_cast<int>(random() % 40);
        for (int k = 0; k < length; ++k) text += alphabet[static_cast<qsizetype>(random() % alphabet.size())];
        texts.append(text);
    }
    for (const QString& text : texts) {
        EXPECT_EQ(encodeJson(QStringList{text}), test::jsonText(QJsonArray{text})) << text.toStdString();
        EXPECT_EQ(decodeJsonText<QStringList>(encodeJson(QStringList{text})), QStringList{text}) << text.toStdString();
    }
    // What other writers put: escapes of any case, escaped pairs and solidus, and raw UTF-8.
    EXPECT_EQ(decodeField<QString>(R"({"v": "\u00E9\u00e9\/\ud83d\ude00\ud800x\"\\\b\f\n\r\t"})"),
              u"éé/\U0001F600"_s + QChar(0xD800) + u"x\"\\\b\f\n\r\t"_s);
    EXPECT_EQ(decodeField<QString>("{\"v\": \"\xEF\xBB\xBF\xF0\x9F\x98\x80\"}"), u"\uFEFF\U0001F600"_s);
}

// Written through a sink in pieces, whatever their size, the text is the one written into memory; a sink
// that refuses a piece is given nothing more.
TEST(JsonWriter, HandsTheSameTextToASinkPieceByPiece) {
    QStringList values{u"short"_s, QString(5'000, u'猫'), QString(300, u'"')};
    for (int i = 0; i < 200; ++i) values.append(QString::number(i));
    const QByteArray whole = encodeJson(values);
    for (const qsizetype buffer : {qsizetype{1}, qsizetype{7}, qsizetype{64}, qsizetype{1} << 20}) {
        QByteArray joined;
        qsizetype pieces = 0;
        JsonWriter writer(
            [&](QByteArrayView piece) {
                joined += piece;
                ++pieces;
                return true;
            },
            buffer);
        writeJson(writer, values);
        EXPECT_TRUE(writer.finish());
        EXPECT_EQ(joined, whole) << buffer;
        EXPECT_EQ(pieces > 1, buffer < whole.size()) << buffer;
    }

    qsizetype offered = 0;
    JsonWriter refusing(
        [&](QByteArrayView) {
            ++offered;
            return false;
        },
        64);
    writeJson(refusing, values);
    EXPECT_FALSE(refusing.finish());
    EXPECT_EQ(offered, 1);
}

TEST(JsonUuids, AreWrittenUpperCaseAndReadStrictlyInEitherCase) {
    const QString canonical = u"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"_s;
    const QUuid id = *parseUuid(canonical);
    EXPECT_EQ(encodeJson(QList<QUuid>{id}), "[\"" + canonical.toLatin1() + "\"]");
    EXPECT_EQ(parseUuid(canonical.toLower()), id);
    EXPECT_EQ(parseUuid(u"00000000-0000-0000-0000-000000000000"), QUuid());

    for (const QString& bad : {u"{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"_s, u"E621E1F8C36C495A93FC0C247A3E6E5F"_s,
                               u"E621E1F8-C36C-495A-93FC-0C247A3E6E5"_s, u"E621E1F8-C36C-495A-93FC-0C247A3E6E5FF"_s,
                               u"G621E1F8-C36C-495A-93FC-0C247A3E6E5F"_s, u"E621E1F8-C36C-495A-93FC_0C247A3E6E5F"_s,
                               u" E621E1F8-C36C-495A-93FC-0C247A3E6E5"_s, QString()}) {
        EXPECT_EQ(parseUuid(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(decodeField<QUuid>(R"({"v": "not-a-uuid"})").error().kind, Kind::dataCorrupted);
}

TEST(JsonData, IsPaddedStandardBase64) {
    EXPECT_EQ(encodeJson(QList<QByteArray>{QByteArray("hi!?")}), R"(["aGkhPw=="])");
    EXPECT_EQ(decodeField<QByteArray>(R"({"v": "aGkhPw=="})"), QByteArray("hi!?"));
    EXPECT_EQ(decodeField<QByteArray>(R"({"v": "aGkh\u0050w=="})"), QByteArray("hi!?"));  // escapes resolve first
    EXPECT_EQ(decodeField<QByteArray>(R"({"v": ""})"), QByteArray());
    EXPECT_FALSE(decodeField<QByteArray>(R"({"v": "aGkhPw"})"));      // padding missing
    EXPECT_FALSE(decodeField<QByteArray>(R"({"v": "aGkh\nPw=="})"));  // line break inside
    EXPECT_FALSE(decodeField<QByteArray>(R"({"v": "aGk_Pw=="})"));    // URL alphabet

    // Only the last group may be short; the bits after the last byte are not looked at (as Qt does).
    const std::pair<const char*, std::optional<QByteArray>> cases[] = {
        {"QQ==", QByteArray("A")},   {"QR==", QByteArray("A")}, {"QUI=", QByteArray("AB")},
        {"QUJD", QByteArray("ABC")}, {"Q===", std::nullopt},    {"====", std::nullopt},
        {"QQ==QQ==", std::nullopt},  {"QQ=A", std::nullopt},    {"QU=D", std::nullopt},
        {"QUJD====", std::nullopt},  {"QUJDQQ", std::nullopt},  {"QUJ\xC3\xA9", std::nullopt},
    };
    for (const auto& [text, bytes] : cases) EXPECT_EQ(decodeBase64Strictly(QByteArray(text)), bytes) << text;

    std::mt19937 random(9);
    for (int length = 0; length < 70; ++length) {
        QByteArray bytes(length, Qt::Uninitialized);
        for (char& byte : bytes) byte = static_cast<char>(random());
        EXPECT_EQ(base64Text(bytes), bytes.toBase64());
        EXPECT_EQ(decodeBase64Strictly(base64Text(bytes)), bytes);
    }
}

TEST(JsonDictionaries, DecodeEveryValueAndNameTheFailingKey) {
    using Weights = QHash<QString, QHash<QString, qint64>>;
    EXPECT_EQ(decodeJsonText<Weights>(R"({"a": {"x": 1, "y": -2}, "b": {}})"),
              (Weights{{u"a"_s, {{u"x"_s, 1}, {u"y"_s, -2}}}, {u"b"_s, {}}}));
    const auto fractional = decodeJsonText<Weights>(R"({"a": {"x": 1.5}})");
    ASSERT_FALSE(fractional);
    EXPECT_EQ(fractional.error().kind, Kind::dataCorrupted);
    EXPECT_EQ(fractional.error().codingPath, u"a.x"_s);
    EXPECT_EQ(decodeJsonText<Weights>(R"({"a": [1]})").error().kind, Kind::typeMismatch);
}

TEST(JsonText, MalformedTextOfEveryKindIsDataCorrupted) {
    const QByteArray tooDeep = QByteArray(1025, '[') + QByteArray(1025, ']');
    const QByteArray malformed[] = {
        "",
        "   ",
        "{\"a\": ",
        "{\"a\": 1",
        "{\"a\": 1}}",
        "{\"a\": 1} x",
        "{}{}",
        "{\"a\": 1,}",
        "[1,]",
        "[1 2]",
        "{\"a\" 1}",
        "{\"a\"}",
        "{a: 1}",
        "{'a': 1}",
        "{\"a\": tru}",
        "{\"a\": nul}",
        "{\"a\": nullx}",
        "{\"a\": True}",
        "{\"a\": 01}",
        "{\"a\": -}",
        "{\"a\": 1.}",
        "{\"a\": .5}",
        "{\"a\": +1}",
        "{\"a\": 1e}",
        "{\"a\": 1e400}",
        "{\"a\": NaN}",
        "{\"a\": Infinity}",
        "{\"a\": 0x10}",
        "{\"a\": \"unterminated}",
        "{\"a\": \"\\q\"}",
        "{\"a\": \"\\u12\"}",
        "{\"a\": \"\\u12G4\"}",
        "{\"a\": \"\\\"}",
        "{\"a\": \"tab\there\"}",
        QByteArray("{\"a\": \"nul\0here\"}", 17),
        "{\"a\": \"\xC3\x28\"}",          // a lead byte without its continuation
        "{\"a\": \"\xC0\xAF\"}",          // an overlong form
        "{\"a\": \"\xED\xA0\x80\"}",      // an encoded surrogate
        "{\"a\": \"\xF4\x90\x80\x80\"}",  // past U+10FFFF
        "{\"a\": \"\xE7\x8C\"}",          // cut off
        "{\"\xFF\": 1}",                  // in a key
        "\xEF\xBB{}",                     // half a byte-order mark
        "\"just a string\"",              // the top level is an object or an array
        "42",
        "null",
        tooDeep,
        "{\"a\": [" + tooDeep + "]}",
    };
    for (const QByteArray& text : malformed) {
        const auto parsed = parseJson(text);
        ASSERT_FALSE(parsed) << text.toStdString();
        EXPECT_EQ(parsed.error().kind, Kind::dataCorrupted) << text.toStdString();
        EXPECT_TRUE(parsed.error().codingPath.isEmpty());
        EXPECT_TRUE(parsed.error().debugDescription.startsWith(u"The given data was not valid JSON."_s));
    }

    // White space anywhere, a leading byte-order mark, and nesting up to the limit are fine.
    EXPECT_TRUE(parseJson(" \r\n\t{ \"a\" : [ 1 , { } ] }\n "));
    EXPECT_TRUE(parseJson("\xEF\xBB\xBF{}"));
    EXPECT_TRUE(parseJson(QByteArray(1024, '[') + QByteArray(1024, ']')));
    EXPECT_TRUE(parseJson("[]"));
}

// Our document's values as Qt's, for comparing the two readers.
QJsonValue asQtValue(const JsonValue& value) {
    if (value.isNull()) return QJsonValue::Null;
    if (value.isBool()) return value.toBool();
    if (value.isNumber()) return value.toDouble();
    if (value.isString()) return value.toString();
    if (value.isArray()) {
        QJsonArray array;
        for (const JsonValue element : value.elements()) array.append(asQtValue(element));
        return array;
    }
    QJsonObject object;
    for (const auto& [key, member] : value.members()) object.insert(key.toString(), asQtValue(member));
    return object;
}

QJsonValue numbersAsDoubles(const QJsonValue& value) {
    if (value.isDouble()) return value.toDouble();
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue element : value.toArray()) array.append(numbersAsDoubles(element));
        return array;
    }
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) it.value() = numbersAsDoubles(it.value());
        return object;
    }
    return value;
}

// Texts a little broken in every way a byte can break them: both readers take the same ones and read the
// same values from them (Qt's reader being the one the previous versions used).
TEST(JsonText, AcceptsAndReadsExactlyWhatQtsReaderDoes) {
    const QByteArray seeds[] = {
        R"({"text":"吾輩は猫\n\"である\"","spans":[{"end":5,"kind":"strong","level":1,"start":0}],"n":-0.5e3})",
        R"([true,false,null,{"a":[],"b":{}},"\u00e9\ud83d\ude00",1.25,-7,1e2,"x\/y"])",
        R"({"a":{"a":{"a":[1,[2,[3]]]}},"b":"","c":0,"a":"last"})",
    };
    const QByteArray alphabet = R"({}[]:,"\/ abefnrtulsx0123456789.-+eE)";
    std::mt19937 random(17);
    int accepted = 0;
    for (int round = 0; round < 20'000; ++round) {
        QByteArray text = seeds[random() % std::size(seeds)];
        const int edits = 1 + static_cast<int>(random() % 3);
        for (int e = 0; e < edits && !text.isEmpty(); ++e) {
            const auto at = static_cast<qsizetype>(random() % static_cast<unsigned>(text.size()));
            const char byte = alphabet[static_cast<qsizetype>(random() % alphabet.size())];
            switch (random() % 3) {
            case 0: text.remove(at, 1); break;
            case 1: text.insert(at, byte); break;
            default: text[at] = byte; break;
            }
        }
        QJsonParseError qtError;
        const QJsonDocument byQt = QJsonDocument::fromJson(text, &qtError);
        const auto ours = parseJson(text);
        if (qtError.error != QJsonParseError::NoError) {
            EXPECT_FALSE(ours) << text.toStdString();
            continue;
        }
        if (!ours) {
            // Qt's reader is lenient where JSON is not: it takes any escaped character and numbers
            // without digits before or after the point. Only such texts are refused here alone.
            static const QRegularExpression leniency(
                uR"(\\(?![\\"/bfnrtu])|\\u(?![0-9a-fA-F]{4})|(?<![0-9])\.|\.(?![0-9]))"_s);
            EXPECT_TRUE(leniency.match(QString::fromUtf8(text)).hasMatch()) << text.toStdString();
            continue;
        }
        if (!ours) continue;
        ++accepted;
        const QJsonValue qtValue = byQt.isArray() ? QJsonValue(byQt.array()) : QJsonValue(byQt.object());
        EXPECT_EQ(numbersAsDoubles(asQtValue(ours->root())), numbersAsDoubles(qtValue)) << text.toStdString();
    }
    EXPECT_GT(accepted, 1'000);  // the comparison covered texts that read, not only broken ones
}

TEST(JsonDocument, ValuesStayValidThroughAMoveAndLookUpsNeedNoDecoding) {
    auto parsed = parseJson(R"({"list": [1, "two", null, true, {"k": 2.5}], "empty": {}})");
    ASSERT_TRUE(parsed);
    const JsonDocument document = std::move(*parsed);
    const JsonValue list = document.root().find(u"list");
    ASSERT_TRUE(list.isArray());
    EXPECT_EQ(list.size(), 5);
    QStringList kinds;
    for (const JsonValue element : list.elements()) kinds.append(describeJsonType(element));
    EXPECT_EQ(kinds, (QStringList{u"number"_s, u"string"_s, u"null"_s, u"bool"_s, u"dictionary"_s}));
    EXPECT_EQ(document.root().find(u"empty").size(), 0);
    EXPECT_TRUE(document.root().find(u"missing").isUndefined());
    EXPECT_EQ(describeJsonType(document.root().find(u"missing")), u"nothing"_s);
    EXPECT_TRUE(document.root().find(u"lis").isUndefined());
}

}  // namespace
}  // namespace tavrine
