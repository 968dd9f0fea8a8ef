#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/internal/AXSelectionSteps.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <deque>
#include <thread>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

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

    auto focused = settledFocus();
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

    if (m_includeWebArticles && isTextInput) {
        // A field of a page, not one of the browser's own (its address bar): the page is asked about it, since
        // it tells a field that it masks or names a password where the bus shows the text in clear; a page
        // that cannot be asked leaves a one-line field of it unread.
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

CaptureResult<void> AXSelectionReader::settleFocus() {
    if (!m_app || m_focusNeverSettles) return {};
    const Clock& clock = SystemClock::shared();
    const Clock::MonotonicTime until = std::min(clock.monotonicNow() + kFocusSettleLimit, m_deadline);
    for (;;) {
        auto settled = focusSettled();
        if (!settled) return tl::unexpected(settled.error());
        if (*settled) return {};
        if (clock.monotonicNow() >= until) {
            // Not waited for again in this capture.
            m_focusNeverSettles = true;
            return {};
        }
        std::this_thread::sleep_until(std::min(clock.monotonicNow() + kFocusSettleStep, until));
        if (auto inTime = checkDeadline(); !inTime) return inTime;
    }
}

CaptureResult<std::optional<AccessibleElement>> AXSelectionReader::settledFocus() {
    if (auto settled = settleFocus(); !settled) return tl::unexpected(settled.error());
    auto focused = currentFocus();
    for (int again = 0; focused && again < kFocusResettles && focusMovedSinceSettled(); ++again) {
        if (auto settled = settleFocus(); !settled) return tl::unexpected(settled.error());
        focused = currentFocus();
    }
    return focused;
}

CaptureResult<bool> AXSelectionReader::focusSettled() {
    auto window = activeWindow();
    if (!window) return tl::unexpected(window.error());
    if (!*window) return false;
    // Coming back, an application may show the focus on a container of its own for a moment (Firefox: the
    // pane that holds its page) before it gives it back to the element the user left it on.
    const auto changed = m_bus.lastFocusChange(m_app->service);
    if (changed && SystemClock::shared().monotonicNow() - *changed < kFocusQuietTime) return false;
    const auto announced = m_bus.lastFocused(m_app->service);
    if (!announced) {
        m_settledChange = changed;
        return true;
    }
    auto states = call([&](CaptureDeadline d) { return m_bus.states(*announced, d); });
    if (!states) return tl::unexpected(states.error());
    if (!*states || !(*states)->has(AccessibleState::focused)) return false;
    // The panel that holds the page is where the focus passes, not where it comes to rest: on a busy machine
    // the browser may hold it there for longer than the quiet time before it gives the focus back.
    auto role = call([&](CaptureDeadline d) { return m_bus.role(*announced, d); });
    if (!role) return tl::unexpected(role.error());
    if (*role == AccessibleRole::panel) return false;
    m_settledChange = changed;
    return true;
}

bool AXSelectionReader::focusMovedSinceSettled() const {
    return m_app && !m_focusNeverSettles && m_bus.lastFocusChange(m_app->service) != m_settledChange;
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
    // The application may take its focus back from the hot key's grab only now, by way of a container of its
    // own: what it shows once that is over is compared.
    auto focused = settledFocus();
    if (!focused) return tl::unexpected(focused.error());
    auto window = activeWindow();
    if (!window) return tl::unexpected(window.error());
    if (*window != m_sourceWindow) return failed<void>(CaptureFailure::sourceChanged);
    if (*focused != m_focused) return failed<void>(CaptureFailure::sourceChanged);
    auto url = webAreaURL(*m_webArea);
    if (!url) return tl::unexpected(url.error());
    if (*url != m_sourceURL) return failed<void>(CaptureFailure::sourceChanged);
    auto states = call([&](CaptureDeadline d) { return m_bus.states(*m_webArea, d); });
    if (!states) return tl::unexpected(states.error());
    if (*states && (*states)->has(AccessibleState::busy)) return failed<void>(CaptureFailure::unavailable);
    return {};
}

}  // namespace tavrine
