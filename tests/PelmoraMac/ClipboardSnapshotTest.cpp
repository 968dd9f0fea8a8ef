#include "PelmoraMac/Capture/ClipboardSnapshot.h"

#include "CaptureTesting.h"

#include <gtest/gtest.h>

#include <functional>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using Mode = ClipboardImportMode;

// A pasteboard of any number of items that counts what was read and can be written to while it is
// read.
class FakePasteboard final : public Pasteboard {
public:
    struct Item {
        std::optional<QByteArray> html{};
        std::optional<QByteArray> rtf{};
        std::optional<QString> text{};
    };

    std::optional<QList<Item>> items = QList<Item>{};
    qint64 changes = 0;
    int formattedReads = 0;
    std::function<void()> whileReadingString;
    // What the pasteboard says ended its reading, from the string on; and the deadline it was given.
    std::optional<CaptureFailure> failureAtString;
    std::optional<CaptureFailure> ended;
    std::optional<CaptureDeadline> deadline;

    qint64 changeCount() override { return changes; }
    std::optional<qsizetype> itemCount() override {
        if (!items) return std::nullopt;
        return items->size();
    }
    std::optional<QByteArray> data(qsizetype item, DataType type) override {
        ++formattedReads;
        const Item& entry = items->at(item);
        return type == DataType::html ? entry.html : entry.rtf;
    }
    std::optional<QString> string(qsizetype item) override {
        if (whileReadingString) whileReadingString();
        if (failureAtString) {
            ended = failureAtString;
            return std::nullopt;
        }
        return items->at(item).text;
    }
    void setDeadline(CaptureDeadline given) override { deadline = given; }
    std::optional<CaptureFailure> failure() const override { return ended; }
};

const CaptureDeadline kDeadline = test::deadlineIn(std::chrono::seconds(3));

CaptureResult<ClipboardSnapshot> readItems(QList<FakePasteboard::Item> items, Mode mode) {
    FakePasteboard pasteboard;
    pasteboard.items = std::move(items);
    return readClipboardSnapshot(pasteboard, mode, kDeadline);
}

TEST(ClipboardSnapshot, TheStringMayHoldTwentyThousandUnitsInEitherMode) {
    for (const Mode mode : {Mode::automatic, Mode::plainText}) {
        const auto atLimit = readItems({{.text = QString(20'000, u'あ')}}, mode);
        ASSERT_TRUE(atLimit);
        EXPECT_EQ(atLimit->text->size(), 20'000);
        EXPECT_EQ(failureOf(readItems({{.text = QString(20'001, u'a')}}, mode)), CaptureFailure::tooLong);
        // Also beside formatted data, which skips the text's document check.
        EXPECT_EQ(failureOf(readItems({{.html = "<p>a</p>", .text = QString(20'001, u'a')}}, mode)),
                  CaptureFailure::tooLong);
    }
}

TEST(ClipboardSnapshot, FormattedDataMayHoldTwoMillionBytesInAutomaticMode) {
    const QByteArray atLimit(2'000'000, 'h');
    const QByteArray overLimit(2'000'001, 'h');

    const auto html = readItems({{.html = atLimit, .text = u"short"_s}}, Mode::automatic);
    ASSERT_TRUE(html);
    EXPECT_EQ(html->html, atLimit);
    EXPECT_EQ(failureOf(readItems({{.html = overLimit, .text = u"short"_s}}, Mode::automatic)),
              CaptureFailure::clipboardFormatTooLarge);
    EXPECT_EQ(failureOf(readItems({{.html = QByteArray("<p>"), .rtf = overLimit}}, Mode::automatic)),
              CaptureFailure::clipboardFormatTooLarge);

    // Plain-text mode never reads the formatted data, however large.
    FakePasteboard pasteboard;
    pasteboard.items = QList<FakePasteboard::Item>{{.html = overLimit, .rtf = overLimit, .text = u"short"_s}};
    const auto plain = readClipboardSnapshot(pasteboard, Mode::plainText, kDeadline);
    EXPECT_EQ(plain, (ClipboardSnapshot{.mode = Mode::plainText, .text = u"short"_s}));
    EXPECT_EQ(pasteboard.formattedReads, 0);
}

TEST(ClipboardSnapshot, OnlyTheFirstItemIsRead) {
    const QList<FakePasteboard::Item> items{{.html = "<b>x</b>"}, {.text = u"second"_s}};
    EXPECT_EQ(failureOf(readItems(items, Mode::plainText)), CaptureFailure::clipboardNoText);
    // Formatted data without a string is taken as it is: its conversion decides.
    EXPECT_EQ(readItems(items, Mode::automatic), (ClipboardSnapshot{.mode = Mode::automatic, .html = "<b>x</b>"}));
    EXPECT_EQ(readItems({{.rtf = QByteArray()}}, Mode::automatic),
              (ClipboardSnapshot{.mode = Mode::automatic, .rtf = QByteArray()}));
}

TEST(ClipboardSnapshot, AClipboardWithoutUsableTextFailsBeforeAnyConversion) {
    EXPECT_EQ(failureOf(readItems({}, Mode::automatic)), CaptureFailure::clipboardNoText);
    FakePasteboard noList;
    noList.items = std::nullopt;
    EXPECT_EQ(failureOf(readClipboardSnapshot(noList, Mode::plainText, kDeadline)), CaptureFailure::clipboardNoText);

    EXPECT_EQ(failureOf(readItems({{.text = u""_s}}, Mode::automatic)), CaptureFailure::clipboardNoText);
    EXPECT_EQ(failureOf(readItems({FakePasteboard::Item{}}, Mode::automatic)), CaptureFailure::clipboardNoText);
    EXPECT_EQ(failureOf(readItems({{.text = u"   \n"_s}}, Mode::plainText)), CaptureFailure::emptyText);
    EXPECT_EQ(failureOf(readItems({{.text = u"\u3000\t\u2029"_s}}, Mode::automatic)), CaptureFailure::emptyText);
    // The check only decides: the text keeps its white space.
    EXPECT_EQ(readItems({{.text = u"\n 本文 \n"_s}}, Mode::plainText)->text, u"\n 本文 \n"_s);
}

TEST(ClipboardSnapshot, AWriteDuringTheReadingIsASourceChange) {
    FakePasteboard pasteboard;
    pasteboard.items = QList<FakePasteboard::Item>{{.html = "<p>a</p>", .text = u"a"_s}};
    pasteboard.whileReadingString = [&] { ++pasteboard.changes; };
    EXPECT_EQ(failureOf(readClipboardSnapshot(pasteboard, Mode::automatic, kDeadline)), CaptureFailure::sourceChanged);
    // Only a change in between counts.
    pasteboard.whileReadingString = nullptr;
    EXPECT_TRUE(readClipboardSnapshot(pasteboard, Mode::automatic, kDeadline));
}

// An owner that does not answer in time, or offers too much: the pasteboard's failure, whatever was
// read, and the reading had the snapshot's deadline.
TEST(ClipboardSnapshot, APasteboardsOwnFailureEndsTheReading) {
    for (const CaptureFailure failure :
         {CaptureFailure::timedOut, CaptureFailure::clipboardFormatTooLarge, CaptureFailure::tooLong}) {
        FakePasteboard pasteboard;
        pasteboard.items = QList<FakePasteboard::Item>{{.html = "<p>a</p>", .text = u"a"_s}};
        pasteboard.failureAtString = failure;
        EXPECT_EQ(failureOf(readClipboardSnapshot(pasteboard, Mode::automatic, kDeadline)), failure);
        EXPECT_EQ(pasteboard.deadline, kDeadline);
    }
}

TEST(ClipboardSnapshot, DocumentsAreCheckedInOrderAndReturnedUnchanged) {
    using Span = ReadingDocument::Span;
    // Length first: a long blank text is too long, not empty.
    EXPECT_EQ(failureOf(validateClipboardDocument({std::nullopt, QString(20'001, u' '), {}})), CaptureFailure::tooLong);
    EXPECT_EQ(failureOf(validateClipboardDocument({std::nullopt, u""_s, {{Span::Kind::strong, 0, 1, 0}}})),
              CaptureFailure::clipboardNoText);
    EXPECT_EQ(failureOf(validateClipboardDocument({std::nullopt, u" "_s, {{Span::Kind::strong, 0, 9, 0}}})),
              CaptureFailure::emptyText);
    // Object place holders (a copied image's) are nothing to read either.
    EXPECT_EQ(failureOf(validateClipboardDocument({std::nullopt, u"\uFFFC\n\uFFFC"_s, {}})), CaptureFailure::emptyText);
    EXPECT_EQ(failureOf(validateClipboardDocument({std::nullopt, u"abc"_s, {{Span::Kind::strong, 0, 9, 0}}})),
              CaptureFailure::clipboardUnreadable);
    // A zero-width space or a NUL draws nothing: alone it is nothing to read, beside a letter it is kept.
    EXPECT_EQ(failureOf(validateClipboardDocument({std::nullopt, u"\u200B\u0000"_s, {}})), CaptureFailure::emptyText);
    const ReadingDocument valid{std::nullopt, u"\u200Ba"_s, {{Span::Kind::paragraph, 0, 2, 0}}};
    EXPECT_EQ(validateClipboardDocument(valid), valid);
}

}  // namespace
}  // namespace tavrine
