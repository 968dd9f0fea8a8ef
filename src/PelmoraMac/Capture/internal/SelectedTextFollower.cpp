#include "PelmoraMac/Capture/internal/SelectedTextFollower.h"

#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/internal/AskedAgain.h"

#include <QRegularExpression>
#include <QSet>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// Code points of a run of text, as the bus counts offsets.
int codePoints(QStringView run) {
    return int(run.size() - std::count_if(run.begin(), run.end(), [](QChar c) { return c.isLowSurrogate(); }));
}

// The answers of `ask` for the elements that name an object, asked of those alone; none for the others.
template <typename T, typename Ask>
AccessibleAnswers<T> ofNamed(const QList<AccessibleElement>& elements, const Ask& ask) {
    QList<AccessibleElement> named;
    for (const AccessibleElement& element : elements) {
        if (!element.service.isEmpty()) named.append(element);
    }
    if (named.isEmpty()) return QList<std::optional<T>>(elements.size());
    AccessibleAnswers<T> answers = ask(named);
    if (!answers) return answers;
    QList<std::optional<T>> spread(elements.size());
    for (qsizetype index = 0, answer = 0; index < elements.size(); ++index) {
        if (!elements[index].service.isEmpty()) spread[index] = (*answers)[answer++];
    }
    return spread;
}

// Whether a container lays its children out in lines of its own making: a flex or grid container.
bool laysOutItems(const QString& display) {
    return display.contains(u"flex"_s) || display.contains(u"grid"_s);
}

// How an element with these object attributes, in a parent shown with `parentDisplay`, stands in the text
// around it. A block of the page stands apart: its display is given and is not inline-level. A ruby
// annotation and everything in it (its base, its readings and their parentheses) stays in the line it
// annotates, whatever display the browser gives those parts ("ruby", "ruby-text", or "block" for a reading
// laid out above its base). An element inline in HTML (a <b>, a link, a <span>) that the browser shows as a
// block is one only in a container known to show blocks: as an item of a flex or grid container it may sit
// in its container's line or on a line of its own (a row, a column, a grid's rows: the bus does not give a
// flex container's direction), and where the parent is unknown (none: the element read first, or a parent
// whose display the bus did not tell) a browser may have left its container out of the bus (Chromium and
// Firefox a <div> or a flex paragraph without attributes), so it may be either. Such an element is placed by
// where it is drawn.
struct Standing {
    bool block = false;
    bool placed = false;
    TextBreak onAnotherLine = TextBreak::paragraph;
};

Standing standingOf(const QMap<QString, QString>& attributes, const std::optional<QString>& parentDisplay) {
    static const QStringList rubyTags{u"ruby"_s, u"rb"_s, u"rt"_s, u"rp"_s, u"rtc"_s};
    static const QStringList inlineTags{
        u"a"_s,    u"abbr"_s,   u"acronym"_s, u"b"_s,    u"bdi"_s,    u"bdo"_s,  u"big"_s, u"button"_s, u"cite"_s,
        u"code"_s, u"data"_s,   u"del"_s,     u"dfn"_s,  u"em"_s,     u"font"_s, u"i"_s,   u"img"_s,    u"ins"_s,
        u"kbd"_s,  u"label"_s,  u"mark"_s,    u"nobr"_s, u"output"_s, u"q"_s,    u"s"_s,   u"samp"_s,   u"small"_s,
        u"span"_s, u"strike"_s, u"strong"_s,  u"sub"_s,  u"sup"_s,    u"time"_s, u"tt"_s,  u"u"_s,      u"var"_s};
    const QString display = attributes.value(u"display"_s);
    if (display.isEmpty() || display.startsWith(u"inline"_s) || display.startsWith(u"ruby"_s)) return {};
    const QString tag = attributes.value(u"tag"_s);
    if (rubyTags.contains(tag)) return {};
    if (!inlineTags.contains(tag)) return {.block = true};
    if (!parentDisplay) return {.placed = true};
    if (laysOutItems(*parentDisplay)) return {.placed = true, .onAnotherLine = TextBreak::line};
    return {.block = true};
}

// Whether these attributes tell an element of the page that shows text of its own and nothing else, whatever
// role the browser gives it: no field, list item, image or rule. Its tag says so (Chromium and Firefox give
// every element's), unless the page gave it a role of its own (xml-roles), which may make any element a
// field or an item.
bool isPlainElement(const std::optional<QMap<QString, QString>>& attributes) {
    static const QSet<QString> plainTags{
        u"a"_s,          u"abbr"_s, u"address"_s, u"article"_s,    u"aside"_s,   u"b"_s,     u"bdi"_s,  u"bdo"_s,
        u"blockquote"_s, u"cite"_s, u"code"_s,    u"data"_s,       u"dd"_s,      u"del"_s,   u"dfn"_s,  u"div"_s,
        u"dl"_s,         u"dt"_s,   u"em"_s,      u"figcaption"_s, u"footer"_s,  u"h1"_s,    u"h2"_s,   u"h3"_s,
        u"h4"_s,         u"h5"_s,   u"h6"_s,      u"header"_s,     u"i"_s,       u"ins"_s,   u"kbd"_s,  u"main"_s,
        u"mark"_s,       u"nav"_s,  u"p"_s,       u"pre"_s,        u"q"_s,       u"rb"_s,    u"rp"_s,   u"rt"_s,
        u"rtc"_s,        u"ruby"_s, u"s"_s,       u"samp"_s,       u"section"_s, u"small"_s, u"span"_s, u"strong"_s,
        u"sub"_s,        u"sup"_s,  u"time"_s,    u"u"_s,          u"var"_s};
    return attributes && plainTags.contains(attributes->value(u"tag"_s)) && !attributes->contains(u"xml-roles"_s);
}

}  // namespace

bool isListMarker(QStringView text) {
    // Bullets and dashes alone; numbers, letters, roman and Japanese numerals with their stop.
    static const QRegularExpression marker(
        u"^(?:[•◦▪▫■□●○◆◇‣⁃∙·*+\\-–—]|\\(?(?:\\d{1,9}|[A-Za-z]|[ivxlcdmIVXLCDM]{1,8}|[一二三四五六七八九十百千]{1,4})"
        u"[.)）．、])$"_s,
        QRegularExpression::UseUnicodePropertiesOption);
    QString compact;
    for (const QChar c : text) {
        if (!c.isSpace() && c != QChar(kObjectReplacementCharacter)) compact += c;
    }
    return !compact.isEmpty() && marker.match(compact).hasMatch();
}

// Units of a text that are something to read: neither white space nor an object's place holder.
qsizetype readableUnits(QStringView text) {
    return std::count_if(text.begin(), text.end(),
                         [](QChar c) { return !c.isSpace() && c != QChar(kObjectReplacementCharacter); });
}

// Whether an object of this role shows no text of its own: an image, an icon, a rule between parts.
bool showsNoText(std::uint32_t role) {
    constexpr std::uint32_t icon = 26;
    constexpr std::uint32_t image = 27;
    constexpr std::uint32_t separator = 50;
    return role == icon || role == image || role == separator;
}

bool isPlaceHoldersOnly(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == QChar(kObjectReplacementCharacter); });
}

// A field's text or selection is never asked for (a password field's, nor any other's: a page's selection does
// not hold its value, and one shown in clear may hold a password).
bool isField(std::uint32_t role) {
    return role == AccessibleRole::passwordText || role == AccessibleRole::entry || role == AccessibleRole::comboBox;
}

SelectedTextFollower::SelectedTextFollower(AccessibilityBus& bus, CaptureDeadline deadline,
                                           std::function<CaptureResult<void>()> check, Limits limits)
    : m_bus(bus), m_deadline(deadline), m_check(std::move(check)), m_limits(limits) {}

CaptureResult<std::optional<QString>> SelectedTextFollower::read(const AccessibleElement& element,
                                                                 AccessibleTextRange range) {
    m_nodes = {Node{.element = element, .range = range}};
    m_unsettled.clear();
    m_paragraphEnded = false;
    m_lineEnded = false;
    m_readableUnits = 0;
    m_text.clear();
    m_runs.clear();
    for (qsizetype level = 0; level < m_nodes.size();) {
        auto next = readLevel(level);
        if (!next) return tl::unexpected(next.error());
        level = *next;
    }
    if (auto markers = findLoneMarkers(); !markers) return tl::unexpected(markers.error());
    m_breaks = QList<QList<DrawnBreak>>(m_nodes.size());
    if (m_limits.webPage) {
        auto breaks = DrawnLineFinder(m_bus, m_deadline, m_check).find(m_nodes);
        if (!breaks) return tl::unexpected(breaks.error());
        m_breaks = std::move(*breaks);
    }
    QString text;
    auto given = appendText(m_nodes.constFirst(), text);
    if (!given) return tl::unexpected(given.error());
    if (auto still = ensureStillAsRead(); !still) return tl::unexpected(still.error());
    if (!*given) {
        m_runs.clear();
        return std::optional<QString>{};
    }
    m_text = text;
    return std::optional(std::move(text));
}

bool SelectedTextFollower::asked(const QStringList& paths) const {
    return std::any_of(m_nodes.cbegin(), m_nodes.cend(),
                       [&](const Node& node) { return paths.contains(node.element.path); });
}

FollowedText SelectedTextFollower::followed() const {
    FollowedText followed{.text = m_text, .sources = {}, .runs = m_runs};
    followed.sources.reserve(m_nodes.size());
    for (const Node& node : m_nodes) {
        followed.sources.append({.element = node.element,
                                 .range = node.range,
                                 .text = node.text.value_or(QString()),
                                 .objects = node.embedded});
    }
    return followed;
}

CaptureResult<qsizetype> SelectedTextFollower::readLevel(qsizetype first) {
    const qsizetype end = m_nodes.size();
    QList<AccessibleTextPart> parts;
    for (qsizetype index = first; index < end; ++index) {
        parts.append({.element = m_nodes[index].element, .range = m_nodes[index].range});
    }
    auto texts = batch<AccessibleAnswers<QString>>([&](CaptureDeadline d) { return m_bus.texts(parts, d); });
    if (!texts) return tl::unexpected(texts.error());

    // Every object replacement character of the level's texts, where the objects are followed.
    QList<AccessibleTextOffset> places;
    QList<Slot> targets;
    // Objects selected whole that gave no text, or an empty one: what that means is asked for after the level.
    QList<qsizetype> unread;
    for (qsizetype index = first; index < end; ++index) {
        Node& node = m_nodes[index];
        node.text = (*texts)[index - first];
        if (node.whole) {
            node.range.end = node.range.start + (node.text ? codePoints(*node.text) : 0);
            // More than a reading holds.
            if (node.range.end > m_limits.textUnits) return tl::unexpected(CaptureFailure::tooLong);
            if (!node.text || node.text->isEmpty()) {
                unread.append(index);
                continue;
            }
        } else {
            // An object found selected a moment ago that gives no text, or none of what it has selected, is gone
            // or was rewritten; so is a page whose selected range is past the end of its text (Firefox tells the
            // range of the page it was a moment before, while it makes the page's objects again).
            const bool given = node.text && (!node.text->isEmpty() || node.range.end <= node.range.start);
            if (auto found = ensureFound(given); !found) return tl::unexpected(found.error());
            // A text shorter than its range is one that changed since its range was told, or the application's own
            // way: the reading holds only when the next gives the same.
            if (m_limits.webPage && codePoints(*node.text) < node.range.end - node.range.start)
                m_unsettled.append(node.element.path + u"#range"_s);
        }
        if (!node.text) continue;
        m_readableUnits += readableUnits(*node.text);
        if (!node.text->contains(QChar(kObjectReplacementCharacter))) continue;
        // Objects nested deeper than the limit are not followed: a reading without them would be cut.
        if (node.depth >= m_limits.depth) return tl::unexpected(CaptureFailure::selectionUnknown);
        int offset = node.range.start;
        qsizetype from = 0;
        for (qsizetype object; (object = node.text->indexOf(QChar(kObjectReplacementCharacter), from)) >= 0;) {
            offset += codePoints(QStringView(*node.text).sliced(from, object - from));
            places.append({.element = node.element, .offset = offset});
            targets.append({.owner = index, .object = node.objects.size()});
            node.objects.append(-1);
            node.embedded.append(std::nullopt);
            ++offset;
            from = object + 1;
        }
    }
    if (auto given = ensureWholeGiven(unread); !given) return tl::unexpected(given.error());
    // Each object found adds a unit to read at least, or is left out, which few are: more than a reading
    // takes is refused before any of them is followed (a paragraph of 20,000 links would take longer to
    // follow than a capture has).
    if (m_readableUnits + places.size() > m_limits.textUnits) return tl::unexpected(CaptureFailure::tooLong);
    if (!places.isEmpty()) {
        if (auto added = addObjects(places, targets); !added) return tl::unexpected(added.error());
    }
    return end;
}

CaptureResult<void> SelectedTextFollower::addObjects(const QList<AccessibleTextOffset>& places,
                                                     const QList<Slot>& targets) {
    auto objects = batch<AccessibleAnswers<AccessibleElement>>(
        [&](CaptureDeadline d) { return m_bus.embeddedObjects(places, d); });
    if (!objects) return tl::unexpected(objects.error());
    // The objects found, each with the index of its place; then those that may be read.
    QList<AccessibleElement> found;
    QList<qsizetype> at;
    QList<AccessibleTextOffset> unnamed;
    for (qsizetype index = 0; index < places.size(); ++index) {
        m_nodes[targets[index].owner].embedded[targets[index].object] = (*objects)[index];
        if (!(*objects)[index]) {
            unnamed.append(places[index]);
            continue;
        }
        found.append(*(*objects)[index]);
        at.append(index);
    }
    if (auto literal = ensureLiteral(unnamed); !literal) return literal;
    if (found.isEmpty()) return {};
    // The attributes of every object come first: an element of the page whose tag tells what it is needs no
    // question about its role (one of a page's five or six questions an object: a flex row of thousands of
    // items takes a sixth less). The attributes tell the tag and the display, never a field's value.
    auto attributes = describe(found);
    if (!attributes) return tl::unexpected(attributes.error());
    QList<bool> plain;
    QList<AccessibleElement> unplain;
    for (qsizetype index = 0; index < found.size(); ++index) {
        plain.append(isPlainElement((*attributes)[index]));
        if (!plain.back()) unplain.append(found[index]);
    }
    auto roles = batch<AccessibleAnswers<std::uint32_t>>([&](CaptureDeadline d) { return m_bus.roles(unplain, d); });
    if (!roles) return tl::unexpected(roles.error());
    QList<AccessibleElement> readable;
    QList<qsizetype> readableAt;
    QList<std::uint32_t> readableRoles;
    QList<bool> listItems;
    QList<std::optional<QMap<QString, QString>>> readableAttributes;
    for (qsizetype index = 0, answer = 0; index < found.size(); ++index) {
        const std::optional<std::uint32_t> role =
            plain[index] ? std::optional(AccessibleRole::invalid) : (*roles)[answer++];
        // An object of no role is one the application has let go (Chromium answers so for an element the
        // page took away until the bus forgets it).
        if (!plain[index]) {
            if (auto known = ensureFound(role.value_or(AccessibleRole::invalid) != AccessibleRole::invalid); !known)
                return known;
        }
        // A password field's text is never asked for, nor its selection. Neither is the value of any other
        // field: a page's selection does not hold it (the bus says a field's whole value is selected whenever
        // the selection goes past it), and a field shown in clear may hold a password that the bus cannot tell.
        if (!role || isField(*role)) continue;
        readable.append(found[index]);
        readableAt.append(at[index]);
        readableRoles.append(*role);
        listItems.append(*role == AccessibleRole::listItem);
        readableAttributes.append((*attributes)[index]);
    }
    if (readable.isEmpty()) return {};
    // An object inside the selected stretch of its owner's text (not at either end of it, where the selection
    // may begin or end inside the object), or of an owner selected whole, is selected whole: its selection is
    // not asked for, which a browser takes long to tell in a page of thousands of objects (Chromium 11 ms an
    // object where the whole page is selected). A list item is asked, as the marker drawn before its text may
    // stand outside the selection.
    QList<bool> whole;
    QList<AccessibleElement> asked;
    for (qsizetype index = 0; index < readable.size(); ++index) {
        const Node& owner = m_nodes[targets[readableAt[index]].owner];
        const int offset = places[readableAt[index]].offset;
        const bool inside = owner.whole || (offset > owner.range.start && offset + 1 < owner.range.end);
        whole.append(inside && !listItems[index]);
        if (!whole.back()) asked.append(readable[index]);
    }
    auto askedSelections = selectionsOf(asked);
    if (!askedSelections) return tl::unexpected(askedSelections.error());
    QList<AccessibleTextRange> ranges;
    QList<qsizetype> selected;
    QList<Idle> idle;
    for (qsizetype index = 0, answer = 0; index < readable.size(); ++index) {
        const std::optional<AccessibleTextRange> range =
            whole[index] ? std::optional(AccessibleTextRange{.start = 0, .end = -1}) : (*askedSelections)[answer++];
        if (!range || range->start < 0 || (range->end <= range->start && !whole[index])) {
            const Slot target = targets[readableAt[index]];
            const AccessibleTextRange owner = m_nodes[target.owner].range;
            const int offset = places[readableAt[index]].offset;
            idle.append({.element = readable[index],
                         .role = readableRoles[index],
                         .inside = offset > owner.start && offset + 1 < owner.end});
            continue;
        }
        // Each code point takes one or two units: more code points than the limit are too many units (told of an
        // object selected whole once its text is read).
        if (!whole[index] && range->end - range->start > m_limits.textUnits)
            return tl::unexpected(CaptureFailure::tooLong);
        ranges.append(*range);
        selected.append(index);
    }
    if (auto still = ensureIdleUnchanged(idle); !still) return still;

    for (qsizetype index = 0; index < selected.size(); ++index) {
        const qsizetype item = selected[index];
        const Slot target = targets[readableAt[item]];
        if (auto known = ensureFound(readableAttributes[item].has_value()); !known) return known;
        const QMap<QString, QString> described = readableAttributes[item].value_or(QMap<QString, QString>{});
        const QString display = described.value(u"display"_s);
        const Node& owner = m_nodes[target.owner];
        // An owner whose display the bus did not tell (its attributes still not given) is as unknown as the
        // element read first: its items are placed where they are drawn, never each taken for a block.
        const Standing standing = standingOf(
            described, target.owner == 0 || owner.display.isEmpty() ? std::nullopt : std::optional(owner.display));
        const int depth = owner.depth + 1;
        m_nodes[target.owner].objects[target.object] = m_nodes.size();
        m_nodes.append(Node{.element = readable[item],
                            .range = ranges[index],
                            .depth = depth,
                            .role = readableRoles[item],
                            .whole = whole[item],
                            .display = display,
                            .block = standing.block,
                            .placed = standing.placed,
                            .onAnotherLine = standing.onAnotherLine,
                            .listItem = listItems[item] || display == u"list-item"_s});
    }
    return {};
}

AccessibleAnswers<AccessibleTextRange> SelectedTextFollower::selectionsOf(const QList<AccessibleElement>& elements) {
    QList<std::optional<AccessibleTextRange>> ranges(elements.size());
    // Those told already, as the first or last object of their owner.
    QList<qsizetype> unknown;
    for (qsizetype index = 0; index < elements.size(); ++index) {
        const auto told = m_selections.constFind(elements[index].path);
        if (told == m_selections.cend())
            unknown.append(index);
        else
            ranges[index] = *told;
    }
    if (unknown.isEmpty()) return ranges;
    // A browser takes long to tell the selection of an object in which the selection begins or ends among
    // thousands of objects (Chromium 0.5 s for a flex row of 5,000 items it begins and ends in), and little
    // to tell an object's text or its objects' selections. An object whose text is made of objects alone, whose
    // first and last objects both have something selected, has its whole text selected: each place holder
    // stands for some of the selection.
    QList<AccessibleTextPart> parts;
    for (const qsizetype index : unknown) parts.append({.element = elements[index], .range = {0, -1}});
    auto texts = batch<AccessibleAnswers<QString>>([&](CaptureDeadline d) { return m_bus.texts(parts, d); });
    if (!texts) return tl::unexpected(texts.error());
    QList<qsizetype> spanned;
    QList<AccessibleTextOffset> ends;
    for (qsizetype at = 0; at < unknown.size(); ++at) {
        const std::optional<QString>& text = (*texts)[at];
        if (!text || text->size() < 2 || text->size() > m_limits.textUnits || !isPlaceHoldersOnly(*text)) continue;
        spanned.append(at);
        ends << AccessibleTextOffset{.element = elements[unknown[at]], .offset = 0}
             << AccessibleTextOffset{.element = elements[unknown[at]], .offset = int(text->size()) - 1};
    }
    QList<qsizetype> asked;
    if (!spanned.isEmpty()) {
        auto objects = batch<AccessibleAnswers<AccessibleElement>>(
            [&](CaptureDeadline d) { return m_bus.embeddedObjects(ends, d); });
        if (!objects) return tl::unexpected(objects.error());
        QList<AccessibleElement> named;
        for (const auto& object : std::as_const(*objects)) named.append(object.value_or(AccessibleElement{}));
        auto roles = ofNamed<std::uint32_t>(named, [&](const QList<AccessibleElement>& asked) {
            return batch<AccessibleAnswers<std::uint32_t>>([&](CaptureDeadline d) { return m_bus.roles(asked, d); });
        });
        if (!roles) return tl::unexpected(roles.error());
        // Nothing of a field is asked for.
        for (qsizetype end = 0; end < named.size(); ++end) {
            const std::uint32_t role = (*roles)[end].value_or(AccessibleRole::invalid);
            if (role == AccessibleRole::invalid || isField(role)) named[end] = AccessibleElement{};
        }
        auto selections = ofNamed<AccessibleTextRange>(named, [&](const QList<AccessibleElement>& asked) {
            return batch<AccessibleAnswers<AccessibleTextRange>>(
                [&](CaptureDeadline d) { return m_bus.firstSelections(asked, d); });
        });
        if (!selections) return tl::unexpected(selections.error());
        const auto selects = [&](qsizetype end) {
            const std::optional<AccessibleTextRange>& range = (*selections)[end];
            return !named[end].service.isEmpty() && range && range->start >= 0 && range->end > range->start;
        };
        for (qsizetype end = 0; end < named.size(); ++end) {
            if (!named[end].service.isEmpty()) m_selections.insert(named[end].path, (*selections)[end]);
        }
        for (qsizetype at = 0; at < spanned.size(); ++at) {
            if (selects(2 * at) && selects(2 * at + 1))
                ranges[unknown[spanned[at]]] =
                    AccessibleTextRange{.start = 0, .end = int((*texts)[spanned[at]]->size())};
            else
                asked.append(unknown[spanned[at]]);
        }
    }
    for (qsizetype at = 0, next = 0; at < unknown.size(); ++at) {
        if (next < spanned.size() && spanned[next] == at) {
            ++next;
            continue;
        }
        asked.append(unknown[at]);
    }
    std::sort(asked.begin(), asked.end());
    QList<AccessibleElement> askedElements;
    for (const qsizetype index : asked) askedElements.append(elements[index]);
    if (askedElements.isEmpty()) {
        for (const qsizetype index : unknown) m_selections.insert(elements[index].path, ranges[index]);
        return ranges;
    }
    auto selections = batch<AccessibleAnswers<AccessibleTextRange>>(
        [&](CaptureDeadline d) { return m_bus.firstSelections(askedElements, d); });
    if (!selections) return tl::unexpected(selections.error());
    for (qsizetype at = 0; at < asked.size(); ++at) ranges[asked[at]] = (*selections)[at];
    for (const qsizetype index : unknown) m_selections.insert(elements[index].path, ranges[index]);
    return ranges;
}

AccessibleAnswers<QMap<QString, QString>> SelectedTextFollower::describe(const QList<AccessibleElement>& elements) {
    using Attributes = QMap<QString, QString>;
    const auto attributesOf = [&](const QList<AccessibleElement>& asked) {
        return batch<AccessibleAnswers<Attributes>>([&](CaptureDeadline d) { return m_bus.attributesOf(asked, d); });
    };
    if (!m_limits.webPage) return attributesOf(elements);
    // Every element of a page has attributes (its tag at least): none at all is an answer the browser gave
    // before it gathered them (Firefox, to the first questions after it starts), which the next gives whole.
    return askedAgain<Attributes>(
        attributesOf(elements), [](const Attributes& attributes) { return attributes.isEmpty(); },
        [&](const QList<qsizetype>& indexes) {
            QList<AccessibleElement> again;
            for (const qsizetype index : indexes) again.append(elements[index]);
            return attributesOf(again);
        },
        kAttributesRounds, kAttributesPause, m_deadline);
}

void SelectedTextFollower::appendRun(const Node& node, qsizetype from, qsizetype to, QString& text) {
    if (to <= from) return;
    if (m_paragraphEnded) startParagraph(text);
    if (m_lineEnded) startLine(text);
    m_runs.append(
        FollowedText::Run{.at = text.size(), .source = &node - m_nodes.constData(), .from = from, .length = to - from});
    text += QStringView(*node.text).sliced(from, to - from);
}

CaptureResult<bool> SelectedTextFollower::appendText(const Node& node, QString& text) {
    if (!node.text) return false;
    const QString& part = *node.text;
    const QList<DrawnBreak>& breaks = m_breaks[&node - m_nodes.constData()];
    qsizetype nextBreak = 0;
    qsizetype from = 0;
    qsizetype objectIndex = 0;
    while (from < part.size()) {
        qsizetype object = part.indexOf(QChar(kObjectReplacementCharacter), from);
        if (object < 0) object = part.size();
        // A break takes effect before the next text appended, wherever it comes from.
        for (; nextBreak < breaks.size() && breaks[nextBreak].at <= object; ++nextBreak) {
            const qsizetype at = std::max(breaks[nextBreak].at, from);
            appendRun(node, from, at, text);
            from = at;
            if (breaks[nextBreak].kind == TextBreak::paragraph) m_paragraphEnded = true;
            if (breaks[nextBreak].kind == TextBreak::line) m_lineEnded = true;
        }
        appendRun(node, from, object, text);
        if (text.size() > m_limits.textUnits) return tl::unexpected(CaptureFailure::tooLong);
        if (object == part.size()) break;
        // An object whose text adds nothing keeps its place holder, which the reading leaves out: a text
        // of place holders alone is blank.
        const qsizetype child = node.objects.value(objectIndex++, -1);
        auto added = child >= 0 ? appendObject(std::as_const(m_nodes)[child], text) : CaptureResult<bool>(false);
        if (!added) return added;
        if (!*added) text += QChar(kObjectReplacementCharacter);
        if (text.size() > m_limits.textUnits) return tl::unexpected(CaptureFailure::tooLong);
        from = object + 1;
    }
    return true;
}

CaptureResult<bool> SelectedTextFollower::appendObject(const Node& node, QString& text) {
    // An object that adds nothing to read leaves the text as it found it.
    const qsizetype before = text.size();
    const bool paragraphEnded = m_paragraphEnded;
    const bool lineEnded = m_lineEnded;
    if (node.block) startParagraph(text);
    const qsizetype start = text.size();
    auto added = appendText(node, text);
    if (!added) return added;
    const QStringView own = QStringView(text).sliced(start);
    if (!*added || holdsNothingToRead(own) || node.loneMarker) {
        text.truncate(before);
        while (!m_runs.isEmpty() && m_runs.constLast().at >= before) m_runs.removeLast();
        m_paragraphEnded = paragraphEnded;
        m_lineEnded = lineEnded;
        return false;
    }
    if (node.block) m_paragraphEnded = true;
    return true;
}

CaptureResult<void> SelectedTextFollower::findLoneMarkers() {
    for (Node& node : m_nodes) {
        if (!node.listItem || !node.text || !isListMarker(*node.text)) continue;
        // The marker the page draws before the item's text, where the bus shows it as an object of its own
        // (a browser's "::marker"): the selection is only the marker when it ends within it.
        auto children = batch<AccessibleAnswer<QList<AccessibleElement>>>(
            [&](CaptureDeadline d) { return m_bus.children(node.element, d); });
        if (!children) return tl::unexpected(children.error());
        const auto first = children->value_or(QList<AccessibleElement>{}).value(0);
        std::optional<QMap<QString, QString>> attributes;
        if (!first.service.isEmpty()) {
            auto answer = batch<AccessibleAnswer<QMap<QString, QString>>>(
                [&](CaptureDeadline d) { return m_bus.attributes(first, d); });
            if (!answer) return tl::unexpected(answer.error());
            attributes = *answer;
        }
        if (attributes && attributes->value(u"tag"_s) == u"::marker"_s) {
            auto length =
                batch<AccessibleAnswer<int>>([&](CaptureDeadline d) { return m_bus.characterCount(first, d); });
            if (!length) return tl::unexpected(length.error());
            node.loneMarker = node.range.end <= length->value_or(0);
            continue;
        }
        // Where the bus shows no marker of its own, the marker is the start of the item's text, and the item's
        // own text follows it: text that looks like a marker and is all the item holds is the item's text.
        auto length =
            batch<AccessibleAnswer<int>>([&](CaptureDeadline d) { return m_bus.characterCount(node.element, d); });
        if (!length) return tl::unexpected(length.error());
        node.loneMarker = node.range.start == 0 && length->value_or(0) > node.range.end;
    }
    return {};
}

void SelectedTextFollower::startLine(QString& text) {
    m_lineEnded = false;
    QStringView shown(text);
    while (!shown.isEmpty() && shown.back() == kObjectReplacementCharacter) shown.chop(1);
    if (shown.isEmpty() || shown.endsWith(u'\n')) return;
    text += u'\n';
}

void SelectedTextFollower::startParagraph(QString& text) {
    m_paragraphEnded = false;
    m_lineEnded = false;
    // Place holders at the end stand for nothing.
    QStringView shown(text);
    while (!shown.isEmpty() && shown.back() == kObjectReplacementCharacter) shown.chop(1);
    if (shown.isEmpty() || shown.endsWith(u"\n\n"_s)) return;
    text += shown.endsWith(u'\n') ? u"\n"_s : u"\n\n"_s;
}

}  // namespace tavrine
