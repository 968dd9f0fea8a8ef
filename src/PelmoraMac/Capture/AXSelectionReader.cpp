#include "PelmoraMac/Capture/AXSelectionReader.h"

#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/internal/ClearMarkFinder.h"
#include "PelmoraMac/Capture/internal/SelectedTextFollower.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <deque>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

template <typename T>
CaptureResult<T> failed(CaptureFailure failure) {
    return tl::unexpected(failure);
}

// Whether what the bus tells of a field names it a password field: its input type, an autocomplete that
// names a password (a bus that carries the page's own), or the name or id the page gave it. A page that
// shows a password in clear ("show password") keeps its name and id.
bool namesPassword(const QMap<QString, QString>& attributes) {
    if (attributes.value(u"text-input-type"_s).compare(u"password"_s, Qt::CaseInsensitive) == 0) return true;
    const QStringList tokens = attributes.value(u"autocomplete"_s).toLower().split(u' ', Qt::SkipEmptyParts);
    if (tokens.contains(u"current-password"_s) || tokens.contains(u"new-password"_s)) return true;
    static const QRegularExpression password(u"passw(?:or)?d|pwd|passphrase|passcode|パスワード"_s,
                                             QRegularExpression::CaseInsensitiveOption);
    return password.match(attributes.value(u"html-input-name"_s)).hasMatch() ||
           password.match(attributes.value(u"id"_s)).hasMatch();
}

}  // namespace

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

template <typename Call>
auto AXSelectionReader::call(Call&& busCall) -> decltype(busCall(CaptureDeadline{})) {
    if (auto inTime = checkDeadline(); !inTime) return tl::unexpected(inTime.error());
    auto answer = busCall(m_deadline);
    if (auto inTime = checkDeadline(); !inTime) return tl::unexpected(inTime.error());
    return answer;
}

// The focused element, looked up once, with the application (the registered application of the process)
// before it; none when the application shows none. In a browser, unless a text input is focused, also
// the page that holds it, its window and its address.
CaptureResult<std::optional<AccessibleElement>> AXSelectionReader::focusedElement() {
    if (m_focusedKnown) return m_focused;
    if (!m_appKnown) {
        auto applications = call([&](CaptureDeadline d) { return m_bus.applications(d); });
        if (!applications) return tl::unexpected(applications.error());
        for (const AccessibleElement& application : applications->value_or(QList<AccessibleElement>{})) {
            auto process = call([&](CaptureDeadline d) { return m_bus.processOf(application.service, d); });
            if (!process) return tl::unexpected(process.error());
            if (*process == m_pid) {
                m_app = application;
                break;
            }
        }
        m_appKnown = true;
    }

    auto focused = currentFocus();
    if (!focused) return focused;
    if (!*focused) {
        m_focusedKnown = true;
        return std::optional<AccessibleElement>{};
    }

    auto role = call([&](CaptureDeadline d) { return m_bus.role(**focused, d); });
    if (!role) return tl::unexpected(role.error());
    if (!*role) return failed<std::optional<AccessibleElement>>(CaptureFailure::selectionUnknown);
    // A password field is refused before anything else is asked of it.
    if (**role == AccessibleRole::passwordText) {
        return failed<std::optional<AccessibleElement>>(CaptureFailure::protectedField);
    }
    auto states = call([&](CaptureDeadline d) { return m_bus.states(**focused, d); });
    if (!states) return tl::unexpected(states.error());
    const ElementKind kind = kindOf(**role, states->value_or(AccessibleStates{}));
    const bool editable = states->value_or(AccessibleStates{}).has(AccessibleState::editable);
    const bool isTextInput =
        kind == ElementKind::textField || kind == ElementKind::textArea || kind == ElementKind::comboBox;
    if (isTextInput || editable) {
        auto attributes = call([&](CaptureDeadline d) { return m_bus.attributes(**focused, d); });
        if (!attributes) return tl::unexpected(attributes.error());
        if (*attributes && namesPassword(**attributes)) {
            return failed<std::optional<AccessibleElement>>(CaptureFailure::protectedField);
        }
    }
    m_focused = *focused;
    m_focusedKnown = true;
    m_focusedKind = kind;

    if (m_includeWebArticles && m_browser && isTextInput) {
        // A field of a page, not one of the browser's own (its address bar): the page is asked about it, since
        // it tells a field that it masks or names a password where the bus shows the text in clear.
        auto parent = call([&](CaptureDeadline d) { return m_bus.parent(*m_focused, d); });
        if (!parent) return tl::unexpected(parent.error());
        auto page = *parent ? findWebArea(**parent) : CaptureResult<std::optional<AccessibleElement>>{};
        if (!page) return tl::unexpected(page.error());
        m_sawWebArea = page->has_value();
        m_inWebDocument = m_sawWebArea;
        if (*page) {
            auto url = webAreaURL(**page);
            if (!url) return tl::unexpected(url.error());
            if (*url) {
                m_fieldPage = *page;
                m_fieldPageURL = *url;
            }
        }
    }
    if (m_includeWebArticles && !isTextInput) {
        auto window = activeWindow();
        if (!window) return tl::unexpected(window.error());
        m_sourceWindow = *window;
        auto webArea = findWebArea(*m_focused);
        if (!webArea) return tl::unexpected(webArea.error());
        m_sawWebArea = webArea->has_value();
        m_inWebDocument = m_sawWebArea;
        if (*webArea) {
            auto url = webAreaURL(**webArea);
            if (!url) return tl::unexpected(url.error());
            if (*url) {
                m_webArea = *webArea;
                m_sourceURL = *url;
                if (auto unchanged = ensureSourceUnchanged(); !unchanged) return tl::unexpected(unchanged.error());
            }
        }
        if (!m_sawWebArea && m_browser) {
            // Whether the focused element has text of its own (a text interface) at all.
            auto count = call([&](CaptureDeadline d) { return m_bus.selectionCount(*m_focused, d); });
            if (!count) return tl::unexpected(count.error());
            m_focusedShowsText = count->has_value();
        }
    }
    return m_focused;
}

// The element focused now: the one the bus announced last, while it still says it is focused; else
// the focused element found under the application's active window.
CaptureResult<std::optional<AccessibleElement>> AXSelectionReader::currentFocus() {
    if (!m_app) return std::optional<AccessibleElement>{};
    if (const auto announced = m_bus.lastFocused(m_app->service)) {
        auto states = call([&](CaptureDeadline d) { return m_bus.states(*announced, d); });
        if (!states) return tl::unexpected(states.error());
        if (*states && (*states)->has(AccessibleState::focused)) return announced;
    }
    return searchFocus();
}

// Breadth first under the active window, through showing elements only, at most kFocusSearchLimit of them.
CaptureResult<std::optional<AccessibleElement>> AXSelectionReader::searchFocus() {
    auto window = activeWindow();
    if (!window || !*window) return window;
    std::deque<AccessibleElement> pending{**window};
    QSet<QString> seen;
    for (int examined = 0; !pending.empty() && examined < kFocusSearchLimit; ++examined) {
        const AccessibleElement element = pending.front();
        pending.pop_front();
        auto states = call([&](CaptureDeadline d) { return m_bus.states(element, d); });
        if (!states) return tl::unexpected(states.error());
        const AccessibleStates found = states->value_or(AccessibleStates{});
        if (found.has(AccessibleState::focused)) return element;
        if (examined > 0 && !found.has(AccessibleState::showing)) continue;
        auto children = call([&](CaptureDeadline d) { return m_bus.children(element, d); });
        if (!children) return tl::unexpected(children.error());
        for (const AccessibleElement& child : children->value_or(QList<AccessibleElement>{})) {
            if (seen.contains(child.service + u' ' + child.path)) continue;
            seen.insert(child.service + u' ' + child.path);
            pending.push_back(child);
        }
    }
    return std::optional<AccessibleElement>{};
}

// The application's window that the bus says is active. The application's children are its top-level
// windows, whatever role their toolkit gives them (a plain Qt widget shown as a window is a "filler").
// Where none says it is active (some toolkits know it only from a window manager), the window that holds
// the element the application announced focused, while it still is.
CaptureResult<std::optional<AccessibleElement>> AXSelectionReader::activeWindow() {
    if (!m_app) return std::optional<AccessibleElement>{};
    auto windows = call([&](CaptureDeadline d) { return m_bus.children(*m_app, d); });
    if (!windows) return tl::unexpected(windows.error());
    const QList<AccessibleElement> children = windows->value_or(QList<AccessibleElement>{});
    for (const AccessibleElement& window : children) {
        auto states = call([&](CaptureDeadline d) { return m_bus.states(window, d); });
        if (!states) return tl::unexpected(states.error());
        if (*states && (*states)->has(AccessibleState::active)) return window;
    }
    const auto announced = m_bus.lastFocused(m_app->service);
    if (!announced) return std::optional<AccessibleElement>{};
    auto states = call([&](CaptureDeadline d) { return m_bus.states(*announced, d); });
    if (!states) return tl::unexpected(states.error());
    if (!*states || !(*states)->has(AccessibleState::focused)) return std::optional<AccessibleElement>{};
    std::optional<AccessibleElement> element = announced;
    for (int step = 0; element && step < kFocusSearchLimit; ++step) {
        if (children.contains(*element)) return element;
        auto parent = call([&](CaptureDeadline d) { return m_bus.parent(*element, d); });
        if (!parent) return tl::unexpected(parent.error());
        element = *parent;
    }
    return std::optional<AccessibleElement>{};
}

// The web page that holds the element: the way up, at most kWebAreaSearchLimit elements, each once,
// ends at a web page, or without one at a window, a text input or an element without a parent.
CaptureResult<std::optional<AccessibleElement>> AXSelectionReader::findWebArea(const AccessibleElement& focused) {
    QList<AccessibleElement> visited;
    std::optional<AccessibleElement> element = focused;
    while (element && visited.size() < kWebAreaSearchLimit && !visited.contains(*element)) {
        visited.append(*element);
        auto role = call([&](CaptureDeadline d) { return m_bus.role(*element, d); });
        if (!role) return tl::unexpected(role.error());
        const std::uint32_t value = role->value_or(0);
        if (value == AccessibleRole::documentWeb) return element;
        if (value == AccessibleRole::frame || value == AccessibleRole::window || value == AccessibleRole::dialog ||
            value == AccessibleRole::entry || value == AccessibleRole::text || value == AccessibleRole::comboBox ||
            value == AccessibleRole::passwordText) {
            break;
        }
        auto parent = call([&](CaptureDeadline d) { return m_bus.parent(*element, d); });
        if (!parent) return tl::unexpected(parent.error());
        element = *parent;
    }
    return std::optional<AccessibleElement>{};
}

// The address of the outermost web page above `page`, which holds it in a frame; none when there is none,
// within kWebAreaSearchLimit elements.
CaptureResult<std::optional<QString>> AXSelectionReader::topPageURL(const AccessibleElement& page) {
    std::optional<AccessibleElement> top;
    std::optional<AccessibleElement> element = page;
    for (int step = 0; element && step < kWebAreaSearchLimit; ++step) {
        auto parent = call([&](CaptureDeadline d) { return m_bus.parent(*element, d); });
        if (!parent) return tl::unexpected(parent.error());
        element = *parent;
        if (!element || element == page) break;
        auto role = call([&](CaptureDeadline d) { return m_bus.role(*element, d); });
        if (!role) return tl::unexpected(role.error());
        if (*role == AccessibleRole::documentWeb) top = element;
        if (kindOf(role->value_or(0), {}) == ElementKind::window) break;
    }
    if (!top) return std::optional<QString>{};
    return webAreaURL(*top);
}

// The page's address, when it is an http or https one.
CaptureResult<std::optional<QString>> AXSelectionReader::webAreaURL(const AccessibleElement& element) {
    auto attributes = call([&](CaptureDeadline d) { return m_bus.documentAttributes(element, d); });
    if (!attributes) return tl::unexpected(attributes.error());
    if (!*attributes) return std::optional<QString>{};
    const QString address = (*attributes)->value(u"DocURL"_s, (*attributes)->value(u"URI"_s));
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"https"_s && url.scheme() != u"http"_s)) {
        return std::optional<QString>{};
    }
    return std::optional(address);
}

CaptureResult<void> AXSelectionReader::ensureSourceUnchanged() {
    if (!m_webArea || !m_sourceWindow || !m_sourceURL) return failed<void>(CaptureFailure::sourceChanged);
    auto window = activeWindow();
    if (!window) return tl::unexpected(window.error());
    if (*window != m_sourceWindow) return failed<void>(CaptureFailure::sourceChanged);
    auto focused = currentFocus();
    if (!focused) return tl::unexpected(focused.error());
    if (*focused != m_focused) return failed<void>(CaptureFailure::sourceChanged);
    auto url = webAreaURL(*m_webArea);
    if (!url) return tl::unexpected(url.error());
    if (*url != m_sourceURL) return failed<void>(CaptureFailure::sourceChanged);
    auto states = call([&](CaptureDeadline d) { return m_bus.states(*m_webArea, d); });
    if (!states) return tl::unexpected(states.error());
    if (*states && (*states)->has(AccessibleState::busy)) return failed<void>(CaptureFailure::unavailable);
    return {};
}

CaptureResult<std::optional<QString>> AXSelectionReader::primarySelection() {
    if (!m_primary) {
        if (!m_environment.primarySelection || m_browser) {
            m_primary.emplace();
        } else {
            auto read = call([&](CaptureDeadline d) { return m_environment.primarySelection(m_pid, d); });
            if (!read) return tl::unexpected(read.error());
            m_primary = *read;
        }
    }
    return *m_primary;
}

CaptureResult<std::optional<QString>> AXSelectionReader::textSelection(const AccessibleElement& element) {
    auto count = call([&](CaptureDeadline d) { return m_bus.selectionCount(element, d); });
    if (!count) return tl::unexpected(count.error());
    if (!*count) return std::optional<QString>{};
    if (**count <= 0) return std::optional(QString());
    auto range = call([&](CaptureDeadline d) { return m_bus.selection(element, 0, d); });
    if (!range) return tl::unexpected(range.error());
    if (!*range || (*range)->start < 0 || (*range)->end < (*range)->start) {
        return failed<std::optional<QString>>(CaptureFailure::selectionUnknown);
    }
    // Each code point takes one or two units: more code points than the limit are too many units.
    if ((*range)->end - (*range)->start > kTextLimit) return failed<std::optional<QString>>(CaptureFailure::tooLong);
    if ((*range)->end == (*range)->start) return std::optional(QString());
    SelectedTextFollower follower(m_bus, m_deadline, [this] { return checkDeadline(); },
                                  {.textUnits = kTextLimit, .depth = kEmbeddingDepthLimit});
    auto text = follower.read(element, **range);
    if (text && *text) m_followed = follower.followed();
    return text;
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

bool AXSelectionReader::asksPage() const {
    if (!m_includeWebArticles || !m_browser) return false;
    const bool textInput = m_focusedKind == ElementKind::textField || m_focusedKind == ElementKind::textArea ||
                           m_focusedKind == ElementKind::comboBox;
    if (m_focused && textInput) return m_sawWebArea;
    return m_sawWebArea || !m_focusedShowsText;
}

CaptureResult<bool> AXSelectionReader::pageAnswered() {
    if (m_pageAsked) return m_page.has_value();
    m_pageAsked = true;
    if (!asksPage()) return false;
    auto page = snapshotBrowserPage(*m_browser, m_pid, m_deadline, m_cancellation, m_environment.article);
    if (!page) {
        // Not allowed to ask, or nobody to ask: the page as the bus shows it, if it does.
        const CaptureFailure failure = page.error();
        const bool cannotAsk = failure == CaptureFailure::automationRequired ||
                               failure == CaptureFailure::automationDenied ||
                               failure == CaptureFailure::browserJavaScriptDisabled;
        // Except in a one-line field of the page: the bus cannot tell one that only the page's autocomplete
        // names a password field, so its text is never read without the page's answer.
        const bool pageField =
            m_focused && (m_focusedKind == ElementKind::textField || m_focusedKind == ElementKind::comboBox);
        if (cannotAsk && m_sawWebArea && !pageField) return false;
        return tl::unexpected(failure);
    }
    // The page the bus shows: the one that holds the focus, or the focused field.
    const std::optional<AccessibleElement> shown = m_webArea ? m_webArea : m_fieldPage;
    m_pageURL = m_webArea ? m_sourceURL : m_fieldPageURL;
    if (shown && m_pageURL && page->snapshot.url != m_pageURL) {
        // The focus may be in a frame, whose page is the one the bus shows around it.
        auto top = topPageURL(*shown);
        if (!top) return tl::unexpected(top.error());
        if (!*top || page->snapshot.url != *top) return failed<bool>(CaptureFailure::sourceChanged);
        m_pageURL = *top;
    }
    m_page = std::move(*page);
    return true;
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
    if (!*length || **length != 0) return failed<QString>(CaptureFailure::selectionUnknown);
    return failed<QString>(CaptureFailure::noSelection);
}

CaptureResult<std::optional<CapturedContent>> AXSelectionReader::readBodyCandidate() {
    using Result = CaptureResult<std::optional<CapturedContent>>;
    auto focused = focusedElement();
    if (!focused) return tl::unexpected(focused.error());

    auto nothingSelected = [this]() -> CaptureResult<void> {
        auto length = selectedLength();
        if (!length) return tl::unexpected(length.error());
        if (!*length || **length != 0) return failed<void>(CaptureFailure::selectionUnknown);
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

std::optional<ReadingDocument> AXSelectionReader::convertedSelection(const QString& text) const {
    if (!m_page || !m_page->selectionDocument) return std::nullopt;
    if (withoutObjectReplacements(m_page->snapshot.selection.value_or(QString())) != text) return std::nullopt;
    return m_page->selectionDocument;
}

CaptureResult<CapturedContent> AXSelectionReader::read() {
    auto selection = readSelectedText();
    if (selection) return CapturedContent::selection(std::move(*selection));
    if (selection.error() != CaptureFailure::noSelection) return tl::unexpected(selection.error());
    auto body = readBodyCandidate();
    if (!body) return tl::unexpected(body.error());
    if (!*body || holdsNothingToRead((*body)->text())) return failed<CapturedContent>(CaptureFailure::noBodyCandidate);
    if ((*body)->text().size() > kTextLimit) return failed<CapturedContent>(CaptureFailure::tooLong);
    return std::move(**body);
}

CaptureResult<PreparedCapture> prepareCapture(const CapturedContent& content, CaptureDeadline deadline,
                                              const CancellationToken& cancellation,
                                              const CaptureWorkerRunner& runWorker) {
    if (auto inTime = checkCaptureDeadline(deadline, cancellation); !inTime) return tl::unexpected(inTime.error());
    if (content.kind == CapturedContent::Kind::article) {
        return PreparedCapture{.document = std::get<ReadingDocument>(content.payload), .isBody = true};
    }
    auto response = runWorker({.operation = CaptureWorkerRequest::Operation::markdown, .text = content.text()},
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
