#include "PelmoraMac/Capture/internal/ClearMarkFinder.h"

#include "PelmoraMac/Capture/CapturedText.h"

#include <algorithm>

namespace tavrine {

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
    if (auto inTime = m_check(); !inTime) return tl::unexpected(inTime.error());
    auto answers = calls(m_deadline);
    if (auto inTime = m_check(); !inTime) return tl::unexpected(inTime.error());
    return answers;
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
    auto children = batch<AccessibleAnswers<QList<AccessibleElement>>>(
        [&](CaptureDeadline d) { return m_bus.childrenOf(elements, d); });
    if (!children) return tl::unexpected(children.error());
    qsizetype childCount = 0;
    for (qsizetype index = 0; index < holders.size(); ++index) {
        holders[index].children = (*children)[index].value_or(QList<AccessibleElement>{});
        childCount += holders[index].children.size();
    }
    if (childCount > kChildLimit) return QList<qsizetype>{};
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

CaptureResult<QList<QList<std::pair<qsizetype, qsizetype>>>> ClearMarkFinder::clearStretches(
    const FollowedText& followed, const QList<Holder>& holders) {
    QList<AccessibleElement> all;
    for (const Holder& holder : holders) all.append(holder.children);
    auto roles = batch<AccessibleAnswers<std::uint32_t>>([&](CaptureDeadline d) { return m_bus.roles(all, d); });
    if (!roles) return tl::unexpected(roles.error());
    QList<AccessibleElement> statics;
    QList<qsizetype> staticAt;
    for (qsizetype index = 0; index < all.size(); ++index) {
        if ((*roles)[index] != AccessibleRole::staticText) continue;
        statics.append(all[index]);
        staticAt.append(index);
    }
    // A text object is a static text without children.
    auto grandchildren = batch<AccessibleAnswers<QList<AccessibleElement>>>(
        [&](CaptureDeadline d) { return m_bus.childrenOf(statics, d); });
    if (!grandchildren) return tl::unexpected(grandchildren.error());
    QList<AccessibleTextPart> parts;
    QList<qsizetype> partAt;
    for (qsizetype index = 0; index < statics.size(); ++index) {
        const auto& children = (*grandchildren)[index];
        if (!children || !children->isEmpty()) continue;
        parts.append({.element = statics[index], .range = {.start = 0, .end = -1}});
        partAt.append(staticAt[index]);
    }
    auto texts = batch<AccessibleAnswers<QString>>([&](CaptureDeadline d) { return m_bus.texts(parts, d); });
    if (!texts) return tl::unexpected(texts.error());
    QList<std::optional<QString>> leafTexts(all.size());
    for (qsizetype index = 0; index < parts.size(); ++index) leafTexts[partAt[index]] = (*texts)[index];

    QList<QList<std::pair<qsizetype, qsizetype>>> stretches;
    qsizetype first = 0;
    for (const Holder& holder : holders) {
        // The holder's whole text as its children make it up: each text object's text as it is, every other
        // child an object replacement character; and where the text objects of more than marks lie in it.
        QString whole;
        QList<std::pair<qsizetype, qsizetype>> shown;
        for (qsizetype child = first; child < first + holder.children.size(); ++child) {
            if (!leafTexts[child]) {
                whole += QChar(kObjectReplacementCharacter);
                continue;
            }
            if (holdsMoreThanMarks(*leafTexts[child]))
                shown.append({whole.size(), whole.size() + leafTexts[child]->size()});
            whole += *leafTexts[child];
        }
        first += holder.children.size();
        // The part read must be that text's, else the children tell nothing about it.
        const FollowedText::Source& source = followed.sources[holder.source];
        const auto start = unitOffset(whole, source.range.start);
        const auto end = unitOffset(whole, source.range.end);
        QList<std::pair<qsizetype, qsizetype>> inRead;
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
