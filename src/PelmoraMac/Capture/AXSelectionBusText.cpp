#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/internal/AXSelectionSteps.h"
#include "PelmoraMac/Capture/internal/SelectedTextFollower.h"
#include "ReaderCore/Clock.h"

#include <thread>

namespace tavrine {
using namespace Qt::StringLiterals;

CaptureResult<std::optional<QString>> AXSelectionReader::primarySelection() {
    if (!m_primary) {
        if (!m_environment.primarySelection || m_browser || m_includeWebArticles) {
            m_primary.emplace();
        } else {
            auto read = call([&](CaptureDeadline d) { return m_environment.primarySelection(m_pid, d); });
            if (!read) return tl::unexpected(read.error());
            m_primary = *read;
        }
    }
    return *m_primary;
}

CaptureResult<std::optional<AccessibleTextRange>> AXSelectionReader::selectedRange(SelectedTextFollower& follower,
                                                                                   const AccessibleElement& element,
                                                                                   bool webPage) {
    // A page's selection is told by its objects where they can tell it; else it is asked for at once: a browser
    // takes long to tell it of an object of thousands (0.6 s for 5,000 items in Chromium), and one question less
    // halves that. Where it answers no range (or refuses the question), how many selections there are tells none
    // from an element without text.
    auto told = webPage ? follower.rangeFromObjects(element) : AccessibleAnswer<AccessibleTextRange>(std::nullopt);
    if (!told) return tl::unexpected(told.error());
    auto range = webPage && !*told ? call([&](CaptureDeadline d) { return m_bus.selection(element, 0, d); })
                                   : AccessibleAnswer<AccessibleTextRange>(*told);
    if (!range && range.error() == CaptureFailure::unavailable) range = std::optional<AccessibleTextRange>{};
    if (!range) return tl::unexpected(range.error());
    if (!*range || (*range)->start < 0 || (*range)->end <= (*range)->start) {
        auto count = call([&](CaptureDeadline d) { return m_bus.selectionCount(element, d); });
        if (!count) return tl::unexpected(count.error());
        if (!*count) return CaptureResult<std::optional<AccessibleTextRange>>(tl::in_place);
        if (**count <= 0) return std::optional(AccessibleTextRange{});
        range = call([&](CaptureDeadline d) { return m_bus.selection(element, 0, d); });
        if (!range) return tl::unexpected(range.error());
    }
    if (!*range || (*range)->start < 0 || (*range)->end < (*range)->start) {
        return failed<std::optional<AccessibleTextRange>>(CaptureFailure::selectionUnknown);
    }
    // Each code point takes one or two units: more code points than the limit are too many units.
    if ((*range)->end - (*range)->start > kTextLimit) {
        return failed<std::optional<AccessibleTextRange>>(CaptureFailure::tooLong);
    }
    if ((*range)->end == (*range)->start) return std::optional(AccessibleTextRange{});
    return *range;
}

CaptureResult<std::optional<QString>> AXSelectionReader::textSelection(const AccessibleElement& element) {
    auto web = focusInWebDocument();
    if (!web) return tl::unexpected(web.error());
    const bool webPage = *web || m_webArea.has_value();
    const auto follower = [&] {
        return SelectedTextFollower(m_bus, m_deadline, [this] { return checkDeadline(); },
                                    {.textUnits = kTextLimit, .depth = kEmbeddingDepthLimit, .webPage = webPage});
    };
    const auto pause = [this] {
        const Clock& clock = SystemClock::shared();
        std::this_thread::sleep_until(std::min(clock.monotonicNow() + kUnsettledPause, m_deadline));
    };
    // A page that changes its objects while they are read is read again from its selection, a few times; a
    // reading that may have caught an object as the page made it again holds once the next gives the same.
    std::optional<std::pair<std::optional<QString>, QStringList>> unsettled;
    // The page's text where it first showed nothing selected, how often it did, and whether its text changed since.
    std::optional<std::optional<QString>> unselectedPage;
    int unselectedLooks = 0;
    bool pageChanged = false;
    // Where the application announces its changes, a change it announced of an object the reading asked while it
    // read is one whatever the answers: a box emptied and filled again between two looks at the page looks the
    // same to both, and Firefox tells the selection of only some of the page's objects meanwhile.
    const bool announces = webPage && m_bus.followChanges(element.service, m_deadline);
    for (int attempt = 1;;) {
        const qsizetype announced = announces ? m_bus.changedObjects().size() : 0;
        SelectedTextFollower reading = follower();
        auto range = selectedRange(reading, element, webPage);
        if (!range) return tl::unexpected(range.error());
        if (!*range) return std::optional<QString>{};
        if ((*range)->end == (*range)->start) {
            if (!webPage) return std::optional(QString());
            // A page in the middle of a change may show no selection for a while (Firefox shows none, or one in
            // some of its objects, after it makes objects again, until it has told its selection afresh): nothing
            // is selected where every one of a few looks a moment apart finds nothing selected; where the page's
            // text changed under them, it changed while it was read.
            auto text = call([&](CaptureDeadline d) {
                return m_bus.texts({{.element = element, .range = {0, -1}}}, d);
            });
            if (!text) return tl::unexpected(text.error());
            if (!unselectedPage) unselectedPage = reading.pageText();
            pageChanged = pageChanged || *unselectedPage != reading.pageText() || *unselectedPage != text->constFirst();
            if (++unselectedLooks < kChangedPageReads) {
                pause();
                continue;
            }
            if (pageChanged) return failed<std::optional<QString>>(CaptureFailure::sourceChanged);
            return std::optional(QString());
        }
        auto text = reading.read(element, **range);
        if (text && webPage) {
            // The selection still where it was read (every object of it still as it was: the reading saw to
            // that): the reading holds of the page at one moment. Firefox tells the selection of some of a page's
            // objects, or none, for a while after it makes objects again, though the page's selection is the same.
            SelectedTextFollower again = follower();
            auto still = selectedRange(again, element, webPage);
            if (!still && still.error() != CaptureFailure::tooLong && still.error() != CaptureFailure::selectionUnknown)
                return tl::unexpected(still.error());
            if (!still || *still != *range) text = tl::unexpected(CaptureFailure::sourceChanged);
            if (text && announces && reading.asked(m_bus.changedObjects().mid(announced)))
                text = tl::unexpected(CaptureFailure::sourceChanged);
        }
        if (!text && text.error() == CaptureFailure::sourceChanged && attempt < kChangedPageReads) {
            ++attempt;
            continue;
        }
        if (text && !reading.unsettled().isEmpty() && unsettled != std::pair(*text, reading.unsettled())) {
            if (attempt >= kChangedPageReads) return failed<std::optional<QString>>(CaptureFailure::sourceChanged);
            unsettled = std::pair(*text, reading.unsettled());
            // A moment for a page in the middle of a change to end it.
            pause();
            ++attempt;
            continue;
        }
        if (text && *text) m_followed = reading.followed();
        return text;
    }
}

CaptureResult<std::optional<qsizetype>> AXSelectionReader::textSelectionLength(const AccessibleElement& element) {
    auto count = call([&](CaptureDeadline d) { return m_bus.selectionCount(element, d); });
    if (!count) return tl::unexpected(count.error());
    if (!*count) return std::optional<qsizetype>{};
    if (**count <= 0) return std::optional<qsizetype>(0);
    auto range = call([&](CaptureDeadline d) { return m_bus.selection(element, 0, d); });
    if (!range) return tl::unexpected(range.error());
    if (!*range || (*range)->start < 0 || (*range)->end < (*range)->start) {
        return failed<std::optional<qsizetype>>(CaptureFailure::selectionUnknown);
    }
    return std::optional<qsizetype>((*range)->end - (*range)->start);
}

CaptureResult<std::optional<QString>> AXSelectionReader::selectedText() {
    auto focused = focusedElement();
    if (!focused) return tl::unexpected(focused.error());
    auto page = pageAnswered();
    if (!page) return tl::unexpected(page.error());
    if (*page) {
        if (m_webArea) {
            if (auto unchanged = ensureSourceUnchanged(); !unchanged) return tl::unexpected(unchanged.error());
        }
        return std::optional(m_page->snapshot.selection.value_or(QString()));
    }
    if (!*focused) return primarySelection();
    const AccessibleElement element = m_webArea.value_or(**focused);
    auto text = textSelection(element);
    if (!text) return text;
    if (!m_webArea) {
        if (!*text) return primarySelection();
        return text;
    }
    // A page that shows no selection of its own may hold one that the primary selection tells.
    if (!*text || (*text)->isEmpty()) {
        text = primarySelection();
        if (!text) return text;
    }
    if (auto unchanged = ensureSourceUnchanged(); !unchanged) return tl::unexpected(unchanged.error());
    return text;
}

CaptureResult<std::optional<qsizetype>> AXSelectionReader::selectedLength() {
    auto focused = focusedElement();
    if (!focused) return tl::unexpected(focused.error());
    auto page = pageAnswered();
    if (!page) return tl::unexpected(page.error());
    if (*page) return std::optional<qsizetype>(m_page->snapshot.selection.value_or(QString()).size());
    auto primaryLength = [this]() -> CaptureResult<std::optional<qsizetype>> {
        auto primary = primarySelection();
        if (!primary) return tl::unexpected(primary.error());
        if (*primary) return std::optional<qsizetype>((*primary)->size());
        return std::optional<qsizetype>{};
    };
    if (!*focused) return primaryLength();
    if (m_webArea) {
        auto primary = primaryLength();
        if (!primary || *primary) return primary;
    }
    auto length = textSelectionLength(m_webArea.value_or(**focused));
    if (!length || *length || m_webArea) return length;
    return primaryLength();
}

}  // namespace tavrine
