#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <tl/expected.hpp>

namespace tavrine {

// What the RTF reader gives: the text, the runs of its font traits and the formatting of its
// paragraphs.
struct RichText {
    // The traits of a stretch of text: bold and italic (\b, \i), monospace (its font is of the modern
    // family, of fixed pitch or has a monospace name) and slanted by an obliqueness other than 0.
    struct Traits {
        bool bold = false;
        bool italic = false;
        bool monospace = false;
        bool oblique = false;

        bool any() const { return bold || italic || monospace || oblique; }
        bool operator==(const Traits&) const = default;
    };

    // A maximal stretch of text with the same traits, at least one of them set.
    struct Run {
        qsizetype start = 0;
        qsizetype end = 0;
        Traits traits;

        bool operator==(const Run&) const = default;
    };

    // The formatting of one RTF paragraph (which \line may have cut into several lines): its header
    // level, 1 to 6 (0: none), and its list depth, 1 to 100 (0: not in a list).
    struct ParagraphStyle {
        qsizetype start = 0;
        qsizetype end = 0;
        int headerLevel = 0;
        int listDepth = 0;

        bool operator==(const ParagraphStyle&) const = default;
    };

    QString text;
    // In text order, neither overlapping nor split inside a surrogate pair.
    QList<Run> runs;
    // Only the paragraphs with a header level or a list depth, in text order, not overlapping.
    QList<ParagraphStyle> paragraphStyles;
};

enum class RTFReadFailure {
    // Groups nested more than kRTFGroupDepthLimit deep, or a parameter of more than ten digits.
    unreadable,
    // The text ran past the limit; reading stopped there.
    tooLong,
};

inline constexpr qsizetype kRTFGroupDepthLimit = 1'000;

// Reads RTF data into its text and formatting, in one pass with a stack of groups of its own (no
// recursion) and in time linear in the data. The end of the data ends every open group, and reading
// ends with the group that opened first. Pictures and embedded objects become one U+FFFC each; field
// results are kept and field instructions dropped; the font, colour and style tables, the document
// information, headers, footers, footnotes and the destinations marked \* that the reader does not
// know are skipped, and so is hidden text (\v). Text bytes (\'hh and bytes above 0x7F) are decoded in
// the code page of their font's \fcharset, or else of the document (\ansicpg, \mac, \pc, \pca; Windows
// 1252 by default); \uN gives the UTF-16 unit N (N + 65536 when negative) and skips \ucN fallback
// characters. Unpaired surrogates become U+FFFD. Fails with tooLong as soon as the text holds more
// than `textLimit` UTF-16 units.
tl::expected<RichText, RTFReadFailure> readRTF(QByteArrayView data, qsizetype textLimit);

}  // namespace tavrine
