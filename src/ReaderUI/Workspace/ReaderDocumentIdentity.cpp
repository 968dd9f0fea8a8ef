#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/PrintableText.h"

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

// QChar::isSpace is exactly the trimming set (Unicode white space and line breaks, all in the Basic
// Multilingual Plane), the same one QString::trimmed removes.
bool isSpaceUnit(QChar unit) {
    return unit.isSpace();
}

// Each of these is a Character of its own (CR LF one Character of two), so splitting at the units is
// splitting at the Characters that begin with them.
bool isLineBreakUnit(QChar unit) {
    const char16_t c = unit.unicode();
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

std::optional<QString> firstHeading(const ReadingDocument& document) {
    const QString& text = document.text;
    const qsizetype length = text.size();
    struct Range {
        qsizetype start;
        qsizetype end;
    };
    std::vector<Range> headings;
    for (const ReadingDocument::Span& span : document.spans) {
        if (span.kind != ReadingDocument::Span::Kind::heading) continue;
        const qsizetype start = std::clamp<qsizetype>(span.start, 0, length);
        headings.push_back({start, std::clamp<qsizetype>(span.end, start, length)});
    }
    std::stable_sort(headings.begin(), headings.end(), [](Range a, Range b) { return a.start < b.start; });

    // The first non-space unit at or after each start, found in one forward pass: starts only grow, so no
    // unit is looked at twice however many blank headings overlap.
    qsizetype visible = -1;
    for (const Range heading : headings) {
        if (visible < heading.start) {
            visible = heading.start;
            while (visible < length && isSpaceUnit(text[visible])) ++visible;
        }
        if (visible >= heading.end) continue;
        qsizetype end = heading.end;
        while (isSpaceUnit(text[end - 1])) --end;
        return firstCharacters(text.mid(visible, end - visible), ReaderDocumentIdentity::kHeadingCharacters);
    }
    return std::nullopt;
}

std::optional<QString> firstLine(const QString& text) {
    // The window is cut before the split: a line that starts past it is never found.
    const QString window = firstCharacters(text, ReaderDocumentIdentity::kLineWindowCharacters);
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= window.size(); ++i) {
        if (i < window.size() && !isLineBreakUnit(window[i])) continue;
        const QStringView line = QStringView(window).sliced(lineStart, i - lineStart).trimmed();
        if (!line.isEmpty()) return firstCharacters(line.toString(), ReaderDocumentIdentity::kLineCharacters);
        lineStart = i + 1;
    }
    return std::nullopt;
}

}  // namespace

QString ReaderDocumentIdentity::title(const SavedReading& reading) {
    if (reading.title) {
        QString stored = reading.title->trimmed();
        if (!stored.isEmpty()) return stored;
    }
    if (auto heading = firstHeading(reading.document)) return *std::move(heading);
    if (auto line = firstLine(reading.document.text)) return *std::move(line);
    return untitled();
}

QString ReaderDocumentIdentity::shownTitle(const SavedReading& reading, std::optional<qsizetype> characters) {
    const QString whole = title(reading);
    return oneLineText(characters ? firstCharacters(whole, *characters) : whole);
}

QString ReaderDocumentIdentity::untitled() {
    return u"無題の文書"_s;
}

}  // namespace tavrine
