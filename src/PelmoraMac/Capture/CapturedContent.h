#pragma once

#include "ReaderCore/ReadingDocument.h"
#include "ReaderText/MarkdownReader.h"

#include <QString>

#include <variant>

namespace tavrine {

// What the selection reader found in the application in front: the selected text; the whole text of a
// focused text area in which nothing is selected (a body candidate); or the article of a browser page in
// which nothing is selected. Equal when of the same case with equal payloads.
struct CapturedContent {
    enum class Kind {
        selection,
        bodyCandidate,
        article,
    };

    Kind kind = Kind::selection;
    // The text of a selection or a body candidate; the document of an article.
    std::variant<QString, ReadingDocument> payload{};
    // How the line ends of a selection's or a body candidate's text are read: kept where a web page gave
    // it (each is a block, a <br> or a <pre> line the page shows, never a wrap); unwrapped where any other
    // application did, which may have wrapped a paragraph at a fixed width.
    MarkdownReader::LineEnds lineEnds = MarkdownReader::LineEnds::kept;

    static CapturedContent selection(QString text) { return {.kind = Kind::selection, .payload = std::move(text)}; }
    static CapturedContent bodyCandidate(QString text) {
        return {.kind = Kind::bodyCandidate, .payload = std::move(text)};
    }
    static CapturedContent article(ReadingDocument document) {
        return {.kind = Kind::article, .payload = std::move(document)};
    }

    // The text that was read: the selection, the body, or the article's text.
    const QString& text() const {
        if (const auto* document = std::get_if<ReadingDocument>(&payload)) return document->text;
        return std::get<QString>(payload);
    }

    bool operator==(const CapturedContent&) const = default;
};
}  // namespace tavrine
