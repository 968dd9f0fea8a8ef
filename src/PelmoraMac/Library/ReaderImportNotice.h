#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QToolButton;

namespace tavrine {

// The notice that reports how an import or a capture ended: the message, with a warning triangle in the
// text colour for a failure or plainly in the secondary colour for a success, and, when details are
// given (even empty ones), the disclosure "取り込みの詳細" that shows them in the caption font. Every text
// can be selected with the mouse, which leaves the keyboard focus where it was (Space still plays), and
// with the keys once Tab reaches it. The widget grows downwards to show every line and never wider than
// its place. Main thread; owned by its parent widget.
class ReaderImportNotice final : public QWidget {
public:
    explicit ReaderImportNotice(QWidget* parent = nullptr);

    // Shows the notice, or hides it for no message. The disclosure closes whenever the message differs
    // from the one shown (also after a hidden spell); new details or a new failure flag alone keep it.
    void setNotice(const std::optional<QString>& message, const std::optional<QString>& details, bool isFailure);

    const std::optional<QString>& message() const { return m_message; }
    bool isFailure() const { return m_isFailure; }
    // The disclosure is open.
    bool showsDetails() const;

    QLabel* warningIcon() const { return m_icon; }
    QLabel* messageLabel() const { return m_messageLabel; }
    // Present exactly while there are details.
    QToolButton* disclosure() const { return m_disclosure; }
    QLabel* detailsLabel() const { return m_detailsLabel; }

private:
    void setShowsDetails(bool shows);

    std::optional<QString> m_message;
    bool m_isFailure = false;
    QLabel* m_icon;
    QLabel* m_messageLabel;
    QToolButton* m_disclosure;
    QLabel* m_detailsLabel;
};

}  // namespace tavrine
