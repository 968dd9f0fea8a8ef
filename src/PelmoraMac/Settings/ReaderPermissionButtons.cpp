#include "PelmoraMac/Settings/ReaderPermissionButtons.h"

#include "PelmoraMac/Capture/CaptureModel.h"
#include "ReaderCore/MainThread.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace tavrine {
using namespace Qt::StringLiterals;

ReaderPermissionButtons::ReaderPermissionButtons(CaptureModel& capture, const QString& recheckTitle, QWidget* parent)
    : QWidget(parent),
      m_request(new QPushButton(u"権限を設定する"_s)),
      m_openSettings(new QPushButton(u"システム設定を開く"_s)),
      m_recheck(new QPushButton(recheckTitle)) {
    Q_ASSERT(isMainThread());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_request);
    layout->addWidget(m_openSettings);
    layout->addWidget(m_recheck);
    layout->addStretch(1);
    // The request reads the permission again once it is answered.
    connect(m_request, &QPushButton::clicked, &capture, &CaptureModel::requestAccessibilityPermission);
    connect(m_openSettings, &QPushButton::clicked, &capture, &CaptureModel::openAccessibilitySettings);
    connect(m_recheck, &QPushButton::clicked, &capture, &CaptureModel::refreshPermission);
}

}  // namespace tavrine
