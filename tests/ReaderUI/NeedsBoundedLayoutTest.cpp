#include "ReaderUI/Source/NeedsBoundedLayout.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Kind = ReadingDocument::Span::Kind;

ReadingDocument::Span span(Kind kind, qsizetype start, qsizetype end) {
    return {kind, start, end, 0};
}

// Paragraphs of six units (one every six units from 0), `length` units in all.
QString shortParagraphs(qsizetype length) {
    QString text;
    while (text.size() < length) text += u"一行の文。\n"_s;
    text.truncate(length);
    return text;
}

TEST(NeedsBoundedLayout, LongTextsWithoutSmallTablesAndParagraphsTakeTheBoundedEngine) {
    const QList<ReadingDocument::Span> smallTable{span(Kind::table, 100, 3'100)};
    // Up to 20,000 units never, whatever the spans; one unit more without a table always.
    EXPECT_FALSE(needsBoundedLayout(QString(20'000, u'x'), {}));
    EXPECT_FALSE(needsBoundedLayout(QString(20'000, u'x'), {span(Kind::table, 0, 20'000)}));
    EXPECT_TRUE(needsBoundedLayout(shortParagraphs(20'001), {}));
    EXPECT_TRUE(needsBoundedLayout(shortParagraphs(20'001), {span(Kind::paragraph, 0, 6)}));

    // A long text with tables stays ordinary while every table and paragraph is at most 4,096 units.
    const QString text = shortParagraphs(30'000);
    EXPECT_FALSE(needsBoundedLayout(text, smallTable));
    EXPECT_FALSE(needsBoundedLayout(text, {span(Kind::table, 0, 4'096)}));
    EXPECT_TRUE(needsBoundedLayout(text, {span(Kind::table, 0, 3'000), span(Kind::table, 5'000, 9'097)}));

    // A paragraph counts its separator: 4,094 units and CR LF fit, 4,095 and CR LF do not.
    for (const qsizetype body : {4'094, 4'095}) {
        QString withLong = text;
        withLong.replace(10'002, body + 2, QString(body, u'x') + u"\r\n"_s);
        EXPECT_EQ(needsBoundedLayout(withLong, smallTable), body == 4'095) << body;
    }
    // NEXT LINE and LINE SEPARATOR end no paragraph: lines joined by them make one long paragraph.
    for (const QChar separator : {QChar(0x0085), QChar(0x2028)}) {
        QString joined = text;
        for (qsizetype i = 0; i < joined.size(); ++i)
            if (joined[i] == u'\n') joined[i] = separator;
        EXPECT_TRUE(needsBoundedLayout(joined, smallTable));
    }
    QString separated = text;
    for (qsizetype i = 0; i < separated.size(); ++i)
        if (separated[i] == u'\n') separated[i] = QChar(0x2029);
    EXPECT_FALSE(needsBoundedLayout(separated, smallTable));
}

}  // namespace
}  // namespace tavrine
