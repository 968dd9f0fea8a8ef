#pragma once

#include "PelmoraMac/Capture/internal/RTFReader.h"

#include <QStringView>

namespace tavrine {

// Assembles the text the RTF reader reads, with its runs of traits and the formatting of its paragraphs:
// text comes in pieces, each with the traits and the paragraph formatting in effect; runs of the same
// traits merge; a line of nothing but white space is cut off when it ends (its runs with it), so that it
// reads as the empty line it looks like.
class RichTextBuilder {
public:
    // A paragraph's header level (1 to 6; 0: none) and list depth (1 to 100; 0: not in a list).
    struct Levels {
        int headerLevel = 0;
        int listDepth = 0;
    };

    explicit RichTextBuilder(qsizetype textLimit) : m_textLimit(textLimit) {}

    const QString& text() const { return m_result.text; }
    // Appends text in a paragraph whose formatting so far is paragraph. The text never holds more than one
    // unit past the limit; false once it is past it.
    bool append(QStringView text, RichText::Traits traits, Levels paragraph);
    // Cuts off the current line when it holds nothing but white space.
    void dropBlankLine();
    // Ends the current paragraph, recording its formatting when it has any.
    void endParagraph(Levels paragraph);
    // Ends the text: the last line as any other, the open paragraph with the formatting it had when text
    // last came into it; a lone surrogate becomes U+FFFD, and no run's bound falls inside a pair.
    RichText finish();

private:
    void repairSurrogates();

    const qsizetype m_textLimit;
    RichText m_result;
    // Where the current paragraph started, and its formatting when text last came into it.
    qsizetype m_paragraphStart = 0;
    Levels m_openParagraph;
    // Where the current line starts.
    qsizetype m_lineStart = 0;
};

}  // namespace tavrine
