#include "ReaderCore/Paragraphs.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

QList<TextRange> paragraphs(QStringView text) {
    QList<TextRange> result;
    for (qsizetype start = 0; start < text.size();) {
        result.append(paragraphRange(text, start));
        start = paragraphEnd(text, start);
    }
    return result;
}

TEST(Paragraphs, EndAfterLineFeedCarriageReturnTheirPairAndTheParagraphSeparator) {
    // a LF | b CR | c CR LF | d U+2029 | e NEL f LS g
    const QString text = u"a\nb\rc\r\nd\u2029e\u0085f\u2028g"_s;
    EXPECT_EQ(paragraphs(text), (QList<TextRange>{{0, 2}, {2, 4}, {4, 7}, {7, 9}, {9, 14}}));
    // Any offset inside a paragraph, its separator included, gives the whole paragraph.
    EXPECT_EQ(paragraphRange(text, 5), (TextRange{4, 7}));
    EXPECT_EQ(paragraphRange(text, 6), (TextRange{4, 7}));  // between CR and LF
    EXPECT_EQ(paragraphRange(text, 11), (TextRange{9, 14}));
    EXPECT_EQ(paragraphRange(text, 14), (TextRange{9, 14}));
    EXPECT_EQ(paragraphEnd(text, 6), 7);

    // A final separator leaves an empty paragraph at the end; a blank line is a paragraph of its own.
    EXPECT_EQ(paragraphRange(u"a\n", 2), (TextRange{2, 2}));
    EXPECT_EQ(paragraphs(u"\n\r\n\r"), (QList<TextRange>{{0, 1}, {1, 3}, {3, 4}}));
    EXPECT_EQ(paragraphRange(u"", 0), (TextRange{0, 0}));
}

}  // namespace
}  // namespace tavrine
