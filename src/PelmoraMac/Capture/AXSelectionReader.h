#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"
#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "PelmoraMac/Capture/BrowserArticleCapture.h"
#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/CapturedContent.h"
#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/PreparedCapture.h"
#include "PelmoraMac/Capture/internal/SelectedTextFollower.h"
#include "ReaderCore/CancellationToken.h"

#include <QString>

#include <sys/types.h>
#include <chrono>
#include <functional>
#include <optional>

namespace tavrine {

// The text of the desktop's primary selection (what was last selected anywhere) when a window of the
// process with this id owns it and the user still has it selected; none when nobody owns it, another
// process does, or it may have been cleared since it was taken (readPrimarySelection). tooLong when its owner
// announces more data than a selection may hold. Bounded by the deadline.
using PrimarySelectionRead = std::function<CaptureResult<std::optional<QString>>(pid_t, CaptureDeadline)>;

// What a selection capture talks to, passed in so that tests can play it: the accessibility bus, the
// primary selection (none: never consulted) and the browser article capture with its worker runner, which
// also converts selected text.
struct SelectionCaptureEnvironment {
    AccessibilityBus* bus = nullptr;
    PrimarySelectionRead primarySelection{};
    BrowserArticleCaptureEnvironment article{};
};

// Reads, for one capture, what the user means to read in the application of process `pid`: the selected
// text; else, outside browsers, the whole text of a focused multi-line text area; else, in a browser page,
// the page's article. Every bus call is bounded by the capture's deadline and checked against it (and
// the cancellation) before and after. A text's object replacement characters (a page's text holds one for
// each of its elements) are followed to the selected part of each object's text; what cannot be followed
// is left out, and a text with nothing else in it is blank. In a web page shown on the bus, the page's masked
// text is the bullets, white bullets and squares the browser draws in its place, marked in no other way:
// each of them is left out of what is read there (withoutBrowserMasks) unless it stands in a text object of
// the page that holds other characters too (ClearMarkFinder), and a text of nothing else is a protected
// field's. Anywhere else the text read is the text selected, every character of it. A focused
// password field, and a field that the bus names a password field (by its input type, an autocomplete, its
// name or its id), is refused as one.
//
// In a supported browser, unless a text input of the browser's own has the focus, the page itself answers
// what is selected in it and whether a password field has the focus (snapshotBrowserPage), also when the
// focus is in a field of the page, which the page may mask or name a password in ways the bus does not
// tell: Chromium shows
// its pages on the bus only when accessibility is forced on it, and then as objects whose selection is
// hard to follow. Where the page cannot be asked (the user has not allowed Tavrine to read the browser's
// pages, or no browser listens) the bus is read when it shows the page, and otherwise that is the failure;
// so is it for a one-line field of the page, which the page may name a password by its autocomplete alone,
// something the bus does not tell. In a browser whose page cannot be asked at all, such a field ends as
// browserUnsupported. A one-line field the browser shows masked is a protected field's, whatever the reason.
// The primary selection is never read in a web browser: it takes the selection again, with old text (an
// earlier page's, a password field's), whenever its page gets the focus back, and may hold the clear text
// of what its page masks. Where the bus shows a browser's page no selection there, a browser whose page
// cannot be asked ends as browserUnsupported.
//
// Elsewhere, where the bus shows no focused text (no focused element, an element without text, or a page
// that shows no selection), the primary selection stands in, when the application owns it and it is still
// the user's selection (readPrimarySelection).
//
// Before anything is read, the application's focus is let settle: while the hot key is held its grab takes
// the X11 focus, and an application tells the bus that its window is active again, and gives the focus back
// to the element it was on, only a moment after the keys are released. Until then (focusSettled; at most
// kFocusSettleLimit, within the deadline) the reader waits, and again before it compares the page and
// the focus with those it began with; an application that does not settle is read as it is. One instance per capture,
// on one thread, which it blocks.
class AXSelectionReader {
public:
    // The most elements looked at on the way up from the focused element to a web page.
    static constexpr int kWebAreaSearchLimit = 40;
    // The most showing elements searched for the focused one when the bus has not announced it.
    static constexpr int kFocusSearchLimit = 500;
    // The longest selection, body or article text, in UTF-16 units; more code points than this can be
    // refused before the text is sent, since each takes one or two units.
    static constexpr qsizetype kTextLimit = 20'000;
    // The deepest nesting of objects whose text is followed from a selected text.
    static constexpr int kEmbeddingDepthLimit = 128;
    // How many times a web page's selection is read while its objects change under the reading: then the
    // capture ends with sourceChanged.
    static constexpr int kChangedPageReads = 3;
    // The pause before a web page's selection is read again to confirm a reading that may have caught the
    // page in the middle of a change (SelectedTextFollower::unsettled).
    static constexpr std::chrono::milliseconds kUnsettledPause{30};
    // The longest wait for the application's window to be active again after the hot key's grab.
    static constexpr std::chrono::milliseconds kFocusSettleLimit{300};
    // The pause between two looks at whether it is.
    static constexpr std::chrono::milliseconds kFocusSettleStep{5};
    // How long no focus may have been announced for the focus to count as settled.
    static constexpr std::chrono::milliseconds kFocusQuietTime{40};
    // How many times the focus is let settle again when it moved just after it had settled.
    static constexpr int kFocusResettles = 3;

    AXSelectionReader(pid_t pid, bool includeWebArticles, std::optional<ArticleBrowser> browser,
                      CaptureDeadline deadline, CancellationToken cancellation,
                      SelectionCaptureEnvironment environment);

    // What the user means to read; a selection or a body candidate says how its line ends are read: kept
    // in a browser or a web page any application shows, unwrapped anywhere else (readsWebText).
    CaptureResult<CapturedContent> read();
    // The selected text without its object replacement characters, checked: tooLong over kTextLimit
    // units, emptyText when nothing is left to read; noSelection when nothing is selected,
    // selectionUnknown when something is selected that cannot be read.
    CaptureResult<QString> readSelectedText();
    // The body candidate or the article; none when there is neither.
    CaptureResult<std::optional<CapturedContent>> readBodyCandidate();
    // The document of the selected text `text` when the page told it and its worker read it as Markdown.
    std::optional<ReadingDocument> convertedSelection(const QString& text) const;

private:
    enum class ElementKind { secureField, textField, textArea, comboBox, webArea, window, other };
    static ElementKind kindOf(std::uint32_t role, AccessibleStates states);

    CaptureResult<std::optional<AccessibleElement>> focusedElement();
    // Waits, at most kFocusSettleLimit, for the application's focus to settle (focusSettled).
    CaptureResult<void> settleFocus();
    // Whether one of the application's windows is active, no focus was announced in the last
    // kFocusQuietTime, and the element announced focused last, if any, still says it is and is no panel.
    CaptureResult<bool> focusSettled();
    CaptureResult<std::optional<AccessibleElement>> currentFocus();
    // The element focused once the focus has settled, settled again (at most kFocusResettles times) while
    // a focus was announced just after it did.
    CaptureResult<std::optional<AccessibleElement>> settledFocus();
    // Whether a focus was announced since the focus last settled: a busy application may take the hot key's
    // grab in only after the reader saw its focus settled.
    bool focusMovedSinceSettled() const;
    CaptureResult<std::optional<AccessibleElement>> searchFocus();
    CaptureResult<std::optional<AccessibleElement>> activeWindow();
    CaptureResult<std::optional<AccessibleElement>> findWebArea(const AccessibleElement& focused);
    CaptureResult<std::optional<QString>> webAreaURL(const AccessibleElement& element);
    CaptureResult<std::optional<QString>> topPageURL(const AccessibleElement& page);
    CaptureResult<void> ensureSourceUnchanged();

    CaptureResult<std::optional<QString>> selectedText();
    CaptureResult<std::optional<qsizetype>> selectedLength();
    // The selected text of an element's text interface ("" when nothing is selected), its objects
    // followed (SelectedTextFollower); none without one.
    CaptureResult<std::optional<QString>> textSelection(const AccessibleElement& element);
    // The selected range of an element's text: an empty one where nothing is selected, none without a text
    // interface; asked of a web page's objects where they can tell it (SelectedTextFollower::rangeFromObjects).
    CaptureResult<std::optional<AccessibleTextRange>> selectedRange(SelectedTextFollower& follower,
                                                                    const AccessibleElement& element, bool webPage);
    // The length, in code points, of that selection (0 for a caret); none without a text interface.
    CaptureResult<std::optional<qsizetype>> textSelectionLength(const AccessibleElement& element);
    CaptureResult<std::optional<QString>> primarySelection();
    // Whether the focused element lies in a web page, looked for once: there the bus gives the page's masked
    // text as the characters the browser draws in its place, and nothing else tells it.
    CaptureResult<bool> focusInWebDocument();
    // Whether the text read is a web page's: a browser is in front, its page answered, or the focus lies in
    // a web page on the bus. A web page's line ends are its own, never a wrap.
    CaptureResult<bool> readsWebText();
    CaptureResult<CapturedContent> withLineEnds(CapturedContent content);
    // A text read for the focus without its object replacement characters and, in a web page the bus shows
    // (not the page's own answer, which leaves out what the page masks), without what the browser draws for
    // masked text (withoutBrowserMasks) but for the marks that the page's text objects show in the clear
    // (ClearMarkFinder). Elsewhere every character of it is kept.
    CaptureResult<UnmaskedText> readableText(QString text);
    // Whether the page is asked what is selected in it: a supported browser in front, no text input of
    // its own focused, and either a web page on the bus or no focused element with text of its own.
    bool asksPage() const;
    // The page's answer, asked once; false where it is not asked, or cannot be and the bus shows the page.
    CaptureResult<bool> pageAnswered();
    // A one-line field of a page, focused in a browser: a supported one's or another's.
    bool focusedPageField() const;
    // The end of a capture in a one-line field of a page that cannot be asked: protectedField when the
    // browser shows its selected text masked, else `reason`.
    CaptureFailure pageFieldRefusal(CaptureFailure reason);
    // Why nothing is read where the bus shows no selection at all: browserUnsupported in a web browser
    // whose page cannot be asked, selectionUnknown elsewhere.
    CaptureFailure noSelectionShown() const;

    CaptureResult<void> checkDeadline() const;
    // One bus call between two checks of the deadline and the cancellation: a call that ends at or after
    // the deadline fails with timedOut whatever it answered.
    template <typename Call>
    auto call(Call&& busCall) -> decltype(busCall(CaptureDeadline{}));

    AccessibilityBus& m_bus;
    SelectionCaptureEnvironment m_environment;
    CancellationToken m_cancellation;
    std::optional<AccessibleElement> m_app;
    bool m_appKnown = false;
    // The application's focus did not settle within kFocusSettleLimit once.
    bool m_focusNeverSettles = false;
    // When the focus had last moved as it settled.
    std::optional<Clock::MonotonicTime> m_settledChange;
    CaptureDeadline m_deadline;
    std::optional<AccessibleElement> m_focused;
    bool m_focusedKnown = false;
    ElementKind m_focusedKind = ElementKind::other;
    bool m_includeWebArticles = false;
    std::optional<AccessibleElement> m_webArea;
    // A web page was found above the focused element (with a usable address or not).
    bool m_sawWebArea = false;
    // Whether the focused element lies in a web page, once looked for.
    std::optional<bool> m_inWebDocument;
    // In a browser without a web page: the focused element has a text interface.
    bool m_focusedShowsText = false;
    // In a browser, the page that holds the focused field, and its address: where the page is asked about it.
    std::optional<AccessibleElement> m_fieldPage;
    std::optional<QString> m_fieldPageURL;
    std::optional<AccessibleElement> m_sourceWindow;
    std::optional<QString> m_sourceURL;
    // The address of the page that answered: the web page's, or the page around it when that is a frame's.
    std::optional<QString> m_pageURL;
    std::optional<ArticleBrowser> m_browser;
    pid_t m_pid = 0;
    std::optional<std::optional<QString>> m_primary;
    // The selected text read over the bus, with where each stretch of it was read.
    std::optional<FollowedText> m_followed;
    bool m_pageAsked = false;
    // Why a supported browser's page could not be asked (no consent, no remote debugging), once it was tried.
    std::optional<CaptureFailure> m_pageRefusal;
    // The page's first snapshot, once it has answered.
    std::optional<BrowserPage> m_page;
};

// The capture of what is selected in the application of process `pid`, read and converted under one
// deadline of kCaptureTimeGiven from now: permissionRequired when the accessibility bus is missing or
// disabled (nothing else happens); else the reader's content, prepared (prepareCapture). Blocks its thread
// (a pool thread) and sees the cancellation before and after every call.
CaptureResult<PreparedCapture> captureSelection(pid_t pid, bool includeWebArticles,
                                                std::optional<ArticleBrowser> browser,
                                                const CancellationToken& cancellation,
                                                const SelectionCaptureEnvironment& environment);

// An article as it is, a body; a selection or a body candidate converted by the worker's markdown
// operation, with the content's line ends, under the deadline, whose failures come through;
// markdownUnreadable when its answer holds no valid document. The deadline (cancelled, timedOut) is
// checked first.
CaptureResult<PreparedCapture> prepareCapture(const CapturedContent& content, CaptureDeadline deadline,
                                              const CancellationToken& cancellation,
                                              const CaptureWorkerRunner& runWorker);

}  // namespace tavrine
