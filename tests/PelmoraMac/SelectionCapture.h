#pragma once

#include "PelmoraMac/Capture/AXSelectionReader.h"

#include "ScriptedAccessibilityBus.h"
#include "SelectionTesting.h"

namespace tavrine::test {

inline const QString kPage = QStringLiteral("https://example.org/news/1");

inline ScriptedNode textArea(const QString& text, QList<AccessibleTextRange> selections = {}) {
    return {.path = QStringLiteral("/area"),
            .role = AccessibleRole::text,
            .states = statesOf({AccessibleState::multiLine}),
            .text = text,
            .selections = selections};
}

inline ScriptedNode textField(const QString& text, QList<AccessibleTextRange> selections = {}) {
    return {.path = QStringLiteral("/field"), .role = AccessibleRole::entry, .text = text, .selections = selections};
}

// One capture of the scripted application, with the rest of the desktop played by the test.
struct SelectionCapture {
    explicit SelectionCapture(ScriptedAccessibleTree tree, QString pageURL = kPage)
        : bus(std::move(tree)), desktop{.pageURL = std::move(pageURL)} {}

    ScriptedAccessibilityBus bus;
    FakeCaptureDesktop desktop;
    // The primary selection, owned by the application when set, and how often it was read.
    std::optional<QString> primary{};
    int primaryReads = 0;
    CancellationToken cancellation{};

    SelectionCaptureEnvironment environment() {
        return {.bus = &bus,
                .primarySelection = [this](pid_t pid, CaptureDeadline) -> CaptureResult<std::optional<QString>> {
                    ++primaryReads;
                    return pid == ScriptedAccessibilityBus::kProcess ? primary : std::nullopt;
                },
                .article = desktop.environment()};
    }
    CaptureResult<PreparedCapture> run(bool includeWebArticles = false,
                                       std::optional<ArticleBrowser> browser = std::nullopt) {
        return captureSelection(ScriptedAccessibilityBus::kProcess, includeWebArticles, browser, cancellation,
                                environment());
    }
    QList<CaptureWorkerRequest::Operation> operations() const {
        QList<CaptureWorkerRequest::Operation> operations;
        for (const auto& request : desktop.requests) operations.append(request.operation);
        return operations;
    }
};

// Chromium started without forced accessibility shows its frames and nothing in them.
inline ScriptedAccessibleTree emptyFrame() {
    ScriptedAccessibleTree tree = applicationWith({.path = QStringLiteral("/pane"), .role = test::kPushButtonRole});
    tree.node(QStringLiteral("/pane"))->states = {};
    return tree;
}

// A page of three blocks on the bus, a heading, a paragraph with a link in it and a form with a password
// field, and an image between them: the page's text holds an object replacement character for each, and each
// for its own part.
inline ScriptedAccessibleTree selectedPage(AccessibleTextRange pageSelection) {
    ScriptedAccessibleTree tree = pageAt(kPage);
    ScriptedNode* page = tree.node(QStringLiteral("/page"));
    page->text = QStringLiteral("\uFFFC\uFFFC\uFFFC\uFFFC");
    page->selections = {pageSelection};
    page->embedded = {QStringLiteral("/heading"), QStringLiteral("/paragraph"), QStringLiteral("/image"),
                      QStringLiteral("/form")};
    page->children = {QStringLiteral("/heading"), QStringLiteral("/paragraph"), QStringLiteral("/image"),
                      QStringLiteral("/form")};
    const QMap<QString, QString> block{{QStringLiteral("display"), QStringLiteral("block")}};
    ScriptedNode* paragraph = tree.node(QStringLiteral("/paragraph"));
    paragraph->text = QStringLiteral("リンク\uFFFCの段落");
    paragraph->selections = {{0, 7}};
    paragraph->embedded = {QStringLiteral("/link")};
    paragraph->attributes = block;
    tree.nodes.append({.path = QStringLiteral("/heading"),
                       .role = 83,
                       .parent = QStringLiteral("/page"),
                       .text = QStringLiteral("見出し"),
                       .selections = {{1, 3}},
                       .attributes = block});
    tree.nodes.append({.path = QStringLiteral("/link"),
                       .role = 88,
                       .parent = QStringLiteral("/paragraph"),
                       .text = QStringLiteral("付き"),
                       .selections = {{0, 2}},
                       .attributes = {{QStringLiteral("display"), QStringLiteral("inline")}}});
    // An image between the paragraphs: an object with no text, which adds nothing.
    tree.nodes.append({.path = QStringLiteral("/image"), .role = 27});
    tree.nodes.append({.path = QStringLiteral("/form"),
                       .role = 87,
                       .text = QStringLiteral("\uFFFC"),
                       .selections = {{0, 1}},
                       .embedded = {QStringLiteral("/secret")},
                       .attributes = block});
    tree.nodes.append({.path = QStringLiteral("/secret"),
                       .role = AccessibleRole::passwordText,
                       .text = QStringLiteral("hunter2"),
                       .selections = {{0, 7}}});
    // As a browser tells it: the page's objects outside its selection have nothing selected.
    const QStringList objects = tree.node(QStringLiteral("/page"))->embedded;
    for (int object = 0; object < int(objects.size()); ++object) {
        if (object < pageSelection.start || object >= pageSelection.end) tree.node(objects[object])->selections = {};
    }
    return tree;
}

}  // namespace tavrine::test
