#pragma once

#include <QToolButton>

class QAction;
class QMenu;

namespace tavrine {

struct ReaderImportAvailability;

// The toolbar's icon-only pull-down "取り込む" for bringing text in: a file into the library, the clipboard,
// or the clipboard as plain text. It opens on a press, without an arrow, and is disabled as a whole when
// neither a file nor the clipboard may be imported; otherwise each item follows its own availability. It
// binds no keys (the menu bar's items do). The window connects its requests to the reader's operations,
// which check their guards again when they run. Main thread; owned by the toolbar.
class ReaderImportMenu final : public QToolButton {
    Q_OBJECT

public:
    static constexpr int kIconSize = 16;

    explicit ReaderImportMenu(QWidget* parent = nullptr);

    void apply(const ReaderImportAvailability& availability);

    QAction& importFileAction() const { return *m_importFile; }
    QAction& importClipboardAction() const { return *m_importClipboard; }
    QAction& importPlainTextAction() const { return *m_importPlainText; }

signals:
    void importFileRequested();
    // plainText: the clipboard's plain text, leaving its formatting aside.
    void importClipboardRequested(bool plainText);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QMenu* m_menu;
    QAction* m_importFile;
    QAction* m_importClipboard;
    QAction* m_importPlainText;
};

}  // namespace tavrine
