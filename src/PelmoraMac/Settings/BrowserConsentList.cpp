#include "PelmoraMac/Settings/BrowserConsentList.h"

#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

QString answerText(const std::optional<bool>& allowed) {
    if (!allowed) return u"未確認"_s;
    return *allowed ? u"許可済み"_s : u"許可されていません"_s;
}

}  // namespace

BrowserConsentList::BrowserConsentList(BrowserAutomationConsent& consent, QWidget* parent)
    : QWidget(parent), m_consent(consent), m_heading(new QLabel), m_rowsLayout(new QVBoxLayout), m_caption(new QLabel) {
    Q_ASSERT(isMainThread());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_heading->setText(u"ブラウザーごとの許可"_s);
    m_heading->setFont(readerFont(ReaderTextStyle::callout));
    layout->addWidget(m_heading);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_rowsLayout);
    m_caption->setText(u"取り消すと、次にそのブラウザーのページ本文を取り込むときにもう一度確認します。"_s);
    m_caption->setWordWrap(true);
    m_caption->setFont(readerFont(ReaderTextStyle::caption));
    QPalette secondary = m_caption->palette();
    secondary.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    m_caption->setPalette(secondary);
    layout->addWidget(m_caption);
    connect(&m_consent, &BrowserAutomationConsent::changed, this, &BrowserConsentList::refresh);
    refresh();
}

void BrowserConsentList::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void BrowserConsentList::refresh() {
    const QList<BrowserAutomationConsent::Browser> browsers = m_consent.browsers();
    QStringList ids;
    for (const auto& browser : browsers) ids.append(browser.id);
    QStringList shown;
    for (const Row& row : m_rows) shown.append(row.id);
    if (ids != shown) {
        // Rows go on the next turn: this may run inside a click of one of their buttons.
        for (const Row& row : std::as_const(m_rows)) {
            row.row->hide();
            row.row->deleteLater();
        }
        m_rows.clear();
        for (const auto& browser : browsers) {
            Row row{.id = browser.id, .row = new QWidget(this), .status = new QLabel, .withdraw = new QPushButton};
            auto* line = new QHBoxLayout(row.row);
            line->setContentsMargins(0, 0, 0, 0);
            row.status->setWordWrap(true);
            row.status->setTextFormat(Qt::PlainText);
            row.status->setFont(readerFont(ReaderTextStyle::body));
            line->addWidget(row.status, 1);
            line->addWidget(row.withdraw);
            // A row without an answer keeps the button's height, so that the rows stand evenly.
            QSizePolicy policy = row.withdraw->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            row.withdraw->setSizePolicy(policy);
            connect(row.withdraw, &QPushButton::clicked, this, [this, id = browser.id] { m_consent.withdraw(id); });
            m_rowsLayout->addWidget(row.row);
            m_rows.append(row);
        }
    }
    for (qsizetype i = 0; i < browsers.size(); ++i) {
        const auto& browser = browsers[i];
        const Row& row = m_rows[i];
        row.status->setText(browser.name + u"："_s + answerText(browser.allowed));
        const bool allowed = browser.allowed.value_or(false);
        row.withdraw->setText(allowed ? u"許可を取り消す"_s : u"回答を取り消す"_s);
        row.withdraw->setAccessibleName(browser.name + u"："_s + row.withdraw->text());
        row.withdraw->setVisible(browser.allowed.has_value());
    }
    m_heading->setVisible(!browsers.isEmpty());
    m_caption->setVisible(!browsers.isEmpty());
}

}  // namespace tavrine
