#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tavrine {

class BrowserAutomationConsent;

// The capture tab's list of the browsers whose pages a capture reads, by name, under "ブラウザーごとの許可",
// one row each: the browser's name, a full-width colon and its answer ("許可済み", "許可されていません",
// "未確認"), and, while an answer is kept, the button that withdraws it ("許可を取り消す", or "回答を取り消す"
// for a refusal), so that the next capture from that browser asks again; a caption says so under the
// rows. Nothing while no such browser is installed.
//
// Follows the consent: an answer kept, changed or withdrawn shows at once, and the installed browsers
// are looked for again each time the list is shown. Main thread only; the consent must outlive the list.
class BrowserConsentList final : public QWidget {
public:
    struct Row {
        QString id;
        QWidget* row = nullptr;
        QLabel* status = nullptr;
        QPushButton* withdraw = nullptr;
    };

    explicit BrowserConsentList(BrowserAutomationConsent& consent, QWidget* parent = nullptr);

    const QList<Row>& rows() const { return m_rows; }
    QLabel& caption() const { return *m_caption; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();

    BrowserAutomationConsent& m_consent;
    QLabel* m_heading;
    QVBoxLayout* m_rowsLayout;
    QLabel* m_caption;
    QList<Row> m_rows;
};

}  // namespace tavrine
