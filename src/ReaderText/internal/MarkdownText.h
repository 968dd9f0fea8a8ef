#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

namespace tavrine::internal {

// Whether a soft line break between two characters vanishes instead of becoming a space: both are East
// Asian Wide, Fullwidth or Halfwidth and neither is Hangul, so that Japanese or Chinese wrapped in the
// source gains no spaces while Korean, which separates words, keeps them.
bool softBreakVanishesBetween(char32_t before, char32_t after);

// Appends what a character reference of Markdown stands for: a decimal or hexadecimal one its code point
// (U+FFFD for 0, a surrogate or one beyond U+10FFFF), a named one of HTML 4 or amp, lt, gt, quot or apos
// its character; any other name stays as written.
void appendCharacterReference(QString& out, QByteArrayView reference);

// The growing text that the inline content of a Markdown document is written into. UTF-8 runs are
// decoded once, straight into the text. A soft line break is held until the character after it is
// known; it then becomes nothing at the start of a line or after a space (a marker's, say), else one
// space or nothing (softBreakVanishesBetween).
//
// A line that ends right after a list marker loses the marker's space, so that no line ends in a space:
// a piece that starts with a line feed right after a marker takes the space's place (and begins one
// unit earlier than the text's length before it).
class MarkdownText {
public:
    const QString& text() const { return m_text; }
    qsizetype length() const { return m_text.size(); }
    void reserve(qsizetype length) { m_text.reserve(length); }
    // Nothing written yet, or the last line ended.
    bool atLineStart() const { return m_text.isEmpty() || m_text.back() == u'\n'; }

    // Each appends a piece, after the space that a held soft break asks for, and returns the offset at
    // which the piece begins. A held break stays held while nothing is appended.
    qsizetype appendUTF8(QByteArrayView utf8);
    qsizetype append(QStringView piece);
    qsizetype appendCharacterReference(QByteArrayView reference);
    // Appends a list item's marker, which ends in a space, and returns the offset at which it begins.
    qsizetype appendMarker(QStringView marker);
    // Nothing has been written since a list marker.
    bool afterMarker() const { return m_afterMarker; }

    void appendSoftBreak() { m_pendingSoftBreak = true; }
    // Appends a line feed; a held soft break is dropped.
    void appendLineFeed();
    // Joins the line that the line feed at `offset` ends with the next, as a soft break joins them: the
    // line feed becomes a space, or vanishes between two wide characters (softBreakVanishesBetween) and
    // always when `unspaced`; the `droppedMarks` units after it (the next line's quote marks) vanish.
    // Answers whether the line feed vanished, so that what follows it moved one unit more back.
    bool joinLines(qsizetype offset, bool unspaced = false, qsizetype droppedMarks = 0);
    // Forgets a held soft break: its line has ended.
    void dropSoftBreak() { m_pendingSoftBreak = false; }

    // Drops every line feed at the end.
    void chopLineFeeds();
    void clear();

private:
    qsizetype placeHeldBreak(qsizetype start);

    QString m_text;
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
    bool m_pendingSoftBreak = false;
    bool m_afterMarker = false;
};

}  // namespace tavrine::internal
