#include "PelmoraMac/Capture/BrowserAutomationConsent.h"

#include "ReaderCore/Defaults.h"
#include "ReaderCore/MainThread.h"

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;

BrowserAutomationConsent::BrowserAutomationConsent(Defaults& defaults, InstalledBrowsers installed, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_installed(std::move(installed)) {
    Q_ASSERT(isMainThread());
    migrateLegacyAnswer();
}

QString BrowserAutomationConsent::key(const QString& browserId) {
    return u"reader.linux.browserConsent."_s + browserId;
}

QString BrowserAutomationConsent::legacyKey() {
    return u"reader.linux.browserAutomation.com.google.Chrome"_s;
}

void BrowserAutomationConsent::migrateLegacyAnswer() {
    const auto legacy = m_defaults.object(legacyKey());
    if (!legacy) return;
    if (std::holds_alternative<bool>(*legacy) && !std::get<bool>(*legacy) && m_installed) {
        for (const Browser& browser : m_installed()) {
            if (!browser.id.isEmpty() && !answer(browser.id)) m_defaults.setBool(key(browser.id), false);
        }
    }
    m_defaults.remove(legacyKey());
}

std::optional<bool> BrowserAutomationConsent::answer(const QString& browserId) const {
    if (browserId.isEmpty()) return std::nullopt;
    const auto value = m_defaults.object(key(browserId));
    if (!value || !std::holds_alternative<bool>(*value)) return std::nullopt;
    return std::get<bool>(*value);
}

int BrowserAutomationConsent::permission(const QString& browserId) const {
    Q_ASSERT(isMainThread());
    const auto allowed = answer(browserId);
    if (!allowed) return kAutomationUndecided;
    return *allowed ? kAutomationAllowed : kAutomationDenied;
}

void BrowserAutomationConsent::setAllowed(const QString& browserId, bool allowed) {
    Q_ASSERT(isMainThread());
    if (browserId.isEmpty()) return;
    m_defaults.setBool(key(browserId), allowed);
    emit changed();
}

void BrowserAutomationConsent::withdraw(const QString& browserId) {
    Q_ASSERT(isMainThread());
    if (browserId.isEmpty() || !m_defaults.object(key(browserId))) return;
    m_defaults.remove(key(browserId));
    emit changed();
}

QList<BrowserAutomationConsent::Browser> BrowserAutomationConsent::browsers() const {
    Q_ASSERT(isMainThread());
    QList<Browser> listed = m_installed ? m_installed() : QList<Browser>{};
    for (Browser& browser : listed) browser.allowed = answer(browser.id);
    std::stable_sort(listed.begin(), listed.end(), [](const Browser& a, const Browser& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return listed;
}

}  // namespace tavrine
