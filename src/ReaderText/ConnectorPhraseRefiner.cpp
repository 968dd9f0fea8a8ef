#include "ReaderText/ConnectorPhraseRefiner.h"

#include "ReaderText/internal/PhraseText.h"

#include "ReaderCore/Characters.h"

#include <QRegularExpression>

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

// The three patterns are compiled once, before any thread can match with them, and only read after that;
// they are never destroyed, since a pool thread may still match with one while the process exits.
const QRegularExpression& compiled(const QString& pattern) {
    auto* expression = new QRegularExpression(pattern, QRegularExpression::UseUnicodePropertiesOption);
    if (!expression->isValid()) {
        qFatal("a connector pattern does not compile: %s", qPrintable(expression->errorString()));
    }
    expression->optimize();
    return *expression;
}

// Candidate tokens: runs of letters, marks, digits and the punctuation of compounds, paths and URLs.
const QRegularExpression& tokenExpression() {
    static const QRegularExpression& expression = compiled(uR"([\p{L}\p{M}\p{N}_~./\\:+＋／#@%?=&\-]+)"_s);
    return expression;
}

// A whole token that is a compound: words that each begin with a letter, joined by single connectors.
const QRegularExpression& compoundExpression() {
    static const QRegularExpression& expression =
        compiled(uR"(\A[\p{L}][\p{L}\p{M}\p{N}_]*(?:[+＋/／][\p{L}][\p{L}\p{M}\p{N}_]*)+\z)"_s);
    return expression;
}

// URLs: a scheme and "://", or "www.", up to whitespace, angle, corner or round brackets. Whitespace is
// spelled out as tab, line feed, form feed, carriage return and the Unicode separators.
const QRegularExpression& urlExpression() {
    static const QRegularExpression& expression =
        compiled(uR"((?:[A-Za-z][A-Za-z0-9+.\-]*://|www\.)[^\t\n\f\r\p{Z}<>「」『』（）()]+)"_s);
    return expression;
}

bool isConnector(QStringView character) {
    return character == u"+" || character == u"＋" || character == u"/" || character == u"／";
}

// A token qualifies only with one of these; the ASCII "/" alone makes a path, not a compound.
bool holdsCompoundConnector(QStringView text) {
    return text.contains(u'+') || text.contains(u'＋') || text.contains(u'／');
}

// The pattern engine refuses a text with a lone surrogate outright. A lone surrogate is no letter and no
// token character, so a replacement character in its place (same length, same offsets) matches the same.
QString withoutLoneSurrogates(QStringView text) {
    QString repaired = text.toString();
    for (qsizetype i = 0; i < repaired.size(); ++i) {
        const QChar unit = repaired.at(i);
        if (unit.isHighSurrogate() && i + 1 < repaired.size() && repaired.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (unit.isSurrogate()) {
            repaired[i] = QChar::ReplacementCharacter;
        }
    }
    return repaired;
}

QList<TextRange> matchRanges(const QRegularExpression& expression, QStringView text) {
    QList<TextRange> ranges;
    auto matches = expression.globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        ranges.append({match.capturedStart(), match.capturedEnd()});
    }
    return ranges;
}

}  // namespace

QList<qsizetype> ConnectorPhraseRefiner::breakOffsets(QStringView text) {
    QList<qsizetype> offsets;
    // Every qualifying token holds one of the compound connectors: without one, nothing can match.
    if (!holdsCompoundConnector(text)) return offsets;
    QString repaired;
    if (!text.isValidUtf16()) {
        repaired = withoutLoneSurrogates(text);
        text = repaired;
    }

    const QList<TextRange> urls = matchRanges(urlExpression(), text);
    for (const TextRange& token : matchRanges(tokenExpression(), text)) {
        const bool overlapsURL = std::any_of(urls.begin(), urls.end(), [&](const TextRange& url) {
            return std::max(url.lowerBound, token.lowerBound) < std::min(url.upperBound, token.upperBound);
        });
        if (overlapsURL) continue;
        const QStringView tokenText = text.sliced(token.lowerBound, token.length());
        if (!holdsCompoundConnector(tokenText)) continue;
        if (!compoundExpression().match(tokenText).hasMatch()) continue;

        forEachCharacter(tokenText, [&](TextRange character) {
            if (isConnector(tokenText.sliced(character.lowerBound, character.length())))
                offsets.append(token.lowerBound + character.upperBound);
            return true;
        });
    }
    return offsets;
}

QList<ReadingChunk> ConnectorPhraseRefiner::refit(const ReadingChunk& chunk, qsizetype& cursor,
                                                  const QList<qsizetype>& breaks, const Width& width,
                                                  double maximumWidth) {
    const qsizetype start = chunk.sourceRange.lowerBound;
    const qsizetype end = chunk.sourceRange.upperBound;
    while (cursor < breaks.size() && breaks[cursor] <= start) ++cursor;
    qsizetype inside = cursor;
    while (inside < breaks.size() && breaks[inside] < end) ++inside;
    // The first break at or past the end stays under the cursor for the next chunk.
    const qsizetype firstInside = cursor;
    cursor = inside;
    if (firstInside == inside) return {chunk};
    if (!(width(internal::trimmedOfWhitespace(chunk.text)) > maximumWidth)) return {chunk};

    const CharacterBreaks characters(chunk.text);
    QList<ReadingChunk> pieces;
    qsizetype previous = start;
    for (qsizetype i = firstInside; i < inside; ++i) {
        const qsizetype offset = breaks[i];
        if (offset <= previous || !characters.isBoundary(offset - start)) continue;
        pieces.append({{previous, offset},
                       chunk.text.sliced(previous - start, offset - previous),
                       chunk.sentenceIndex,
                       ReadingChunk::Boundary::none});
        previous = offset;
    }
    pieces.append({{previous, end}, chunk.text.sliced(previous - start), chunk.sentenceIndex, chunk.boundary});
    return pieces;
}

QList<ReadingChunk> ConnectorPhraseRefiner::refine(const QList<ReadingChunk>& chunks, QStringView text,
                                                   const Width& width, double maximumWidth) {
    const QList<qsizetype> breaks = breakOffsets(text);
    if (breaks.isEmpty()) return chunks;
    QList<ReadingChunk> refined;
    refined.reserve(chunks.size());
    qsizetype cursor = 0;
    for (const ReadingChunk& chunk : chunks) refined.append(refit(chunk, cursor, breaks, width, maximumWidth));
    return refined;
}

}  // namespace tavrine
