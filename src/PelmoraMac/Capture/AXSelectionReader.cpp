#include "PelmoraMac/Capture/AXSelectionReader.h"

#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/internal/AXSelectionSteps.h"
#include "PelmoraMac/Capture/internal/ClearMarkFinder.h"

namespace tavrine {
using namespace Qt::StringLiterals;

AXSelectionReader::AXSelectionReader(pid_t pid, bool includeWebArticles, std::optional<ArticleBrowser> browser,
                                     CaptureDeadline deadline, CancellationToken cancellation,
                                     SelectionCaptureEnvironment environment)
    : m_bus(*environment.bus),
      m_environment(std::move(environment)),
      m_cancellation(std::move(cancellation)),
      m_deadline(deadline),
      m_includeWebArticles(includeWebArticles),
      m_browser(browser),
      m_pid(pid) {}

AXSelectionReader::ElementKind AXSelectionReader::kindOf(std::uint32_t role, AccessibleStates states) {
    switch (role) {
    case AccessibleRole::passwordText: return ElementKind::secureField;
    case AccessibleRole::entry:
    case AccessibleRole::text:
        return states.has(AccessibleState::multiLine) ? ElementKind::textArea : ElementKind::textField;
    case AccessibleRole::comboBox: return ElementKind::comboBox;
    case AccessibleRole::documentWeb: return ElementKind::webArea;
    case AccessibleRole::frame:
    case AccessibleRole::window:
    case AccessibleRole::dialog: return ElementKind::window;
    default: return ElementKind::other;
    }
}

CaptureResult<void> AXSelectionReader::checkDeadline() const {
    return checkCaptureDeadline(m_deadline, m_cancellation);
}

CaptureResult<bool> AXSelectionReader::focusInWebDocument() {
    if (!m_focused) return false;
    if (!m_inWebDocument) {
        // Not looked for on the way to the focus: up from it, or from a text input's parent (the way up
        // stops at a text input).
        std::optional<AccessibleElement> start = m_focused;
        if (m_focusedKind == ElementKind::textField || m_focusedKind == ElementKind::textArea ||
            m_focusedKind == ElementKind::comboBox) {
            auto parent = call([&](CaptureDeadline d) { return m_bus.parent(*m_focused, d); });
            if (!parent) return tl::unexpected(parent.error());
            start = *parent;
        }
        auto page = start ? findWebArea(*start) : CaptureResult<std::optional<AccessibleElement>>{};
        if (!page) return tl::unexpected(page.error());
        m_inWebDocument = page->has_value();
    }
    return *m_inWebDocument;
}

CaptureResult<UnmaskedText> AXSelectionReader::readableText(QString text) {
    if (m_page) return UnmaskedText{.text = withoutObjectReplacements(std::move(text))};
    auto web = focusInWebDocument();
    if (!web) return tl::unexpected(web.error());
    if (!*web) return UnmaskedText{.text = withoutObjectReplacements(std::move(text))};
    auto clear = ClearMarkFinder(m_bus, m_deadline, [this] { return checkDeadline(); }).clearMarks(text, m_followed);
    if (!clear) return tl::unexpected(clear.error());
    return withoutBrowserMasks(withoutObjectReplacements(std::move(text)), *clear);
}

CaptureResult<QString> AXSelectionReader::readSelectedText() {
    auto text = selectedText();
    if (!text) return tl::unexpected(text.error());
    if (*text && !(*text)->isEmpty()) {
        auto readable = readableText(std::move(**text));
        if (!readable) return tl::unexpected(readable.error());
        if (readable->text.size() > kTextLimit) return failed<QString>(CaptureFailure::tooLong);
        if (holdsNothingToRead(readable->text)) {
            return failed<QString>(readable->maskedUnits > 0 ? CaptureFailure::protectedField
                                                             : CaptureFailure::emptyText);
        }
        return std::move(readable->text);
    }
    auto length = selectedLength();
    if (!length) return tl::unexpected(length.error());
    if (!*length) return failed<QString>(noSelectionShown());
    // A page over the bus that showed nothing selected, look after look, and shows a selection now has changed
    // under the reading (Firefox tells a page's selection again a while after it makes objects again).
    if (**length != 0)
        return failed<QString>(m_webArea ? CaptureFailure::sourceChanged : CaptureFailure::selectionUnknown);
    return failed<QString>(CaptureFailure::noSelection);
}

CaptureResult<std::optional<CapturedContent>> AXSelectionReader::readBodyCandidate() {
    using Result = CaptureResult<std::optional<CapturedContent>>;
    auto focused = focusedElement();
    if (!focused) return tl::unexpected(focused.error());

    auto nothingSelected = [this]() -> CaptureResult<void> {
        auto length = selectedLength();
        if (!length) return tl::unexpected(length.error());
        if (!*length) return failed<void>(noSelectionShown());
        if (**length != 0) return failed<void>(CaptureFailure::selectionUnknown);
        return {};
    };

    // The page answered that nothing is selected in it: its first snapshot holds its HTML.
    auto page = pageAnswered();
    if (!page) return tl::unexpected(page.error());
    if (*page) {
        if (m_webArea) {
            if (auto unchanged = ensureSourceUnchanged(); !unchanged) return tl::unexpected(unchanged.error());
        }
        auto article = extractBrowserArticle(m_page->snapshot, m_pageURL, *m_browser, m_pid, m_deadline, m_cancellation,
                                             m_environment.article);
        if (!article) return tl::unexpected(article.error());
        if (m_webArea) {
            if (auto unchanged = ensureSourceUnchanged(); !unchanged) return tl::unexpected(unchanged.error());
        }
        if (!*article) return std::optional<CapturedContent>{};
        return Result(CapturedContent::article(std::move(**article)));
    }
    if (!*focused) return std::optional<CapturedContent>{};

    if (m_webArea) {
        if (auto unchanged = ensureSourceUnchanged(); !unchanged) return tl::unexpected(unchanged.error());
        if (auto none = nothingSelected(); !none) return tl::unexpected(none.error());
        if (!m_browser) return failed<std::optional<CapturedContent>>(CaptureFailure::browserUnsupported);
        if (!m_sourceURL) return failed<std::optional<CapturedContent>>(CaptureFailure::sourceChanged);
        auto article =
            captureBrowserArticle(*m_browser, *m_sourceURL, m_pid, m_deadline, m_cancellation, m_environment.article);
        if (!article) return tl::unexpected(article.error());
        if (auto unchanged = ensureSourceUnchanged(); !unchanged) return tl::unexpected(unchanged.error());
        if (auto none = nothingSelected(); !none) return tl::unexpected(none.error());
        if (!*article) return std::optional<CapturedContent>{};
        return Result(CapturedContent::article(std::move(**article)));
    }

    if (m_includeWebArticles || m_focusedKind != ElementKind::textArea) return std::optional<CapturedContent>{};
    if (auto none = nothingSelected(); !none) return tl::unexpected(none.error());
    auto count = call([&](CaptureDeadline d) { return m_bus.characterCount(**focused, d); });
    if (!count) return tl::unexpected(count.error());
    if (!*count) return std::optional<CapturedContent>{};
    // Refused before the text is sent: each code point takes one or two units.
    if (**count > kTextLimit) return failed<std::optional<CapturedContent>>(CaptureFailure::tooLong);
    auto text = call([&](CaptureDeadline d) { return m_bus.text(**focused, {.start = 0, .end = **count}, d); });
    if (!text) return tl::unexpected(text.error());
    if (!*text) return std::optional<CapturedContent>{};
    auto readable = readableText(std::move(**text));
    if (!readable) return tl::unexpected(readable.error());
    if (readable->maskedUnits > 0 && holdsNothingToRead(readable->text)) {
        return failed<std::optional<CapturedContent>>(CaptureFailure::protectedField);
    }
    return Result(CapturedContent::bodyCandidate(std::move(readable->text)));
}

CaptureResult<bool> AXSelectionReader::readsWebText() {
    if (m_browser || m_includeWebArticles || m_page || m_webArea || m_sawWebArea) return true;
    return focusInWebDocument();
}

CaptureResult<CapturedContent> AXSelectionReader::withLineEnds(CapturedContent content) {
    auto web = readsWebText();
    if (!web) return tl::unexpected(web.error());
    content.lineEnds = *web ? MarkdownReader::LineEnds::kept : MarkdownReader::LineEnds::unwrapped;
    return content;
}

CaptureResult<CapturedContent> AXSelectionReader::read() {
    auto selection = readSelectedText();
    if (selection) return withLineEnds(CapturedContent::selection(std::move(*selection)));
    if (selection.error() != CaptureFailure::noSelection) return tl::unexpected(selection.error());
    auto body = readBodyCandidate();
    if (!body) return tl::unexpected(body.error());
    if (!*body || holdsNothingToRead((*body)->text())) return failed<CapturedContent>(CaptureFailure::noBodyCandidate);
    if ((*body)->text().size() > kTextLimit) return failed<CapturedContent>(CaptureFailure::tooLong);
    if ((*body)->kind == CapturedContent::Kind::article) return std::move(**body);
    return withLineEnds(std::move(**body));
}

CaptureResult<PreparedCapture> prepareCapture(const CapturedContent& content, CaptureDeadline deadline,
                                              const CancellationToken& cancellation,
                                              const CaptureWorkerRunner& runWorker) {
    if (auto inTime = checkCaptureDeadline(deadline, cancellation); !inTime) return tl::unexpected(inTime.error());
    if (content.kind == CapturedContent::Kind::article) {
        return PreparedCapture{.document = std::get<ReadingDocument>(content.payload), .isBody = true};
    }
    auto response = runWorker(
        {.operation = CaptureWorkerRequest::Operation::markdown, .text = content.text(), .lineEnds = content.lineEnds},
        deadline, cancellation);
    if (!response) return tl::unexpected(response.error());
    if (!response->document || !response->document->isValid()) {
        return failed<PreparedCapture>(CaptureFailure::markdownUnreadable);
    }
    return PreparedCapture{.document = std::move(*response->document),
                           .isBody = content.kind == CapturedContent::Kind::bodyCandidate};
}

CaptureResult<PreparedCapture> captureSelection(pid_t pid, bool includeWebArticles,
                                                std::optional<ArticleBrowser> browser,
                                                const CancellationToken& cancellation,
                                                const SelectionCaptureEnvironment& environment) {
    if (!environment.bus || !environment.bus->isEnabled()) {
        return failed<PreparedCapture>(CaptureFailure::permissionRequired);
    }
    const CaptureDeadline deadline = captureDeadlineFrom(SystemClock::shared().monotonicNow());
    AXSelectionReader reader(pid, includeWebArticles, browser, deadline, cancellation, environment);
    auto content = reader.read();
    if (!content) return tl::unexpected(content.error());
    if (content->kind == CapturedContent::Kind::selection) {
        if (auto document = reader.convertedSelection(content->text())) {
            if (auto inTime = checkCaptureDeadline(deadline, cancellation); !inTime) {
                return tl::unexpected(inTime.error());
            }
            return PreparedCapture{.document = std::move(*document), .isBody = false};
        }
    }
    return prepareCapture(*content, deadline, cancellation, environment.article.runWorker);
}

}  // namespace tavrine
