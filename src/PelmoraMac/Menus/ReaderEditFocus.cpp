#include "PelmoraMac/Menus/ReaderEditFocus.h"

#include "ReaderCore/MainThread.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>

namespace tavrine {

namespace {

QTextDocument* documentOf(QWidget* editor) {
    if (auto* text = qobject_cast<QTextEdit*>(editor)) return text->document();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(editor)) return plain->document();
    return nullptr;
}

bool isEditable(QWidget* widget) {
    if (auto* line = qobject_cast<QLineEdit*>(widget)) return !line->isReadOnly();
    if (auto* text = qobject_cast<QTextEdit*>(widget)) return !text->isReadOnly();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return !plain->isReadOnly();
    return false;
}

}  // namespace

ReaderEditFocus::ReaderEditFocus(QObject* parent) : QObject(parent) {
    Q_ASSERT(isMainThread());
    connect(qApp, &QApplication::focusChanged, this, &ReaderEditFocus::refresh);
    refresh();
}

ReaderEditFocus::~ReaderEditFocus() {
    follow(nullptr);
}

QWidget* ReaderEditFocus::editableEditor() {
    QWidget* focused = QApplication::focusWidget();
    return isEditable(focused) ? focused : nullptr;
}

void ReaderEditFocus::undo(QWidget& editor, bool redo) {
    if (auto* line = qobject_cast<QLineEdit*>(&editor)) {
        redo ? line->redo() : line->undo();
    } else if (auto* text = qobject_cast<QTextEdit*>(&editor)) {
        redo ? text->redo() : text->undo();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(&editor)) {
        redo ? plain->redo() : plain->undo();
    }
}

void ReaderEditFocus::follow(QWidget* editor) {
    if (editor == m_editor) return;
    for (const auto& connection : m_editorConnections) disconnect(connection);
    m_editorConnections.clear();
    m_editor = editor;
    if (!editor) return;
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        // A line edit announces no undo state of its own; every change of its text is one.
        m_editorConnections << connect(line, &QLineEdit::textChanged, this, &ReaderEditFocus::refresh);
    } else if (QTextDocument* document = documentOf(editor)) {
        m_editorConnections << connect(document, &QTextDocument::undoAvailable, this, &ReaderEditFocus::refresh)
                            << connect(document, &QTextDocument::redoAvailable, this, &ReaderEditFocus::refresh);
    }
}

void ReaderEditFocus::refresh() {
    Q_ASSERT(isMainThread());
    QWidget* editor = editableEditor();
    follow(editor);
    State next;
    if (editor) {
        next.isEditing = true;
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            next.canUndo = line->isUndoAvailable();
            next.canRedo = line->isRedoAvailable();
        } else if (QTextDocument* document = documentOf(editor); document && document->isUndoRedoEnabled()) {
            next.canUndo = document->isUndoAvailable();
            next.canRedo = document->isRedoAvailable();
        }
    }
    if (next == m_state) return;
    m_state = std::move(next);
    emit changed();
}

}  // namespace tavrine
