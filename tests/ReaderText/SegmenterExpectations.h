#pragma once

#include "ReaderCore/ReadingChunk.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QList>
#include <QStringList>

namespace tavrine::test {

inline QStringList chunkTexts(const QList<ReadingChunk>& chunks) {
    QStringList texts;
    for (const ReadingChunk& chunk : chunks) texts.append(chunk.text);
    return texts;
}

// What every segmenter promises of its output for a text: the chunk texts join to the text, each range
// is its chunk's place in it and the ranges tile it from 0, and the sentence index grows by one after
// each sentence or paragraph chunk and only then.
inline void expectChunksTile(const QString& text, const QList<ReadingChunk>& chunks) {
    qsizetype offset = 0;
    qsizetype sentenceIndex = 0;
    for (const ReadingChunk& chunk : chunks) {
        EXPECT_EQ(chunk.sourceRange.lowerBound, offset) << chunk.text;
        EXPECT_EQ(text.mid(chunk.sourceRange.lowerBound, chunk.sourceRange.length()), chunk.text);
        EXPECT_FALSE(chunk.text.isEmpty());
        EXPECT_EQ(chunk.sentenceIndex, sentenceIndex) << chunk.text;
        if (chunk.boundary == ReadingChunk::Boundary::sentence || chunk.boundary == ReadingChunk::Boundary::paragraph) {
            ++sentenceIndex;
        }
        offset = chunk.sourceRange.upperBound;
    }
    EXPECT_EQ(offset, chunks.isEmpty() ? 0 : text.size());
    EXPECT_EQ(chunkTexts(chunks).join(QString()), chunks.isEmpty() ? QString() : text);
}

}  // namespace tavrine::test
