// The lazily styled storage of long texts: chunks that tile the text without splitting a composed
// sequence (however long), the six-chunk cache, and attributes that match the whole-text typography.
#include "PelmoraMac/Source/ReaderArticleStyle.h"
#include "PelmoraMac/Source/ReaderArticleTextStorage.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

using Kind = ReadingDocument::Span::Kind;
using Span = ReadingDocument::Span;

ReadingDocument documentOf(QString text, QList<Span> spans = {}) {
    return {.sections = std::nullopt, .text = std::move(text), .spans = std::move(spans)};
}

// Every location of the text lies in a non-empty run that holds it, and the runs reached by walking
// from one to the next tile the text.
void expectRunsTile(ReaderArticleTextStorage& storage) {
    qsizetype position = 0;
    while (position < storage.length()) {
        TextRange run;
        storage.attributes(position, &run);
        ASSERT_EQ(run.lowerBound, position);
        ASSERT_GT(run.upperBound, position);
        position = run.upperBound;
    }
    for (qsizetype location = 0; location < storage.length(); location += 97) {
        TextRange run;
        storage.attributes(location, &run);
        ASSERT_TRUE(run.contains(location)) << location;
    }
}

TEST(ArticleTextStorageTest, ChunksTileTheTextWithoutSplittingASequence) {
    // Exactly one chunk: 4,096 is outside the text.
    ReaderArticleTextStorage exact(documentOf(QString(4096, u'a')), 15);
    EXPECT_EQ(exact.chunkRange(0), (TextRange{0, 4096}));
    TextRange outside{1, 1};
    EXPECT_EQ(exact.attributes(4096, &outside), ReaderTextAttributes{});
    EXPECT_EQ(outside, (TextRange{4096, 4096}));

    // A surrogate pair across unit 4,096: chunk 0 ends before it, chunk 1 serves it.
    ReaderArticleTextStorage pair(documentOf(QString(4095, u'a') + u"😀"_s + QString(100, u'b')), 15);
    EXPECT_EQ(pair.chunkRange(0), (TextRange{0, 4095}));
    EXPECT_EQ(pair.chunkRange(1), (TextRange{4095, 4197}));
    TextRange run;
    pair.attributes(4095, &run);
    EXPECT_EQ(run, (TextRange{4095, 4197}));
    EXPECT_EQ(pair.cachedChunks(), QList<qsizetype>{1});

    // Composed sequences longer than a chunk, one starting inside a chunk and one exactly at a chunk's
    // start: each lies in one chunk that extends to its end, and every location is served.
    const QString mark(5000, QChar(0x0301));
    for (const qsizetype start : {qsizetype(1000), qsizetype(4096)}) {
        SCOPED_TRACE(start);
        const QString text = QString(start, u'a') + u'e' + mark + QString(9000, u'b') + u'e' + mark + mark;
        ReaderArticleTextStorage storage(documentOf(text, {{.kind = Kind::strong, .start = 0, .end = 20}}), 15);
        qsizetype covered = 0;
        for (qsizetype chunk = 0; covered < text.size(); ++chunk) {
            const TextRange range = storage.chunkRange(chunk);
            ASSERT_EQ(range.lowerBound, covered);
            ASSERT_LE(range.lowerBound, range.upperBound);
            covered = range.upperBound;
        }
        const TextRange sequence{start, start + 5001};
        const TextRange holding = storage.chunkRange(storage.chunkHolding(start + 4500));
        EXPECT_LE(holding.lowerBound, sequence.lowerBound);
        EXPECT_GE(holding.upperBound, sequence.upperBound);
        expectRunsTile(storage);
        EXPECT_EQ(storage.attributedSubstring({0, text.size()}).text, text);
    }
}

TEST(ArticleTextStorageTest, KeepsTheSixMostRecentChunksAndStylesSpansAcrossChunkEdges) {
    // A heading from 4,000 to 4,200 crosses the edge of chunks 0 and 1.
    ReaderArticleTextStorage storage(
        documentOf(QString(8 * 4096, u'a'), {{.kind = Kind::heading, .start = 4000, .end = 4200, .level = 1}}), 15);
    TextRange run;
    const QTextCharFormat before = storage.attributes(4095, &run).character;
    EXPECT_EQ(run, (TextRange{4000, 4096}));
    const QTextCharFormat after = storage.attributes(4096, &run).character;
    EXPECT_EQ(run, (TextRange{4096, 4200}));
    EXPECT_EQ(before, after);
    EXPECT_EQ(after.font().pixelSize(), 25);

    for (qsizetype chunk = 0; chunk < 7; ++chunk) storage.attributes(chunk * 4096 + 10);
    EXPECT_EQ(storage.cachedChunks(), (QList<qsizetype>{1, 2, 3, 4, 5, 6}));
    storage.attributes(20);
    EXPECT_EQ(storage.cachedChunks(), (QList<qsizetype>{2, 3, 4, 5, 6, 0}));
    EXPECT_GT(storage.minimumWidth(), 24);
}

TEST(ArticleTextStorageTest, AttributesMatchTheWholeTextTypographyGridCellsIncluded) {
    // Two chunks' worth of headings, quotes, lists, code and emphasis around a 2 × 2 grid whose first row
    // is a header, with a chunk edge inside an ordinary paragraph.
    QString text;
    QList<Span> spans;
    const auto append = [&](const QString& part, std::initializer_list<std::pair<Kind, qint64>> kinds) {
        for (const auto& [kind, level] : kinds) {
            spans.append({.kind = kind, .start = text.size(), .end = text.size() + part.size(), .level = level});
        }
        text += part;
    };
    append(u"見出し\n"_s, {{Kind::heading, 1}});
    append(QString(3000, u'本') + u'\n', {{Kind::paragraph, 0}});
    append(u"引用と項目\n"_s, {{Kind::quote, 0}, {Kind::listItem, 2}});
    append(QString(2000, u'長') + u'\n', {{Kind::emphasis, 0}});
    const qsizetype table = text.size();
    append(u"名前\n"_s, {{Kind::tableHeader, 0}});
    append(u"値\n"_s, {{Kind::tableHeader, 0}});
    append(u"甲\n"_s, {{Kind::tableCell, 0}});
    append(u"code\n"_s, {{Kind::tableCell, 0}, {Kind::code, 0}});
    spans.append({.kind = Kind::table, .start = table, .end = text.size(), .level = 2});
    append(u"後\n"_s, {});
    const ReadingDocument document = documentOf(text, spans);
    ASSERT_TRUE(document.isValid());

    const ReaderAttributedString whole = ReaderArticleStyle::attributedString(document, 15);
    ASSERT_EQ(whole.tables.size(), 1);
    ReaderArticleTextStorage storage(document, 15);
    ASSERT_EQ(storage.cells().size(), 4);
    for (qsizetype location = 0; location < text.size(); ++location) {
        SCOPED_TRACE(location);
        TextRange run;
        const ReaderTextAttributes attributes = storage.attributes(location, &run);
        const ReaderTextAttributes expected = whole.attributes(location);
        QTextCharFormat expectedCharacter = expected.character;
        // Header cells are bold in both; the whole-text runs carry it already.
        ASSERT_EQ(attributes.character.font(), expectedCharacter.font());
        ASSERT_EQ(attributes.character.foreground(), expectedCharacter.foreground());
        ASSERT_EQ(attributes.character.background(), expectedCharacter.background());
        ASSERT_EQ(attributes.paragraph, expected.paragraph);
        const std::optional<ReaderGridCell> cell = storage.cell(location);
        ASSERT_EQ(attributes.cell, cell);
        // A run before a cell ends at its start; a run inside never leaves it.
        if (cell) {
            ASSERT_LE(run.upperBound, cell->span.end);
            ASSERT_GE(run.lowerBound, cell->span.start);
        } else if (location < table) {
            ASSERT_LE(run.upperBound, table);
        }
    }
    const std::optional<ReaderGridCell> header = storage.cell(table);
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->isHeader());
    EXPECT_EQ(storage.attributes(table).character.font().weight(), QFont::Bold);
    const ReaderGridCell last = *storage.cell(text.size() - 4);
    EXPECT_EQ(std::tuple(last.row, last.column, last.isHeader()), std::tuple(1, 1, false));
    EXPECT_EQ(last.format.background().style(), Qt::NoBrush);

    // The substring holding the whole table carries it, shifted.
    const ReaderAttributedString part = storage.attributedSubstring({table - 2, text.size()});
    ASSERT_EQ(part.tables.size(), 1);
    EXPECT_EQ(part.tables.first().span.start, 2);
    EXPECT_EQ(part.paragraphs.first().range, (TextRange{0, 2}));
}

TEST(ArticleTextStorageTest, AnInvalidDocumentIsPlainEverywhere) {
    QString text = u"表\n"_s + QString(5000, u'x');
    ReaderArticleTextStorage storage(documentOf(text, {{.kind = Kind::table, .start = 0, .end = 2, .level = 1},
                                                       {.kind = Kind::tableCell, .start = 0, .end = 2},
                                                       {.kind = Kind::heading, .start = 0, .end = 9000, .level = 1}}),
                                     15);
    EXPECT_TRUE(storage.validSpans().isEmpty());
    EXPECT_TRUE(storage.cells().isEmpty());
    const ReaderTextAttributes first = storage.attributes(0);
    EXPECT_EQ(first.character.font().pixelSize(), 15);
    EXPECT_FALSE(first.cell);
    EXPECT_EQ(storage.attributes(4500).character, first.character);
}

}  // namespace
}  // namespace tavrine
