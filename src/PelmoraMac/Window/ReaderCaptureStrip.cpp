#include "PelmoraMac/Window/ReaderCaptureStrip.h"

#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/SelectableText.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace tavrine {
using namespace Qt::StringLiterals;

std::optional<QString> captureFailureHelp(CaptureFailure failure) {
    switch (failure) {
    case CaptureFailure::clipboardFormatTooLarge:
        return u"書式付きクリップボードのデータ上限は2 MBです。プレーンテキストとして取り込む場合も、本文20,000 "
               u"UTF-16単位の上限は変わりません。"_s;
    case CaptureFailure::diaLaunchRequired:
        return u"Diaを通常終了し、ターミナルで open -a Dia --args --enable-applescript-javascript "
               u"を実行します。ブラウザー連携はページ本文の取得に使います。選択文とクリップボードからの取り込みには不要です。"_s;
    case CaptureFailure::tooLong:
        return u"他アプリとクリップボードからは20,000 "
               u"UTF-16単位まで取り込めます。UTF-"
               u"16単位は文字の位置を数える単位で、絵文字などは一文字でも複数単位になります。"
               u"内容を途中で切り捨てません。より長い本文は対応する .txt または .epub をライブラリへ追加してください。"_s;
    default: return std::nullopt;
    }
}

namespace {

// A text of the strip: wrapped at the strip's width, selectable, and plain (messages quote names the
// user's applications give).
QLabel* wrappedLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    setSelectableText(*label, TextSelection::byMouse);
    return label;
}

QPushButton* button(const QString& text, const std::function<void()>& action, QWidget* parent) {
    auto* pushButton = new QPushButton(text, parent);
    // A click leaves the keyboard focus where it was, so Space still plays what an action brought in; Tab
    // reaches the button.
    pushButton->setFocusPolicy(Qt::TabFocus);
    QObject::connect(pushButton, &QPushButton::clicked, pushButton, [&action] {
        if (action) action();
    });
    return pushButton;
}

}  // namespace

ReaderCaptureStrip::ReaderCaptureStrip(Actions actions, QWidget* parent)
    : QFrame(parent), m_actions(std::move(actions)) {
    Q_ASSERT(isMainThread());
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);

    m_notice = new ReaderImportNotice(this);
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    m_keptCaption = wrappedLabel(this);
    m_keptCaption->setPalette(secondary);
    m_keptCaption->setText(u"現在の文書と読書位置は保持しています。続きを読みたいときは「再生」を押してください。"_s);
    m_retryCaption = wrappedLabel(this);
    m_retryCaption->setPalette(secondary);

    m_retryRow = new QWidget(this);
    m_retryLayout = new QBoxLayout(QBoxLayout::LeftToRight, m_retryRow);
    m_retryLayout->setContentsMargins(0, 0, 0, 0);
    m_retryInSource = button(u"元のアプリで文章を選択"_s, m_actions.retryInSource, m_retryRow);
    m_importClipboard = button(u"コピーした文章を取り込む"_s, m_actions.importClipboard, m_retryRow);
    m_retryLayout->addWidget(m_retryInSource);
    m_retryLayout->addWidget(m_importClipboard);

    m_progress = new QWidget(this);
    auto* progressLayout = new QHBoxLayout(m_progress);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QProgressBar(m_progress);
    bar->setRange(0, 0);
    bar->setFixedSize(48, 8);
    bar->setTextVisible(false);
    m_progressLabel = wrappedLabel(m_progress);
    progressLayout->addWidget(bar, 0, Qt::AlignVCenter);
    progressLayout->addWidget(m_progressLabel, 1);

    QPalette red = palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_shortcutError = wrappedLabel(this);
    m_shortcutError->setPalette(red);
    m_clipboardShortcutError = wrappedLabel(this);
    m_clipboardShortcutError->setPalette(red);
    m_registerShortcuts = button(u"ショートカットを再登録"_s, m_actions.registerShortcuts, this);
    m_permissionRow = new QWidget(this);
    auto* permissionLayout = new QHBoxLayout(m_permissionRow);
    permissionLayout->setContentsMargins(0, 0, 0, 0);
    permissionLayout->addWidget(button(u"権限を設定する"_s, m_actions.requestPermission, m_permissionRow));
    permissionLayout->addWidget(button(u"システム設定を開く"_s, m_actions.openPermissionSettings, m_permissionRow));
    permissionLayout->addWidget(button(u"権限を再確認"_s, m_actions.refreshPermission, m_permissionRow));
    m_requestAutomation = button(u"ブラウザー連携を許可"_s, m_actions.requestAutomation, this);
    m_openAutomationSettings = button(u"オートメーション設定を開く"_s, m_actions.openAutomationSettings, this);
    m_cancel = button(u"取り込みをキャンセル"_s, m_actions.cancel, this);

    // Texts and the retry row span the strip (an aligned item would keep its preferred width, and a
    // wrapped text then too few lines); single buttons keep their own width at the leading edge.
    for (QWidget* wide : std::initializer_list<QWidget*>{m_notice, m_keptCaption, m_retryCaption, m_retryRow,
                                                         m_progress, m_shortcutError, m_clipboardShortcutError}) {
        layout->addWidget(wide);
    }
    for (QWidget* narrow : std::initializer_list<QWidget*>{m_registerShortcuts, m_permissionRow, m_requestAutomation,
                                                           m_openAutomationSettings, m_cancel}) {
        layout->addWidget(narrow, 0, Qt::AlignLeading);
    }
}

void ReaderCaptureStrip::apply(const State& state) {
    const bool failed = state.failure.has_value();
    m_notice->setNotice(failed ? std::optional(state.message) : std::nullopt,
                        failed ? captureFailureHelp(*state.failure) : std::nullopt, true);
    const bool withText = failed && state.hasDocumentText;
    m_keptCaption->setVisible(withText);
    m_retryCaption->setVisible(withText);
    m_retryCaption->setText(u"元のアプリで文章を選択して "_s + state.shortcutLabel +
                            u" で再実行できます。コピーする場合は、先に読む文章をコピーしてください。"_s);
    m_retryInSource->setVisible(failed && state.canRetryInSource);
    m_retryInSource->setEnabled(!state.isBlocked);
    m_importClipboard->setVisible(withText);
    m_importClipboard->setEnabled(state.canImportClipboard);
    m_retryRow->setVisible(m_retryInSource->isVisibleTo(m_retryRow) || withText);

    m_progress->setVisible(state.isCapturing);
    m_progressLabel->setText(state.isCapturing ? state.message : QString());
    m_shortcutError->setVisible(state.shortcutError.has_value());
    m_shortcutError->setText(state.shortcutError.value_or(QString()));
    m_clipboardShortcutError->setVisible(state.clipboardShortcutError.has_value());
    m_clipboardShortcutError->setText(state.clipboardShortcutError.value_or(QString()));
    m_registerShortcuts->setVisible(state.shortcutError || state.clipboardShortcutError);
    m_permissionRow->setVisible(state.failure == CaptureFailure::permissionRequired);
    m_requestAutomation->setVisible(state.failure == CaptureFailure::automationRequired);
    m_requestAutomation->setEnabled(!state.isRequestingAutomation);
    m_openAutomationSettings->setVisible(state.failure == CaptureFailure::automationDenied);
    m_openAutomationSettings->setEnabled(!state.isRequestingAutomation);
    m_cancel->setVisible(state.isCapturing);
    arrangeRetryButtons();
}

void ReaderCaptureStrip::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    arrangeRetryButtons();
}

void ReaderCaptureStrip::arrangeRetryButtons() {
    const int margins = contentsMargins().left() + contentsMargins().right() + layout()->contentsMargins().left() +
                        layout()->contentsMargins().right();
    const int rowWidth =
        m_retryInSource->sizeHint().width() + m_importClipboard->sizeHint().width() + m_retryLayout->spacing();
    const bool fits = rowWidth <= width() - margins;
    m_retryLayout->setDirection(fits ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    // From the leading edge either way; side by side, the buttons share one centre line.
    m_retryLayout->setAlignment(fits ? Qt::AlignLeading | Qt::AlignVCenter : Qt::AlignLeading);
}

}  // namespace tavrine
