#include "PelmoraMac/Window/ReaderFileImportStrip.h"

#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "ReaderCore/MainThread.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

ReaderFileImportStrip::ReaderFileImportStrip(std::function<void()> cancel, QWidget* parent)
    : QFrame(parent),
      m_notice(new ReaderImportNotice(this)),
      m_progress(new QWidget(this)),
      m_progressLabel(new QLabel(m_progress)),
      m_cancel(new QPushButton(u"取り込みをキャンセル"_s, this)) {
    Q_ASSERT(isMainThread());
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);

    auto* row = new QHBoxLayout(m_progress);
    row->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QProgressBar(m_progress);
    bar->setRange(0, 0);
    bar->setFixedSize(48, 8);
    bar->setTextVisible(false);
    m_progressLabel->setWordWrap(true);
    row->addWidget(bar, 0, Qt::AlignVCenter);
    row->addWidget(m_progressLabel, 1);
    // A click leaves the keyboard focus where it was; Tab reaches the button.
    m_cancel->setFocusPolicy(Qt::TabFocus);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, [cancel = std::move(cancel)] {
        if (cancel) cancel();
    });

    // The notice and the progress line span the strip, so their texts wrap at its width.
    layout->addWidget(m_notice);
    layout->addWidget(m_progress);
    layout->addWidget(m_cancel, 0, Qt::AlignLeading);
}

void ReaderFileImportStrip::apply(const State& state) {
    m_notice->setNotice(state.message, state.details, state.isFailure);
    m_progress->setVisible(state.isImporting);
    m_progressLabel->setText(state.isSaving ? u"ファイルを保存中"_s : u"ファイルを読み込み中"_s);
    m_cancel->setVisible(state.isImporting && !state.isSaving);
    m_cancel->setEnabled(!state.isBlocked);
}

}  // namespace tavrine
