#include "PelmoraMac/Capture/internal/ClearMarkFinder.h"

#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/internal/AskedAgain.h"

#include <QHash>
#include <QPair>

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

bool holdsMark(QStringView text) {
    return std::any_of(text.begin(), text.end(), isBrowserMaskCharacter);
}

bool holdsMoreThanMarks(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return !isBrowserMaskCharacter(c); });
}

// The unit offset of a code-point offset (the bus's) of a text; none past its end.
std::optional<qsizetype> unitOffset(QStringView text, int codePoints) {
    if (codePoints < 0) return std::nullopt;
    qsizetype unit = 0;
    for (int point = 0; point < codePoints; ++point) {
        if (unit >= text.size()) return std::nullopt;
        const bool pair = text[unit].isHighSurrogate() && unit + 1 < text.size() && text[unit + 1].isLowSurrogate();
        unit += pair ? 2 : 1;
    }
    return unit;
}

}  // namespace

ClearMarkFinder::ClearMarkFinder(AccessibilityBus& bus, CaptureDeadline deadline,
                                 std::function<CaptureResult<void>()> check)
    : m_bus(bus), m_deadline(deadline), m_check(std::move(check)) {}

template <typename Answers>
Answers ClearMarkFinder::batch(const std::function<Answers(CaptureDeadline)>& calls) {
    return checkedBatch(m_check, m_deadline, calls);
}

CaptureResult<QList<qsizetype>> ClearMarkFinder::clearMarks(const QString& text,
                                                            const std::optional<FollowedText>& followed) {
    if (!holdsMark(text) || !followed || followed->text != text) return QList<qsizetype>{};
    // The objects whose stretches of the text hold a mark, each once, in the order they are met.
    QList<qsizetype> holderOf(followed->sources.size(), -1);
    QList<Holder> holders;
    QList<AccessibleElement> elements;
    for (const FollowedText::Run& run : followed->runs) {
        if (holderOf[run.source] >= 0 || !holdsMark(QStringView(text).sliced(run.at, run.length))) continue;
        holderOf[run.source] = holders.size();
        holders.append(Holder{.source = run.source});
        elements.append(followed->sources[run.source].element);
    }
    // Told how many children there are first: a browser takes long to list many.
    auto counts = batch<AccessibleAnswers<int>>([&](CaptureDeadline d) { return m_bus.childCounts(elements, d); });
    if (!counts) return tl::unexpected(counts.error());
    qsizetype childCount = 0;
    for (const std::optional<int>& count : std::as_const(*counts)) childCount += count.value_or(0);
    if (childCount > kChildLimit) return QList<qsizetype>{};
    auto children = batch<AccessibleAnswers<QList<AccessibleElement>>>(
        [&](CaptureDeadline d) { return m_bus.childrenOf(elements, d); });
    if (!children) return tl::unexpected(children.error());
    for (qsizetype index = 0; index < holders.size(); ++index) {
        holders[index].children = (*children)[index].value_or(QList<AccessibleElement>{});
        place(followed->sources[holders[index].source], holders[index]);
    }
    auto stretches = clearStretches(*followed, holders);
    if (!stretches) return tl::unexpected(stretches.error());

    // The marks of each holder's runs that lie in one of its clear stretches: ascending, as the runs are.
    QList<qsizetype> clear;
    for (const FollowedText::Run& run : followed->runs) {
        const qsizetype holder = holderOf[run.source];
        if (holder < 0) continue;
        const QList<std::pair<qsizetype, qsizetype>>& shown = (*stretches)[holder];
        const QString& read = followed->sources[run.source].text;
        for (qsizetype at = run.from; at < run.from + run.length; ++at) {
            if (!isBrowserMaskCharacter(read[at])) continue;
            const bool inClear = std::any_of(shown.begin(), shown.end(), [at](const auto& stretch) {
                return stretch.first <= at && at < stretch.second;
            });
            if (inClear) clear.append(run.at + at - run.from);
        }
    }
    // The same places once the place holders before them are taken out.
    qsizetype placeHolders = 0;
    qsizetype next = 0;
    for (qsizetype& place : clear) {
        for (; next < place; ++next) {
            if (text[next] == QChar(kObjectReplacementCharacter)) ++placeHolders;
        }
        place -= placeHolders;
    }
    return clear;
}

void ClearMarkFinder::place(const FollowedText::Source& source, Holder& holder) {
    const QString& read = source.text;
    const qsizetype count = holder.children.size();
    holder.named = QList<bool>(count, false);
    holder.texts = QList<std::optional<QString>>(count);
    QHash<QPair<QString, QString>, qsizetype> indexOf;
    for (qsizetype child = 0; child < count; ++child) {
        indexOf.insert({holder.children[child].service, holder.children[child].path}, child);
    }
    // The children named at the place holders of the text read, where they stand in it: in the order of the
    // children, or the children are not the text's.
    QList<qsizetype> places;
    QList<qsizetype> named;
    for (qsizetype at = 0; (at = read.indexOf(QChar(kObjectReplacementCharacter), at)) >= 0; ++at) {
        const std::optional<AccessibleElement> object = source.objects.value(places.size());
        const auto child = object ? indexOf.constFind({object->service, object->path}) : indexOf.constEnd();
        if (child == indexOf.constEnd() || (!named.isEmpty() && *child <= named.constLast())) {
            holder.unknown = true;
            return;
        }
        places.append(at);
        named.append(*child);
        holder.named[*child] = true;
    }
    // Between two named children (or the start of the text, when the text read starts there and a child is
    // named), the children hold the text between them: a lone child holds it all.
    for (qsizetype gap = source.range.start == 0 ? 0 : 1; gap < named.size(); ++gap) {
        const qsizetype first = gap == 0 ? 0 : named[gap - 1] + 1;
        const qsizetype from = gap == 0 ? 0 : places[gap - 1] + 1;
        const QString between = read.sliced(from, places[gap] - from);
        if (named[gap] - first == 1) {
            holder.texts[first] = between;
        } else if (named[gap] == first && !between.isEmpty()) {
            holder.unknown = true;
            return;
        }
    }
}

CaptureResult<QList<QList<std::pair<qsizetype, qsizetype>>>> ClearMarkFinder::clearStretches(
    const FollowedText& followed, QList<Holder>& holders) {
    // The children asked about: those the text read does not tell, and those it does that would keep a mark.
    QList<AccessibleElement> asked;
    QList<std::pair<qsizetype, qsizetype>> askedAt;
    for (qsizetype holder = 0; holder < holders.size(); ++holder) {
        const Holder& object = holders[holder];
        if (object.unknown) continue;
        for (qsizetype child = 0; child < object.children.size(); ++child) {
            const std::optional<QString>& known = object.texts[child];
            if (object.named[child] || (known && !(holdsMark(*known) && holdsMoreThanMarks(*known)))) continue;
            asked.append(object.children[child]);
            askedAt.append({holder, child});
        }
    }
    auto roles = batch<AccessibleAnswers<std::uint32_t>>([&](CaptureDeadline d) { return m_bus.roles(asked, d); });
    if (!roles) return tl::unexpected(roles.error());
    QList<AccessibleElement> statics;
    QList<qsizetype> staticAt;
    for (qsizetype index = 0; index < asked.size(); ++index) {
        if ((*roles)[index] != AccessibleRole::staticText) continue;
        statics.append(asked[index]);
        staticAt.append(index);
    }
    // A text object is a static text without children.
    auto grandchildren = batch<AccessibleAnswers<QList<AccessibleElement>>>(
        [&](CaptureDeadline d) { return m_bus.childrenOf(statics, d); });
    if (!grandchildren) return tl::unexpected(grandchildren.error());
    // For each holder's children: whether each asked one is a text object.
    QList<QList<std::optional<bool>>> textObject;
    for (const Holder& holder : std::as_const(holders))
        textObject.append(QList<std::optional<bool>>(holder.children.size()));
    for (const auto& [holder, child] : std::as_const(askedAt)) textObject[holder][child] = false;
    QList<AccessibleTextPart> parts;
    QList<std::pair<qsizetype, qsizetype>> partAt;
    for (qsizetype index = 0; index < statics.size(); ++index) {
        const auto& children = (*grandchildren)[index];
        if (!children || !children->isEmpty()) continue;
        const auto [holder, child] = askedAt[staticAt[index]];
        textObject[holder][child] = true;
        if (holders[holder].texts[child]) continue;
        parts.append({.element = statics[index], .range = {.start = 0, .end = -1}});
        partAt.append({holder, child});
    }
    auto texts = batch<AccessibleAnswers<QString>>([&](CaptureDeadline d) { return m_bus.texts(parts, d); });
    if (!texts) return tl::unexpected(texts.error());
    for (qsizetype index = 0; index < parts.size(); ++index) {
        const auto [holder, child] = partAt[index];
        holders[holder].texts[child] = (*texts)[index];
        // A text object that gives no text leaves the holder's text untold.
        if (!(*texts)[index]) holders[holder].unknown = true;
    }

    // A list item's marker (the bullet a browser draws before the item, "::marker", its first child) is a
    // text object of no text node: its bullet is the browser's, not the page's text.
    QList<AccessibleElement> firsts;
    QList<qsizetype> firstOf;
    for (qsizetype index = 0; index < holders.size(); ++index) {
        const Holder& holder = holders[index];
        if (holder.unknown || holder.children.isEmpty() || !textObject[index].constFirst().value_or(false)) continue;
        const std::optional<QString>& own = holder.texts.constFirst();
        if (!own || !holdsMark(*own) || !holdsMoreThanMarks(*own)) continue;
        firsts.append(holder.children.constFirst());
        firstOf.append(index);
    }
    auto attributes = batch<AccessibleAnswers<QMap<QString, QString>>>(
        [&](CaptureDeadline d) { return m_bus.attributesOf(firsts, d); });
    if (!attributes) return tl::unexpected(attributes.error());
    for (qsizetype index = 0; index < firsts.size(); ++index) {
        const auto& tags = (*attributes)[index];
        if (!tags || tags->value(u"tag"_s) == u"::marker"_s) textObject[firstOf[index]].first() = false;
    }

    QList<QList<std::pair<qsizetype, qsizetype>>> stretches;
    for (qsizetype index = 0; index < holders.size(); ++index) {
        const Holder& holder = holders[index];
        QList<std::pair<qsizetype, qsizetype>> inRead;
        if (holder.unknown) {
            stretches.append(inRead);
            continue;
        }
        // The holder's whole text as its children make it up: each text object's text as it is, every other
        // child an object replacement character; and where the text objects of more than marks lie in it.
        QString whole;
        QList<std::pair<qsizetype, qsizetype>> shown;
        for (qsizetype child = 0; child < holder.children.size(); ++child) {
            const std::optional<bool>& isText = textObject[index][child];
            const std::optional<QString>& own = holder.texts[child];
            if (holder.named[child] || !own) {
                whole += QChar(kObjectReplacementCharacter);
                continue;
            }
            if (isText.value_or(false) && holdsMark(*own) && holdsMoreThanMarks(*own)) {
                shown.append({whole.size(), whole.size() + own->size()});
            }
            whole += *own;
        }
        // The part read must be that text's, else the children tell nothing about it.
        const FollowedText::Source& source = followed.sources[holder.source];
        const auto start = unitOffset(whole, source.range.start);
        const auto end = unitOffset(whole, source.range.end);
        if (start && end && *end >= *start && QStringView(whole).sliced(*start, *end - *start) == source.text) {
            for (const auto& [from, to] : std::as_const(shown)) {
                const qsizetype begin = std::max(from - *start, qsizetype(0));
                const qsizetype finish = std::min(to - *start, source.text.size());
                if (begin < finish) inRead.append({begin, finish});
            }
        }
        stretches.append(std::move(inRead));
    }
    return stretches;
}

}  // namespace tavrine
