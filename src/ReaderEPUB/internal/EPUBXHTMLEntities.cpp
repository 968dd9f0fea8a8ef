#include "ReaderEPUB/internal/EPUBXHTMLEntities.h"

#include "ReaderCore/HTMLNamedCharacters.h"
#include "ReaderEPUB/internal/EPUBUTF8.h"
#include "ReaderEPUB/internal/EPUBXMLByteSearch.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tavrine {
namespace {

// A pattern that begins a construct whose content is never touched, and the text that ends it.
struct Skipped {
    std::string_view opener;
    std::string_view terminator;
};
constexpr Skipped kComment{"<!--", "-->"};
constexpr Skipped kCData{"<![CDATA[", "]]>"};
constexpr Skipped kProcessingInstruction{"<?", "?>"};

// The next occurrence of a terminator at or after a position, remembered between questions. Positions
// only grow during a pass, so an answer at or after the new position is still the first one, and once
// there is none there is none further on: every byte is searched at most once per terminator.
class TerminatorFinder {
public:
    explicit TerminatorFinder(std::string_view terminator) : m_terminator(terminator) {}

    qsizetype find(QByteArrayView text, qsizetype from) {
        if (m_found == kNone || (m_found != kUnknown && m_found >= from)) return m_found;
        const qsizetype at = findBytes(text, QByteArrayView(m_terminator.data(), qsizetype(m_terminator.size())), from);
        m_found = at < 0 ? kNone : at;
        return m_found;
    }

    static constexpr qsizetype kNone = -1;

private:
    static constexpr qsizetype kUnknown = -2;
    std::string_view m_terminator;
    qsizetype m_found = kUnknown;
};

bool startsWithAt(QByteArrayView text, qsizetype at, std::string_view prefix) {
    return text.size() - at >= qsizetype(prefix.size()) &&
           std::memcmp(text.data() + at, prefix.data(), prefix.size()) == 0;
}

bool isASCIILetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isASCIIAlphanumeric(char c) {
    return isASCIILetter(c) || (c >= '0' && c <= '9');
}

}  // namespace

EPUBReader::Result<QByteArray> EPUBXHTMLEntities::replaceNamedEntities(const QByteArray& text,
                                                                       const CancellationToken& cancellation,
                                                                       qsizetype from) {
    const QByteArrayView view(text);
    const char* const data = view.data();
    const qsizetype size = view.size();
    TerminatorFinder comments(kComment.terminator);
    TerminatorFinder cdata(kCData.terminator);
    TerminatorFinder instructions(kProcessingInstruction.terminator);

    QByteArray out;
    qsizetype copied = 0;  // text before this position is already in `out`
    bool replaced = false;
    // Only "<" and "&" can begin a match; the next of each is remembered until the scan passes it.
    qsizetype nextOpen = from - 1, nextAmpersand = from - 1;
    auto next = [&](qsizetype& cached, char c, qsizetype at) {
        if (cached >= at) return;
        const void* found = std::memchr(data + at, c, std::size_t(size - at));
        cached = found ? static_cast<const char*>(found) - data : size;
    };
    qsizetype at = from;
    while (at < size) {
        if (cancellation.isCancelled()) return tl::unexpected(EPUBReader::Failure::cancelled());
        next(nextOpen, '<', at);
        next(nextAmpersand, '&', at);
        at = std::min(nextOpen, nextAmpersand);
        if (at >= size) break;

        if (data[at] == '<') {
            // Each alternative: the opener here, then the first terminator after the opener.
            std::pair<const Skipped*, TerminatorFinder*> alternatives[] = {
                {&kComment, &comments}, {&kCData, &cdata}, {&kProcessingInstruction, &instructions}};
            qsizetype end = -1;
            for (auto [skipped, finder] : alternatives) {
                if (!startsWithAt(view, at, skipped->opener)) continue;
                const qsizetype terminator = finder->find(view, at + qsizetype(skipped->opener.size()));
                if (terminator != TerminatorFinder::kNone) end = terminator + qsizetype(skipped->terminator.size());
                break;
            }
            at = end < 0 ? at + 1 : end;
            continue;
        }

        // "&" letter, letters or digits, ";".
        qsizetype end = at + 1;
        if (end >= size || !isASCIILetter(data[end])) {
            at = end;
            continue;
        }
        while (end < size && isASCIIAlphanumeric(data[end])) ++end;
        if (end >= size || data[end] != ';') {
            // No position inside the name can begin a match.
            at = end;
            continue;
        }
        if (const auto c = htmlNamedCharacter(QByteArrayView(data + at + 1, end - at - 1))) {
            if (!replaced) {
                out.reserve(size);
                replaced = true;
            }
            out.append(data + copied, at - copied);
            appendUTF8(out, *c);
            copied = end + 1;
        }
        at = end + 1;
    }
    if (cancellation.isCancelled()) return tl::unexpected(EPUBReader::Failure::cancelled());
    if (!replaced) return text;
    out.append(data + copied, size - copied);
    return out;
}

}  // namespace tavrine
