#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace tavrine {

// Whether the user is typing in a text field, so that undo and redo act on the field's own editing rather
// than on the reader's replacement of a document. Editing means the application's focus widget is a
// QLineEdit, QTextEdit or QPlainTextEdit that is not read-only. Its undo and redo availability come from
// the editor's own signals, followed while it has the focus and let go when the focus moves; nothing is
// polled. Qt's editors name no action, so the titles are always "取り消す" and "やり直す".
//
// "changed" fires only when a value really changes. Main thread only.
class ReaderEditFocus final : public QObject {
    Q_OBJECT

public:
    struct State {
        bool isEditing = false;
        bool canUndo = false;
        bool canRedo = false;
        QString undoTitle = QStringLiteral("取り消す");
        QString redoTitle = QStringLiteral("やり直す");

        bool operator==(const State&) const = default;
    };

    explicit ReaderEditFocus(QObject* parent = nullptr);
    ~ReaderEditFocus() override;

    const State& state() const { return m_state; }
    // Reads the focus again; also what opening a menu does, so that its titles are current.
    void refresh();

    // The focused editor that takes undo and redo now; nothing when none is editable.
    static QWidget* editableEditor();
    // Undo (or redo) in an editor editableEditor() returned.
    static void undo(QWidget& editor, bool redo);

signals:
    void changed();

private:
    void follow(QWidget* editor);

    State m_state;
    QPointer<QWidget> m_editor;
    QList<QMetaObject::Connection> m_editorConnections;
};

}  // namespace tavrine
