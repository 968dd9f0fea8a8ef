#include "PelmoraMac/Capture/BrowserAutomationConsent.h"

namespace tavrine {
using namespace Qt::StringLiterals;

QString browserAutomationConsentKey(ArticleBrowser browser) {
    return u"reader.linux.browserAutomation."_s + rawValue(browser);
}

int browserAutomationPermission(const Defaults& defaults, ArticleBrowser browser) {
    const auto answer = defaults.object(browserAutomationConsentKey(browser));
    if (!answer || !std::holds_alternative<bool>(*answer)) return kAutomationUndecided;
    return std::get<bool>(*answer) ? kAutomationAllowed : kAutomationDenied;
}

}  // namespace tavrine
