#include "PelmoraMac/Settings/MacUpdateSettings.h"

#include "PelmoraMac/Updates/MacUpdateController.h"
#include "ReaderCore/MainThread.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

const QString MacUpdateSettings::kSourceBuildLine =
    u"このビルドは自動では更新されません。新しい版は、ソースから作り直してインストールしてください。"_s;

namespace {

QLabel* wrappedText(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

}  // namespace

MacUpdateSettings::MacUpdateSettings(MacUpdateController& updates, ApplicationVersion version, QWidget* parent)
    : QWidget(parent),
      m_updates(updates),
      m_automaticallyChecks(new QCheckBox(u"新しいバージョンを自動で確認"_s)),
      m_automaticallyDownloads(new QCheckBox(u"自動でダウンロードして終了後に適用"_s)),
      m_check(new QPushButton(u"アップデートを確認…"_s)),
      m_status(wrappedText(QString())) {
    Q_ASSERT(isMainThread());
    auto* section = new QGroupBox(u"アップデート"_s);
    auto* rows = new QVBoxLayout(section);
    rows->addWidget(m_automaticallyChecks);
    rows->addWidget(m_automaticallyDownloads);
    rows->addWidget(m_check, 0, Qt::AlignLeft);
    if (m_updates.delivery() == UpdateDelivery::updater) {
        rows->addWidget(wrappedText(
            u"初めての確認許可は2回目の起動時に表示します。許可後は通常1日ごとに確認します。"
            u"自動ダウンロードした更新は、文章と読書位置の保存処理の完了を待ち、通常終了時に適用します。"_s));
        rows->addWidget(
            wrappedText(u"確認とダウンロードのため配布サーバーへ接続します。本文・読書履歴・利用統計は送信しません。"
                        u"手動確認から直ちにインストールする場合は終了・再起動します。"_s));
    } else {
        // Nothing here may promise a check that never comes.
        rows->addWidget(wrappedText(kSourceBuildLine));
    }
    rows->addWidget(m_status);
    rows->addWidget(wrappedText(version.line()));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(section);
    layout->addStretch();

    connect(m_automaticallyChecks, &QCheckBox::clicked, this, [this](bool checked) {
        m_updates.setAutomaticallyChecks(checked);
        refresh();
    });
    connect(m_automaticallyDownloads, &QCheckBox::clicked, this, [this](bool checked) {
        m_updates.setAutomaticallyDownloads(checked);
        refresh();
    });
    connect(m_check, &QPushButton::clicked, &m_updates, &MacUpdateController::checkForUpdates);
    for (auto changed :
         {&MacUpdateController::canCheckForUpdatesChanged, &MacUpdateController::automaticallyChecksChanged,
          &MacUpdateController::automaticallyDownloadsChanged, &MacUpdateController::statusChanged}) {
        connect(&m_updates, changed, this, &MacUpdateSettings::refresh);
    }
    refresh();
}

void MacUpdateSettings::refresh() {
    Q_ASSERT(isMainThread());
    const bool updates = m_updates.delivery() == UpdateDelivery::updater;
    m_automaticallyChecks->setChecked(m_updates.automaticallyChecks());
    m_automaticallyChecks->setEnabled(updates);
    m_automaticallyDownloads->setChecked(m_updates.automaticallyDownloads());
    // Off while nothing is checked automatically, without changing its value.
    m_automaticallyDownloads->setEnabled(updates && m_updates.automaticallyChecks());
    m_check->setEnabled(updates && m_updates.canCheckForUpdates());
    m_status->setText(m_updates.status().value_or(QString()));
    m_status->setVisible(m_updates.status().has_value());
}

}  // namespace tavrine
