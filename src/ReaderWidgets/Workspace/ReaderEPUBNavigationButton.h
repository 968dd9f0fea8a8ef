#pragma once

#include <QToolButton>

namespace tavrine {

struct ReaderDocumentContext;

// The icon button beside the document title that shows or hides the table of contents. It owns none of
// its state: its host shows it the current context and whether the pane is showing (apply), enables it,
// and toggles the pane when it is clicked. It binds no key; its help text names the menu's. Main thread;
// owned by its host.
class ReaderEPUBNavigationButton : public QToolButton {
    Q_OBJECT

public:
    static constexpr int kIconSize = 16;

    explicit ReaderEPUBNavigationButton(QWidget* parent = nullptr);

    // Labels the button for the pane's state, and names the current chapter in its help and accessible
    // name when the context has one.
    void apply(const ReaderDocumentContext& context, bool isPresented);

    bool isPresented() const { return m_isPresented; }

private:
    bool m_isPresented = false;
};

}  // namespace tavrine
