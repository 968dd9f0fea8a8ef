#include "ReaderCore/Json.h"
#include "ReaderCore/Uuid.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Kind = DecodingError::Kind;

QJsonValue parse(const char* text) {
    auto value = parseJson(QByteArray(text));
    EXPECT_TRUE(value.has_value()) << text;
    return value.value_or(QJsonValue());
}

template <typename T>
Decoded<T> decodeField(const char* objectText) {
    JsonObjectDecoder decoder(parse(objectText), JsonPath());
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

TEST(JsonObjectDecoder, TellsMissingFromNullAndIgnoresUnknownKeys) {
    JsonObjectDecoder missing(parse(R"({"other": 1})"), JsonPath().key(u"outer"));
    (void)missing.required<QString>(u"v");
    auto failure = missing.finish(0);
    ASSERT_FALSE(failure);
    EXPECT_EQ(failure.error().kind, Kind::keyNotFound);
    EXPECT_EQ(failure.error().codingPath, u"outer"_s);

    EXPECT_EQ(decodeField<QString>(R"({"v": null})").error().kind, Kind::valueNotFound);

    JsonObjectDecoder optional(parse(R"({"a": null, "unknown": [1, 2]})"), JsonPath());
    EXPECT_EQ(optional.optional<QString>(u"a"), std::nullopt);
    EXPECT_EQ(optional.optional<QString>(u"b"), std::nullopt);
    EXPECT_TRUE(optional.finish(0).has_value());

    // An optional that is present must still have the right type.
    JsonObjectDecoder wrongType(parse(R"({"a": 5})"), JsonPath());
    (void)wrongType.optional<QString>(u"a");
    EXPECT_EQ(wrongType.finish(0).error().kind, Kind::typeMismatch);

    JsonObjectDecoder notAnObject(parse(R"([1])"), JsonPath());
    EXPECT_EQ(notAnObject.finish(0).error().kind, Kind::typeMismatch);
}

TEST(JsonDates, AreSecondsSinceTwoThousandOneAndKeepSubMillisecondPrecision) {
    EXPECT_EQ(Date::fromUnixSeconds(978307200.0).secondsSinceReferenceDate, 0.0);

    const Date date{786'543'210.123456789};
    const QByteArray text = encodeJson(QJsonObject{{u"d"_s, toJson(date)}});
    JsonObjectDecoder decoder(parse(text.constData()), JsonPath());
    EXPECT_EQ(decoder.required<Date>(u"d"), date);
    EXPECT_EQ(decodeField<Date>(R"({"v": -12.5})"), Date{-12.5});
    EXPECT_EQ(decodeField<Date>(R"({"v": "2024-01-01"})").error().kind, Kind::typeMismatch);
}

TEST(JsonUuids, AreWrittenUpperCaseAndReadStrictlyInEitherCase) {
    const QString canonical = u"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"_s;
    const QUuid id = *parseUuid(canonical);
    EXPECT_EQ(toJson(id).toString(), canonical);
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
    EXPECT_EQ(toJson(QByteArray("hi!?")).toString(), u"aGkhPw=="_s);
    EXPECT_EQ(decodeField<QByteArray>(R"({"v": "aGkhPw=="})"), QByteArray("hi!?"));
    EXPECT_EQ(decodeField<QByteArray>(R"({"v": ""})"), QByteArray());
    EXPECT_FALSE(decodeField<QByteArray>(R"({"v": "aGkhPw"})"));      // padding missing
    EXPECT_FALSE(decodeField<QByteArray>(R"({"v": "aGkh\nPw=="})"));  // line break inside
    EXPECT_FALSE(decodeField<QByteArray>(R"({"v": "aGk_Pw=="})"));    // URL alphabet
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

TEST(JsonText, MalformedTextIsDataCorrupted) {
    EXPECT_EQ(parseJson("{\"a\": ").error().kind, Kind::dataCorrupted);
    EXPECT_EQ(parseJson("{\"a\": \"\xC3\x28\"}").error().kind, Kind::dataCorrupted);  // invalid UTF-8
}

}  // namespace
}  // namespace tavrine
