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
// known; it then becomes one space or nothing (softBreakVanishesBetween).
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

    void appendSoftBreak() { m_pendingSoftBreak = true; }
    // Appends a line feed; a held soft break is dropped.
    void appendLineFeed();
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
};

}  // namespace tavrine::internal
