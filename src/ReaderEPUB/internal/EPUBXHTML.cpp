#include "ReaderEPUB/internal/EPUBXHTML.h"

#include "ReaderCore/Characters.h"
#include "ReaderEPUB/internal/EPUBXHTMLElements.h"
#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

#include <algorithm>
#include <limits>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Failure = EPUBReader::Failure;
using NoticeKind = EPUBBook::Notice::Kind;
using SpanKind = ReadingDocument::Span::Kind;
using EPUBXHTMLElements::Mark;
using EPUBXHTMLElements::Role;
using EPUBXHTMLElements::ruleFor;

// Names and attributes looked at for every element, their lengths counted once.
constexpr QStringView kHidden = u"hidden";
constexpr QStringView kNav = u"nav";

// Any nav, and whatever a book marks as a table of contents, page list or landmarks: navigation is
// read from the navigation document, not from the text.
bool isNavigation(const EPUBXMLNode& element) {
    if (element.name() == kNav) return true;
    const QSet<QString> types = element.epubTypes();
    return types.contains(u"toc"_s) || types.contains(u"page-list"_s) || types.contains(u"landmarks"_s);
}

bool isXHTML(const EPUBXMLNode& element) {
    return element.namespaceName() == EPUBXMLNamespace::xhtml;
}

// A list number as written: an optional sign and decimal digits, nothing else (no spaces), within the
// range of a 64-bit integer.
std::optional<qint64> listNumber(QStringView text) {
    bool negative = false;
    if (text.startsWith(u'+') || text.startsWith(u'-')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty()) return std::nullopt;
    // Accumulated as a negative number, whose range reaches one further than the positive one.
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value < (std::numeric_limits<qint64>::min() + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == std::numeric_limits<qint64>::min()) return std::nullopt;
    return -value;
}

// A list must start within this range, and an item's value is clamped into it.
constexpr qint64 kListNumberBound = 1'000'000;

}  // namespace

EPUBReader::Result<EPUBRendered> EPUBXHTML::render(const EPUBXMLNode& root) {
    if (!root.is(u"html", EPUBXMLNamespace::xhtml)) return failWith(Failure::Kind::invalidXML);
    const EPUBXMLNode::Elements bodies = root.children(u"body", EPUBXMLNamespace::xhtml);
    if (bodies.size() != 1) return failWith(Failure::Kind::invalidXML);

    if (auto failure = collectIdentifiers(root)) return tl::unexpected(*failure);
    if (auto failure = visit(*bodies.front())) return tl::unexpected(*failure);
    if (auto failure = m_text.ensureLineBreak()) return tl::unexpected(*failure);
    if (isBlank(m_text.text())) return failWith(Failure::Kind::emptyContent);

    return EPUBRendered{m_text.text(), m_spans, alignedAnchors(), m_firstHeading, m_links, m_notices};
}

// Every identifier of the document counts, also those in the head and in content that is left out:
// a reference to a repeated identifier could not say which element it means.
EPUBXHTML::Step EPUBXHTML::collectIdentifiers(const EPUBXMLNode& element) {
    if (auto failure = checkCancellation()) return failure;
    if (const std::optional<QString> identifier = element.identifier()) {
        if (identifier->isEmpty() || m_identifiers.contains(*identifier)) {
            return Failure::of(Failure::Kind::ambiguousContent);
        }
        m_identifiers.insert(*identifier);
    }
    for (const EPUBXMLNode::Content& item : element.content()) {
        if (const EPUBXMLNode* child = item.element()) {
            if (auto failure = collectIdentifiers(*child)) return failure;
        }
    }
    return std::nullopt;
}

// The checks that fail the document come before those that leave an element out, so a hidden script
// fails while a script inside a hidden element is never reached.
EPUBXHTML::Step EPUBXHTML::visit(const EPUBXMLNode& element) {
    if (auto failure = checkCancellation()) return failure;
    if (!isXHTML(element)) return Failure::of(Failure::Kind::unsupportedContent);
    const EPUBXHTMLElements::Rule& rule = ruleFor(element.name());
    if (rule.role == Role::unsupported) return Failure::of(Failure::Kind::unsupportedContent);
    if (rule.role == Role::skipped) return std::nullopt;
    if (element.attribute(kHidden)) {
        m_notices.insert(NoticeKind::omittedHidden);
        return std::nullopt;
    }
    if (isNavigation(element)) {
        m_notices.insert(NoticeKind::omittedNavigation);
        return std::nullopt;
    }

    switch (rule.role) {
    case Role::rubyAnnotation: m_notices.insert(NoticeKind::rubyAnnotationOmitted); return std::nullopt;
    case Role::media:
        m_notices.insert(NoticeKind::mediaOmitted);
        recordAnchor(element);
        return renderContent(element);
    case Role::mediaSource: m_notices.insert(NoticeKind::mediaOmitted); return std::nullopt;
    case Role::image: return renderImage(element);
    case Role::lineBreak:
        m_text.clearPendingSpace();
        recordAnchor(element);
        return m_text.appendLineFeed();
    case Role::rule: {
        auto failure = m_text.ensureLineBreak();
        recordAnchor(element);
        return failure;
    }
    case Role::list: return renderList(element);
    case Role::table: return renderTable(element);
    case Role::heading:
    case Role::block:
    case Role::inlineElement: return renderBlockOrInline(element, rule);
    case Role::unsupported:
    case Role::skipped: break;
    }
    return std::nullopt;
}

EPUBXHTML::Step EPUBXHTML::renderContent(const EPUBXMLNode& element) {
    for (const EPUBXMLNode::Content& item : element.content()) {
        if (auto failure = checkCancellation()) return failure;
        auto failure = item.isText() ? m_text.appendCollapsed(item.text(), m_preserving > 0) : visit(*item.element());
        if (failure) return failure;
    }
    return std::nullopt;
}

// A block starts and ends a line and its span takes the closing line feed; an inline element emits
// the space due before it first, so its span covers its own text only. Right after a list marker a
// block neither starts nor ends a line of its own (EPUBXHTMLText::blockBoundary).
EPUBXHTML::Step EPUBXHTML::renderBlockOrInline(const EPUBXMLNode& element, const EPUBXHTMLElements::Rule& rule) {
    const bool block = rule.role != Role::inlineElement;
    const int headingLevel = rule.headingLevel;
    const Mark mark = rule.mark;
    if (auto failure = block ? m_text.blockBoundary() : m_text.flushPendingSpace()) return failure;
    recordAnchor(element);
    const qsizetype start = m_text.length();

    if (mark == Mark::quote) ++m_quoteDepth;
    if (mark == Mark::codeBlock) ++m_preserving;
    if (auto failure = renderContent(element)) return failure;
    if (mark == Mark::codeBlock) --m_preserving;

    if (headingLevel > 0 && !m_firstHeading) {
        const QString title = m_text.text().sliced(start).trimmed();
        if (!title.isEmpty()) m_firstHeading = title;
    }
    if (block) {
        if (auto failure = m_text.blockBoundary()) return failure;
    }
    if (headingLevel > 0) recordSpan(SpanKind::heading, start, headingLevel);

    switch (mark) {
    case Mark::none: break;
    case Mark::paragraph: recordSpan(SpanKind::paragraph, start, 0); break;
    case Mark::quote:
        recordSpan(SpanKind::quote, start, m_quoteDepth);
        --m_quoteDepth;
        break;
    case Mark::codeBlock: recordSpan(SpanKind::codeBlock, start, 0); break;
    case Mark::code: recordSpan(SpanKind::code, start, 0); break;
    case Mark::strong: recordSpan(SpanKind::strong, start, 0); break;
    case Mark::emphasis: recordSpan(SpanKind::emphasis, start, 0); break;
    case Mark::link:
        if (const std::optional<QString> reference = element.attribute(u"href"); reference && start < m_text.length()) {
            m_links.append({start, m_text.length(), *reference});
        }
        break;
    }
    return std::nullopt;
}

// Items are numbered from the list's start; nested lists are not indented, their depth is carried by
// the span level only. Text directly inside the list, outside its items, is never shown.
EPUBXHTML::Step EPUBXHTML::renderList(const EPUBXMLNode& list) {
    if (auto failure = m_text.blockBoundary()) return failure;
    recordAnchor(list);
    ++m_listDepth;
    const bool ordered = list.name() == u"ol";
    qint64 number = listNumber(list.attribute(u"start").value_or(u"1"_s)).value_or(1);
    if (number < -kListNumberBound || number > kListNumberBound) return Failure::of(Failure::Kind::unsupportedContent);

    for (const EPUBXMLNode* child : list.elements()) {
        if (child->name() != u"li") {
            if (auto failure = visit(*child)) return failure;
            continue;
        }
        if (!isXHTML(*child)) return Failure::of(Failure::Kind::unsupportedContent);
        if (child->attribute(kHidden)) {
            m_notices.insert(NoticeKind::omittedHidden);
            continue;
        }
        if (const std::optional<QString> value = child->attribute(u"value")) {
            if (const std::optional<qint64> given = listNumber(*value)) {
                number = std::clamp(*given, -kListNumberBound, kListNumberBound);
            }
        }
        if (auto failure = renderListItem(*child, ordered, number)) return failure;
        ++number;
    }
    --m_listDepth;
    return std::nullopt;
}

// The item's first block goes on the marker's line, as does the first item of a list that is itself an
// item's first block.
EPUBXHTML::Step EPUBXHTML::renderListItem(const EPUBXMLNode& item, bool ordered, qint64 number) {
    if (auto failure = m_text.blockBoundary()) return failure;
    recordAnchor(item);
    const qsizetype start = m_text.length();
    const QString marker = ordered ? QString::number(number) + u". "_s : u"• "_s;
    if (auto failure = m_text.appendMarker(marker)) return failure;
    if (auto failure = renderContent(item)) return failure;
    if (auto failure = m_text.ensureLineBreak()) return failure;
    recordSpan(SpanKind::listItem, start, m_listDepth);
    return std::nullopt;
}

// The alternative text is shown as written, white space and line breaks inside it included.
EPUBXHTML::Step EPUBXHTML::renderImage(const EPUBXMLNode& image) {
    if (auto failure = m_text.flushPendingSpace()) return failure;
    recordAnchor(image);
    const QString alternative = image.attribute(u"alt").value_or(QString()).trimmed();
    const QString placeholder = alternative.isEmpty() ? u"［画像］"_s : u"［画像："_s + alternative + u"］"_s;
    if (auto failure = m_text.append(placeholder)) return failure;
    m_notices.insert(NoticeKind::imagePlaceholder);
    return std::nullopt;
}

void EPUBXHTML::recordAnchor(const EPUBXMLNode& element) {
    if (std::optional<QString> identifier = element.identifier()) {
        m_anchors.insert(std::move(*identifier), m_text.length());
    }
}

// An element that produced no text records no span.
void EPUBXHTML::recordSpan(SpanKind kind, qsizetype start, qint64 level) {
    if (start < m_text.length()) m_spans.append({kind, start, m_text.length(), level});
}

// An anchor inside a composed character sequence (a combining mark that opens an element, say) moves
// to the sequence's start, so that a jump never splits a character; one at the very end has no text
// to lead to and is dropped.
QHash<QString, qsizetype> EPUBXHTML::alignedAnchors() const {
    QHash<QString, qsizetype> aligned;
    const QString& text = m_text.text();
    std::optional<CharacterBreaks> breaks;
    for (auto anchor = m_anchors.constBegin(); anchor != m_anchors.constEnd(); ++anchor) {
        qsizetype offset = anchor.value();
        if (offset >= text.size()) continue;
        if (offset > 0) {
            if (!breaks) breaks.emplace(text);
            offset = breaks->composedCharacterSequence(offset).lowerBound;
        }
        aligned.insert(anchor.key(), offset);
    }
    return aligned;
}

}  // namespace tavrine
