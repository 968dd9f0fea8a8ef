#pragma once

#include <QByteArray>
#include <QString>

namespace tavrine::bench {

// Clipboard data of exactly `bytes` bytes as a word processor puts it there: Japanese paragraphs
// (from `japanese`), a few of them headings and list items, every short run of text in its own group
// of verbose formatting, half of it as Shift_JIS escapes and half as \u escapes with Shift_JIS
// fallbacks, some runs bold, italic or in Courier New, behind a font table, a colour table, a style
// sheet and an embedded theme blob that fills the rest. Its text stays below 20,000 UTF-16 units.
QByteArray wordProcessorRTF(const QString& japanese, qsizetype bytes);

// HTML of exactly `bytes` bytes as a word processor copies it: a style block, then paragraphs whose
// every few characters sit in a span of long inline styles, with headings, a list and a table. Its text
// stays below 20,000 UTF-16 units.
QByteArray wordProcessorHTML(const QString& japanese, qsizetype bytes);

}  // namespace tavrine::bench
