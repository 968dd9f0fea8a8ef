#include "PelmoraMac/Capture/CaptureWorkerRequest.h"
#include "PelmoraMac/Capture/CaptureWorkerResponse.h"

#include "CaptureTesting.h"

#include <gtest/gtest.h>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Operation = CaptureWorkerRequest::Operation;

QJsonObject objectOf(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

template <typename T>
QByteArray encoded(const T& value) {
    return encodeJson(value);
}

TEST(CaptureProtocol, RequestsWriteOnlyTheFieldsTheyHold) {
    const CaptureWorkerRequest extract{.operation = Operation::extract, .html = u"<p>本文</p>"_s};
    EXPECT_EQ(objectOf(encoded(extract)), (QJsonObject{{u"operation"_s, u"extract"_s}, {u"html"_s, u"<p>本文</p>"_s}}));

    const CaptureWorkerRequest full{.operation = Operation::clipboard,
                                    .browser = ArticleBrowser::dia,
                                    .html = u"h"_s,
                                    .clipboard = ClipboardSnapshot{.html = QByteArray("\0\xff<b>", 5), .text = u"t"_s},
                                    .text = u"本文"_s,
                                    .lineEnds = MarkdownReader::LineEnds::unwrapped,
                                    .process = 4242,
                                    .window = BrowserWindowBounds{.left = -8, .top = 0, .width = 1280, .height = 1024}};
    EXPECT_EQ(decodeJsonText<CaptureWorkerRequest>(encoded(full)), full);
    EXPECT_EQ(objectOf(encoded(full)).value(u"process"_s), 4242);
    EXPECT_EQ(objectOf(encoded(full)).value(u"window"_s).toObject().value(u"left"_s), -8);
    EXPECT_EQ(objectOf(encoded(full)).value(u"browser"_s), u"company.thebrowser.dia"_s);
    EXPECT_EQ(objectOf(encoded(full)).value(u"lineEnds"_s), u"unwrapped"_s);
}

TEST(CaptureProtocol, RequestsThatDoNotDecode) {
    const char* refused[] = {
        "",
        "{\"operation\":",
        "[\"markdown\"]",
        "{\"text\":\"a\"}",                                                // no operation
        "{\"operation\":null,\"text\":\"a\"}",                             // null is no operation
        "{\"operation\":\"Markdown\",\"text\":\"a\"}",                     // raw values are case-sensitive
        "{\"operation\":\"snapshot\",\"browser\":\"com.google.chrome\"}",  // the Chrome identifier has a capital C
        "{\"operation\":\"markdown\",\"text\":7}",
        "{\"operation\":\"markdown\",\"text\":\"a\",\"lineEnds\":\"wrapped\"}",
        "{\"operation\":\"clipboard\",\"clipboard\":{\"text\":\"a\"}}",              // a snapshot needs its mode
        "{\"operation\":\"verify\",\"window\":{\"left\":0,\"top\":0,\"width\":9}}",  // bounds need all four
    };
    for (const char* json : refused) EXPECT_FALSE(decodeJsonText<CaptureWorkerRequest>(json)) << json;

    // Null is absent and keys nobody knows are ignored.
    const auto lenient = decodeJsonText<CaptureWorkerRequest>(
        "{\"operation\":\"snapshot\",\"browser\":null,\"html\":null,\"extra\":[1]}");
    ASSERT_TRUE(lenient);
    EXPECT_EQ(*lenient, CaptureWorkerRequest{.operation = Operation::snapshot});
}

TEST(CaptureProtocol, BrowsersAreTheirExactApplicationIdentifiers) {
    EXPECT_EQ(enumFromRawValue<ArticleBrowser>(u"company.thebrowser.dia"), ArticleBrowser::dia);
    EXPECT_EQ(enumFromRawValue<ArticleBrowser>(u"com.google.Chrome"), ArticleBrowser::chrome);
    EXPECT_EQ(enumFromRawValue<ArticleBrowser>(u"com.google.chrome"), std::nullopt);
    EXPECT_EQ(enumFromRawValue<ArticleBrowser>(u"company.thebrowser.Browser "), std::nullopt);
}

TEST(CaptureProtocol, EveryFailureTravelsAsItsCaseNameAndNothingElseDecodes) {
    for (const auto& [failure, raw] : EnumTable<CaptureFailure>::entries) {
        const QByteArray json = encoded(CaptureWorkerResponse::failed(failure));
        const auto decoded = decodeJsonText<CaptureWorkerResponse>(json);
        ASSERT_TRUE(decoded) << json.constData();
        EXPECT_EQ(decoded->failure, failure);
        EXPECT_EQ(enumFromRawValue<CaptureFailure>(QString(rawValue(failure)).toUpper()), std::nullopt);
    }
    EXPECT_EQ(EnumTable<CaptureFailure>::entries.size(), 26u);
    EXPECT_EQ(decodeJsonText<CaptureWorkerResponse>("{\"failure\":\"sourceChanged\"}")->failure,
              CaptureFailure::sourceChanged);
    EXPECT_FALSE(decodeJsonText<CaptureWorkerResponse>("{\"failure\":\"SourceChanged\"}"));
    EXPECT_FALSE(decodeJsonText<CaptureWorkerResponse>("{\"failure\":\"sourceChanged \"}"));
}

TEST(CaptureProtocol, ResponsesHoldWhatTheOperationProduced) {
    // An extraction without an article answers an empty object.
    EXPECT_EQ(encoded(CaptureWorkerResponse{}), "{}");
    const auto empty = decodeJsonText<CaptureWorkerResponse>("{}");
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, CaptureWorkerResponse{});

    const CaptureWorkerResponse snapshot{
        .snapshot = BrowserSnapshot{.status = u"ok"_s, .url = u"https://example.org/"_s, .documentID = u"7"_s}};
    EXPECT_EQ(objectOf(encoded(snapshot)).value(u"snapshot"_s).toObject().keys(),
              (QStringList{u"documentID"_s, u"status"_s, u"url"_s}));
    EXPECT_EQ(decodeJsonText<CaptureWorkerResponse>(encoded(snapshot)), snapshot);

    const CaptureWorkerResponse document{
        .document =
            ReadingDocument{std::nullopt, u"見出し\n本文"_s, {{ReadingDocument::Span::Kind::heading, 0, 4, 1}}}};
    EXPECT_EQ(decodeJsonText<CaptureWorkerResponse>(encoded(document)), document);

    // A snapshot needs its status; a document its spans.
    EXPECT_FALSE(decodeJsonText<CaptureWorkerResponse>("{\"snapshot\":{\"url\":\"u\"}}"));
    EXPECT_FALSE(decodeJsonText<CaptureWorkerResponse>("{\"document\":{\"text\":\"a\"}}"));
}

TEST(CaptureProtocol, HostileResponsesFailToDecodeWithoutHarm) {
    const QByteArray nested = QByteArray(100'000, '[') + QByteArray(100'000, ']');
    EXPECT_FALSE(decodeJsonText<CaptureWorkerResponse>(nested));
    const QByteArray nestedInside = "{\"document\":{\"text\":\"a\",\"spans\":" + nested + "}}";
    EXPECT_FALSE(decodeJsonText<CaptureWorkerResponse>(nestedInside));
    EXPECT_FALSE(decodeJsonText<CaptureWorkerResponse>("{\"failure\":\"unavailable\"} trailing"));
    const char withNul[] = "{\"failure\":\"unavail\0able\"}";
    EXPECT_FALSE(decodeJsonText<CaptureWorkerResponse>(QByteArray(withNul, sizeof withNul - 1)));
}

TEST(CaptureProtocol, ClipboardSnapshotsCarryTheirBytesAsPaddedBase64) {
    const auto plain = decodeJsonText<ClipboardSnapshot>("{\"mode\":\"plainText\",\"text\":\"abc\"}");
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, (ClipboardSnapshot{.mode = ClipboardImportMode::plainText, .text = u"abc"_s}));
    EXPECT_EQ(objectOf(encoded(*plain)).keys(), (QStringList{u"mode"_s, u"text"_s}));

    const ClipboardSnapshot bytes{.html = QByteArray(), .rtf = QByteArray("{\\rtf1\0\xff}", 9)};
    EXPECT_EQ(objectOf(encoded(bytes)).value(u"html"_s), u""_s);  // empty data is present data
    EXPECT_EQ(decodeJsonText<ClipboardSnapshot>(encoded(bytes)), bytes);

    EXPECT_EQ(decodeJsonText<ClipboardSnapshot>("{\"mode\":\"automatic\",\"html\":\"QUI=\"}")->html, "AB");
    for (const char* html : {"QUI", "QU I=", "QUI=\\n", "QUI=QUI=", "QUI_"}) {
        const QByteArray json = "{\"mode\":\"automatic\",\"html\":\"" + QByteArray(html) + "\"}";
        EXPECT_FALSE(decodeJsonText<ClipboardSnapshot>(json)) << json.constData();
    }
    EXPECT_FALSE(decodeJsonText<ClipboardSnapshot>("{\"mode\":\"plaintext\"}"));
}

}  // namespace
}  // namespace tavrine
