#pragma once

#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CaptureMarkdown.h"

#include "ScriptedAccessibleTree.h"

#include <QList>

namespace tavrine::test {

inline constexpr std::uint32_t kParagraphRole = 73;
inline constexpr std::uint32_t kPushButtonRole = 43;
inline constexpr std::uint32_t kApplicationRole = 75;

inline AccessibleStates statesOf(std::initializer_list<int> states) {
    AccessibleStates result;
    for (int state : states) result = result.with(state);
    return result;
}

// An application whose active window holds `focused` (focused and showing), and `others` beside it.
inline ScriptedAccessibleTree applicationWith(ScriptedNode focused, QList<ScriptedNode> others = {}) {
    const QString root = QString::fromLatin1(ScriptedAccessibleTree::kRoot);
    focused.parent = focused.parent.isEmpty() ? QStringLiteral("/frame") : focused.parent;
    focused.states = focused.states.with(AccessibleState::focused).with(AccessibleState::showing);
    ScriptedNode frame{.path = QStringLiteral("/frame"),
                       .role = AccessibleRole::frame,
                       .states = statesOf({AccessibleState::active, AccessibleState::showing}),
                       .parent = root,
                       .children = {focused.path}};
    ScriptedAccessibleTree tree{
        .nodes = {{.path = root, .role = kApplicationRole, .children = {frame.path}}, frame, focused}};
    tree.nodes.append(others);
    return tree;
}

// A browser window showing the page at `url`, nothing selected, its paragraph focused.
inline ScriptedAccessibleTree pageAt(const QString& url) {
    ScriptedNode paragraph{.path = QStringLiteral("/paragraph"),
                           .role = kParagraphRole,
                           .parent = QStringLiteral("/page"),
                           .text = QStringLiteral("本文です。")};
    ScriptedNode page{.path = QStringLiteral("/page"),
                      .role = AccessibleRole::documentWeb,
                      .states = statesOf({AccessibleState::showing}),
                      .parent = QStringLiteral("/frame"),
                      .children = {paragraph.path},
                      .documentAttributes = QMap<QString, QString>{{QStringLiteral("DocURL"), url}},
                      .text = QString()};
    auto tree = applicationWith(paragraph, {page});
    tree.node(QStringLiteral("/frame"))->children = {page.path};
    return tree;
}

inline ReadingDocument articleDocument() {
    return {.sections = std::nullopt,
            .text = QStringLiteral("記事の本文\n"),
            .spans = {{.kind = ReadingDocument::Span::Kind::paragraph, .start = 0, .end = 6}}};
}

// The rest of the desktop for a selection capture: the browser stays in front with automation allowed
// (unless the test says otherwise), and the workers answer at once: the page at `pageURL` with what is
// selected in it (its HTML when nothing is), its article, and selected text read as Markdown in this
// process. Every request is logged.
struct FakeCaptureDesktop {
    QString pageURL;
    QList<CaptureWorkerRequest> requests{};
    // What is selected in the page, as the page tells it.
    QString pageSelection{};
    int permission = kAutomationAllowed;
    // What every snapshot fails with, if anything: no browser that listens, a focused password field.
    std::optional<CaptureFailure> snapshotFailure{};
    // The first snapshot's worker reads the page's selection as Markdown too, as the real one does.
    bool convertsSelection = false;

    BrowserArticleCaptureEnvironment environment() {
        return {.isFrontApplication = [](pid_t) { return true; },
                .automationPermission = [this](ArticleBrowser) { return permission; },
                .runWorker = [this](const CaptureWorkerRequest& request, CaptureDeadline,
                                    const CancellationToken& cancellation) -> CaptureResult<CaptureWorkerResponse> {
                    requests.append(request);
                    using Operation = CaptureWorkerRequest::Operation;
                    const bool withHTML = request.operation == Operation::snapshot && pageSelection.isEmpty();
                    const BrowserSnapshot snapshot{
                        .status = QStringLiteral("ok"),
                        .url = pageURL,
                        .documentID = QStringLiteral("1.5"),
                        .html = withHTML ? std::optional(QStringLiteral("<p>記事の本文</p>")) : std::nullopt,
                        .selection = pageSelection,
                        .windowID = QStringLiteral("1"),
                        .tabID = QStringLiteral("T")};
                    switch (request.operation) {
                    case Operation::snapshot:
                    case Operation::verify:
                        if (snapshotFailure) return tl::unexpected(*snapshotFailure);
                        if (convertsSelection && request.operation == Operation::snapshot) {
                            if (auto document = readMarkdownForCapture(pageSelection, cancellation)) {
                                return CaptureWorkerResponse{.snapshot = snapshot, .document = *document};
                            }
                        }
                        return CaptureWorkerResponse{.snapshot = snapshot};
                    case Operation::extract: return CaptureWorkerResponse{.document = articleDocument()};
                    case Operation::markdown: {
                        auto document =
                            readMarkdownForCapture(request.text.value_or(QString()), cancellation,
                                                   request.lineEnds.value_or(MarkdownReader::LineEnds::kept));
                        if (!document) return CaptureWorkerResponse::failed(document.error());
                        return CaptureWorkerResponse{.document = *document};
                    }
                    case Operation::clipboard: break;
                    }
                    return tl::unexpected(CaptureFailure::unavailable);
                }};
    }
};

}  // namespace tavrine::test
