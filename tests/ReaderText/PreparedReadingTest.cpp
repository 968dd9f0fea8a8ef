#include "ReaderText/PreparedReading.h"

#include "ReaderCore/Characters.h"

#include "support/QtPrinters.h"
#include "support/RunTask.h"

#include <gtest/gtest.h>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <functional>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Boundary = ReadingChunk::Boundary;
using Section = ReadingDocument::Section;

// A predictable segmenter: one chunk per word with the whitespace after it, the leading whitespace in the
// first. A word ending in "." ends a sentence, whitespace holding a line break ends a paragraph.
class WordSegmenter final : public TextSegmenting {
public:
    QList<ReadingChunk> segment(const QString& text) const override {
        ++calls;
        if (onSegment) onSegment();
        static const QRegularExpression word(u"\\s*(\\S+)(\\s*)"_s);
        QList<ReadingChunk> chunks;
        qsizetype sentence = 0;
        for (const QRegularExpressionMatch& match : word.globalMatch(text)) {
            const bool lineBreak = match.captured(2).contains(u'\n') || match.captured(2).contains(u'\r');
            const Boundary boundary = lineBreak
                                          ? Boundary::paragraph
                                          : (match.captured(1).endsWith(u'.') ? Boundary::sentence : Boundary::none);
            chunks.append({{match.capturedStart(), match.capturedEnd()}, match.captured(), sentence, boundary});
            if (boundary != Boundary::none) ++sentence;
        }
        return chunks;
    }

    mutable std::atomic<int> calls{0};
    std::function<void()> onSegment;
};

double characterWidth(QStringView text) {
    return double(characterCount(text));
}

struct Fixture {
    explicit Fixture(const QString& text, QList<Section> sections = {})
        : segmenter(std::make_shared<WordSegmenter>()),
          reading(text, std::move(sections), characterWidth, 8, segmenter) {}

    std::shared_ptr<WordSegmenter> segmenter;
    PreparedReading reading;
};

template <typename T>
T await(QCoro::Task<T> task) {
    auto result = test::runTask(std::move(task));
    return result ? std::move(*result) : T{};
}

QList<ReadingChunk> chunksAround(PreparedReading& reading, qsizetype offset) {
    const auto chunks = await(reading.chunks(offset));
    EXPECT_TRUE(chunks.has_value());
    return chunks.value_or(QList<ReadingChunk>());
}

// "aaa… " words of five letters and a space, to the given length.
QString words(qsizetype length) {
    QString text;
    text.reserve(length);
    while (text.size() < length) text += (text.size() % 6 == 5) ? u' ' : u'a';
    return text;
}

// Walks the reading piece by piece: the chunks tile the text, start on Characters and restart their
// sentence indices in every piece. Returns the number of pieces.
qsizetype expectPiecesTile(PreparedReading& reading, const QString& text) {
    const CharacterBreaks characters(text);
    qsizetype offset = 0;
    qsizetype pieces = 0;
    while (offset < text.size()) {
        const auto chunks = chunksAround(reading, offset);
        if (chunks.isEmpty()) break;
        EXPECT_EQ(chunks.first().sentenceIndex, 0);
        for (const ReadingChunk& chunk : chunks) {
            EXPECT_EQ(chunk.sourceRange.lowerBound, offset);
            EXPECT_TRUE(characters.isBoundary(chunk.sourceRange.upperBound)) << chunk.sourceRange.upperBound;
            EXPECT_TRUE(chunk.text == text.sliced(offset, chunk.sourceRange.length()));
            offset = chunk.sourceRange.upperBound;
        }
        ++pieces;
    }
    EXPECT_EQ(offset, text.size());
    return pieces;
}

TEST(PreparedReadingPartitions, AShortTextWithoutSectionsIsOnePartition) {
    Fixture exactly(words(20'000));
    EXPECT_EQ(expectPiecesTile(exactly.reading, words(20'000)), 1);
    Fixture longer(words(20'001));
    EXPECT_EQ(await(longer.reading.partitionStart(1)), 4'092);  // after the space at 4,091
    Fixture sectioned(u"short"_s, {Section{u"s"_s, std::nullopt, 0, 5}});
    EXPECT_EQ(await(sectioned.reading.partitionStart(1)), 5);  // partitions of 4,096: the first is past the end

    Fixture empty(QString{});
    EXPECT_EQ(empty.reading.length(), 0);
    EXPECT_TRUE(chunksAround(empty.reading, 3).isEmpty());
    EXPECT_EQ(await(empty.reading.chunk(0)).value(), std::nullopt);
    EXPECT_EQ(await(empty.reading.sentenceOffset(7, true)).value(), 7);
    EXPECT_EQ(await(empty.reading.sentenceOffset(7, false)).value(), 7);
}

TEST(PreparedReadingPartitions, StartsMoveBackWithinTheSearchWindowAndNeverCutACharacter) {
    const struct {
        const char* what;
        std::function<void(QString&)> edit;
        qsizetype start;
    } cases[] = {
        {"nothing to follow", [](QString&) {}, 4'096},
        {"a space", [](QString& t) { t[4'000] = u' '; }, 4'001},
        {"a line break before a nearer space", [](QString& t) { t[3'840] = u'\n', t[4'000] = u' '; }, 3'841},
        {"a line break out of reach", [](QString& t) { t[3'839] = u'\n', t[4'000] = u' '; }, 4'001},
        {"an ideographic full stop", [](QString& t) { t[4'090] = u'。'; }, 4'091},
        {"a surrogate pair across the border", [](QString& t) { t.replace(4'095, 2, u"\U0001F600"_s); }, 4'095},
        {"CR LF across the border", [](QString& t) { t[4'095] = u'\r', t[4'096] = u'\n'; }, 4'095},
        {"a combining mark on the border", [](QString& t) { t[4'096] = QChar(0x0301); }, 4'095},
    };
    for (const auto& c : cases) {
        QString text(30'000, u'a');
        c.edit(text);
        Fixture f(text);
        EXPECT_EQ(await(f.reading.partitionStart(1)), c.start) << c.what;
        // Offsets between the moved start and the nominal one belong to the later partition.
        EXPECT_EQ(await(f.reading.partitionIndex(c.start)), 1) << c.what;
        EXPECT_EQ(await(f.reading.partitionIndex(c.start - 1)), 0) << c.what;
    }
}

TEST(PreparedReadingPartitions, PiecesTileTheTextAcrossEveryBorder) {
    QString text = words(30'000);
    text.replace(4'095, 2, u"\U0001F600"_s);
    text[8'191] = u'\r', text[8'192] = u'\n';
    text[12'287] = u'e', text[12'288] = QChar(0x0301);
    Fixture f(text);
    EXPECT_EQ(expectPiecesTile(f.reading, text), 8);
}

TEST(PreparedReadingSections, PiecesStopAtSectionEndsWhichEndAParagraph) {
    Fixture f(words(10'000), {Section{u"a"_s, std::nullopt, 0, 1'002}, Section{u"b"_s, std::nullopt, 1'002, 9'000},
                              Section{u"c"_s, std::nullopt, 9'000, 10'000}});
    const qsizetype second = await(f.reading.partitionStart(1));
    const qsizetype third = await(f.reading.partitionStart(2));
    const std::tuple<qsizetype, TextRange, bool> cases[] = {
        {500, {0, 1'002}, true},  // a section shorter than a partition
        {1'002, {1'002, second}, false}, {second + 10, {second, third}, false},
        {8'999, {third, 9'000}, true},   {9'000, {9'000, 10'000}, true},
    };
    for (const auto& [offset, piece, endsSection] : cases) {
        const auto chunks = chunksAround(f.reading, offset);
        ASSERT_FALSE(chunks.isEmpty());
        EXPECT_EQ((TextRange{chunks.first().sourceRange.lowerBound, chunks.last().sourceRange.upperBound}), piece);
        // Words end in spaces only: a paragraph end comes from the section alone.
        EXPECT_EQ(chunks.last().boundary == Boundary::paragraph, endsSection) << offset;
    }
}

TEST(PreparedReadingCache, KeepsTheThreeMostRecentlyUsedPieces) {
    Fixture f(words(30'000));
    auto& calls = f.segmenter->calls;
    for (const qsizetype offset : {0, 5'000, 9'000, 100 /* a hit protects the first piece */})
        chunksAround(f.reading, offset);
    EXPECT_EQ(calls, 3);
    chunksAround(f.reading, 13'000);  // the fourth piece evicts the least recently used: the second
    EXPECT_EQ(await(f.reading.cachedPieceCount()), 3);
    chunksAround(f.reading, 0);
    EXPECT_EQ(calls, 4);
    chunksAround(f.reading, 5'000);
    EXPECT_EQ(calls, 5);

    // A hit is keyed by the start alone; an empty piece is not cached.
    EXPECT_EQ(await(f.reading.chunks(0, 17, false)).value(), chunksAround(f.reading, 0));
    EXPECT_TRUE(await(f.reading.chunks(20'000, 20'000, true)).value().isEmpty());
    EXPECT_EQ(calls, 5);
}

TEST(PreparedReadingSentences, OffsetsCrossPiecesInBothDirections) {
    // Sentence ends at s1 (in the first piece) and s2 (in the third).
    QString text = words(3'000) + u"end. "_s;
    const qsizetype s1 = text.size();
    text += words(6'000) + u"end. "_s;
    const qsizetype s2 = text.size();
    text += words(24'000 - text.size()) + u"end."_s;
    Fixture f(text);
    ASSERT_LT(s1, await(f.reading.partitionStart(1)));
    ASSERT_GT(s2, await(f.reading.partitionStart(2)));

    auto offset = [&](qsizetype from, bool forward) { return await(f.reading.sentenceOffset(from, forward)).value(); };
    EXPECT_EQ(offset(100, true), s1);
    EXPECT_EQ(offset(s1, true), s2);            // over a whole piece without a sentence end
    EXPECT_EQ(offset(s2 + 10, true), s2 + 10);  // the only end left is the text's own
    EXPECT_EQ(offset(8'000, false), s1);        // the start of its sentence, two pieces back
    EXPECT_EQ(offset(s2, false), s1);           // at a start: the previous sentence
    EXPECT_EQ(offset(s1, false), 0);
    EXPECT_EQ(offset(50, false), 0);
    EXPECT_EQ(offset(24'000, false), s2);
    EXPECT_EQ(offset(text.size(), false), text.size());  // at the end there is no chunk

    const auto inThird = await(f.reading.chunk(s2 - 3)).value();
    ASSERT_TRUE(inThird.has_value());
    EXPECT_EQ(await(f.reading.sentenceStart(*inThird)).value().sourceRange.lowerBound, s1);
    const ReadingChunk foreign{{5, 7}, u"xy"_s, 0, Boundary::none};
    EXPECT_EQ(await(f.reading.sentenceStart(foreign)).value(), foreign);

    // A long text without any sentence end: every piece is walked, both ways.
    Fixture endless(words(30'000));
    EXPECT_EQ(await(endless.reading.sentenceOffset(100, true)).value(), 100);
    EXPECT_EQ(await(endless.reading.sentenceOffset(29'000, false)).value(), 0);
    EXPECT_GE(endless.segmenter->calls, 8);
}

TEST(PreparedReadingCancellation, StopsWithoutCachingAndEndsLongWalks) {
    Fixture f(words(30'000));
    CancellationToken before;
    before.cancel();
    EXPECT_EQ(await(f.reading.chunks(0, before)).error(), PreparedReading::Failure::cancelled);
    EXPECT_EQ(f.segmenter->calls, 0);

    // Cancelled while segmenting: the result is dropped and nothing is stored.
    CancellationToken during;
    f.segmenter->onSegment = [&] { during.cancel(); };
    EXPECT_EQ(await(f.reading.chunks(0, during)).error(), PreparedReading::Failure::cancelled);
    EXPECT_EQ(await(f.reading.cachedPieceCount()), 0);

    // A backward walk over many pieces stops at the next piece once cancelled.
    CancellationToken walk;
    f.segmenter->calls = 0;
    f.segmenter->onSegment = [&] {
        if (f.segmenter->calls == 3) walk.cancel();
    };
    EXPECT_EQ(await(f.reading.sentenceOffset(29'000, false, walk)).error(), PreparedReading::Failure::cancelled);
    EXPECT_EQ(f.segmenter->calls, 3);

    // Destroying the reading ends its queued work.
    auto doomed = std::make_unique<Fixture>(words(30'000));
    doomed->segmenter->onSegment = [] { QThread::msleep(5); };
    auto queued = doomed->reading.sentenceOffset(29'000, false);
    doomed.reset();
    const auto result = test::runTask(std::move(queued));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->error(), PreparedReading::Failure::cancelled);
}

TEST(PreparedReading, RefinesOnItsOwnThreadWithTheGivenWidth) {
    QThread* measuredOn = nullptr;
    const auto width = [&](QStringView t) {
        measuredOn = QThread::currentThread();
        return characterWidth(t);
    };
    PreparedReading reading(u"go alpha+beta+gamma now"_s, {}, width, 8, std::make_shared<WordSegmenter>());
    QStringList texts;
    for (const ReadingChunk& chunk : chunksAround(reading, 0)) texts.append(chunk.text);
    EXPECT_EQ(texts, (QStringList{u"go "_s, u"alpha+"_s, u"beta+"_s, u"gamma "_s, u"now"_s}));
    EXPECT_NE(measuredOn, nullptr);
    EXPECT_NE(measuredOn, QThread::currentThread());
}

TEST(PreparedReading, BuildsTheSourceWindowOnItsOwnAnalysis) {
    QString text = words(30'000);
    text.replace(5'903, 2, u"\U0001F600"_s);
    const ReadingDocument document{std::nullopt, text, {{ReadingDocument::Span::Kind::strong, 6'000, 6'010, 0}}};
    Fixture f(text);
    EXPECT_EQ(await(f.reading.sourceWindow(document, 10'000)), ReadingSourceWindow::around(document, 10'000));
    // A document with another text of the same length still gets its own, correct window.
    QString other = words(30'000);
    other.replace(18'191, 2, u"\U0001F600"_s);
    const ReadingDocument otherDocument{std::nullopt, other, {}};
    EXPECT_EQ(await(f.reading.sourceWindow(otherDocument, 10'000)).sourceRange, (TextRange{5'904, 18'193}));
}

TEST(PreparedReadingWithThePhraseSegmenter, ChunksJapaneseAndEnglishAcrossPieces) {
    const QString japanese = u"吾輩は猫である。名前はまだ無い。\nどこで生れたかとんと見当がつかぬ。"_s.repeated(700);
    const QString english = u"The cat sat on the mat. It was warm there.\n"_s.repeated(600);
    PreparedReading englishReading(english, {}, characterWidth, 8);
    EXPECT_GT(expectPiecesTile(englishReading, english), 1);
    PreparedReading reading(japanese, {}, characterWidth, 8);
    EXPECT_GT(expectPiecesTile(reading, japanese), 1);
    EXPECT_EQ(await(reading.sentenceOffset(0, true)).value(), 8);
    EXPECT_EQ(await(reading.sentenceOffset(8, true)).value(), 17);  // the line break stays with its sentence
    EXPECT_EQ(await(reading.sentenceOffset(12, false)).value(), 8);
    EXPECT_EQ(await(reading.sentenceOffset(17, false)).value(), 8);
}

}  // namespace
}  // namespace tavrine
