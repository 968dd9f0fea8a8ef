#include "PelmoraMac/Settings/CaptureSettingsTab.h"

#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Settings/BrowserConsentList.h"
#include "PelmoraMac/Settings/ReaderPermissionButtons.h"
#include "PelmoraMac/Settings/ShortcutSetting.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

constexpr int kPadding = 24;
constexpr int kSpacing = 20;

QLabel* text(const QString& content, ReaderTextStyle style, bool secondary = false) {
    auto* label = new QLabel(content);
    label->setWordWrap(true);
    label->setFont(readerFont(style));
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
        label->setPalette(palette);
    }
    return label;
}

bool asksForAutomation(const std::optional<CaptureFailure>& failure) {
    return failure == CaptureFailure::automationRequired || failure == CaptureFailure::automationDenied;
}

}  // namespace

CaptureSettingsTab::CaptureSettingsTab(CaptureModel& capture, BrowserAutomationConsent& consent,
                                       GlobalCaptureShortcut& shortcut, GlobalCaptureShortcut& clipboardShortcut,
                                       std::function<void()> retryRegistration, QWidget* parent)
    : QWidget(parent),
      m_capture(capture),
      m_shortcutRow(new ShortcutSetting(shortcut, clipboardShortcut, u"他アプリから取り込む"_s)),
      m_clipboardShortcutRow(new ShortcutSetting(clipboardShortcut, shortcut, u"クリップボードから取り込む"_s)),
      m_retry(new QPushButton(u"ショートカットを再登録"_s)),
      m_accessibility(text(QString(), ReaderTextStyle::body)),
      m_permissionButtons(new ReaderPermissionButtons(capture, u"状態を再確認"_s)),
      m_deniedHint(
          text(u"許可しなかった場合は「システム設定を開く」でアクセシビリティを許可し、戻って状態を再確認してください。"
               u"許可後は元のアプリから取り込み直します。"_s,
               ReaderTextStyle::caption, true)),
      m_browserStatus(text(QString(), ReaderTextStyle::body)),
      m_browserButton(new QPushButton),
      m_browserConsents(new BrowserConsentList(consent)) {
    Q_ASSERT(isMainThread());
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    stack->setSpacing(kSpacing);
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    for (QWidget* item : std::initializer_list<QWidget*>{
             m_shortcutRow,
             m_clipboardShortcutRow,
             text(u"CtrlとMetaまたはAltに、英字・数字を組み合わせます。OSが報告する登録競合は確認しますが、"
                  u"すべてのアプリやシステム操作との競合は検出できません。"_s,
                  ReaderTextStyle::caption, true),
             m_retry,
             divider,
             text(u"他アプリとの連携"_s, ReaderTextStyle::headline),
             m_accessibility,
             text(u"他アプリで選択した文章を取得するために必要です。ファイルやコピーした文章を読むときは不要です。"
                  u"本文を外部へ送信しません。"_s,
                  ReaderTextStyle::callout),
             m_permissionButtons,
             m_deniedHint,
             text(u"ブラウザーのページ本文には、ブラウザーごとのオートメーション許可が必要な場合があります。"
                  u"必要な取り込みを実行したときに案内します。"_s,
                  ReaderTextStyle::caption, true),
             m_browserStatus,
             m_browserButton,
             m_browserConsents,
         }) {
        const bool fillsWidth = qobject_cast<QLabel*>(item) || item == divider ||
                                qobject_cast<ShortcutSetting*>(item) || item == m_browserConsents;
        stack->addWidget(item, 0, fillsWidth ? Qt::Alignment() : Qt::AlignLeft);
    }
    stack->addStretch(1);

    m_scroll = new QScrollArea;
    m_scroll->setWidget(content);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);

    connect(m_retry, &QPushButton::clicked, this, [retry = std::move(retryRegistration)] {
        if (retry) retry();
    });
    connect(m_browserButton, &QPushButton::clicked, this, [this] {
        // The failure is read again: it may have changed since the button was drawn.
        if (m_capture.failure() == CaptureFailure::automationRequired) {
            m_capture.requestAutomationPermission();
        } else {
            m_capture.openAutomationSettings();
        }
    });
    for (auto changed : {&CaptureModel::accessibilityGrantedChanged, &CaptureModel::failureChanged,
                         &CaptureModel::sourceBrowserChanged, &CaptureModel::sourceNameChanged,
                         &CaptureModel::isRequestingAutomationChanged}) {
        connect(&m_capture, changed, this, &CaptureSettingsTab::refresh);
    }
    refresh();
}

void CaptureSettingsTab::refresh() {
    const bool granted = m_capture.accessibilityGranted();
    m_accessibility->setText(granted ? u"アクセシビリティ：許可済み"_s : u"アクセシビリティ：未許可"_s);
    m_deniedHint->setVisible(!granted);

    const std::optional<CaptureFailure>& failure = m_capture.failure();
    const bool showsBrowser = m_capture.sourceBrowser().has_value() && asksForAutomation(failure);
    m_browserStatus->setVisible(showsBrowser);
    m_browserButton->setVisible(showsBrowser);
    if (!showsBrowser) return;
    const bool required = failure == CaptureFailure::automationRequired;
    m_browserStatus->setText(captureBrowserName(m_capture.sourceBrowser(), m_capture.sourceName()) + u"："_s +
                             (required ? u"許可が必要"_s : u"許可されていません"_s));
    m_browserButton->setText(required ? u"ブラウザー連携を許可"_s : u"オートメーション設定を開く"_s);
    m_browserButton->setEnabled(!m_capture.isRequestingAutomation());
}

void CaptureSettingsTab::showPermission() {
    // The last of them first, then the state, so that the state stays in view when not all of them fit.
    constexpr int kMargin = 12;
    QWidget* last = m_permissionButtons;
    if (m_deniedHint->isVisibleTo(this)) last = m_deniedHint;
    m_scroll->ensureWidgetVisible(last, 0, kMargin);
    m_scroll->ensureWidgetVisible(m_accessibility, 0, kMargin);
}

}  // namespace tavrine
