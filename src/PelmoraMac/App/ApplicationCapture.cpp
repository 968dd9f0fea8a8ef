#include "PelmoraMac/App/ApplicationCapture.h"

#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/AccessibilityFocusTracker.h"
#include "PelmoraMac/Capture/AtspiAccessibilityBus.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/X11/FrontCaptureSource.h"
#include "PelmoraMac/Capture/X11/PrimarySelection.h"
#include "PelmoraMac/Capture/X11/X11InputActivity.h"
#include "PelmoraMac/Capture/internal/AccessibilityConnection.h"
#include "PelmoraMac/X11/X11Desktop.h"
#include "ReaderCore/MainThread.h"
#include "ReaderWidgets/Style/PhraseLineBreaks.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/SheetFocus.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <memory>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

constexpr int kPermissionCheckMilliseconds = 250;

// What the functions share: the desktop (made on the main thread, asked from the capture's pool thread
// too), the focus tracker and the watch of the user's input that tells whether the primary selection
// still stands.
struct Shared {
    std::shared_ptr<const X11Desktop> desktop;
    std::unique_ptr<AccessibilityFocusTracker> focusTracker = std::make_unique<AccessibilityFocusTracker>();
    std::unique_ptr<X11InputWatch> inputWatch = std::make_unique<X11InputWatch>();
};

CaptureModel::CaptureWork selectionCapture(const CaptureSource& source, int automationPermission,
                                           std::shared_ptr<const X11Desktop> desktop,
                                           std::shared_ptr<const AccessibilityFocusLog> focusLog,
                                           std::shared_ptr<const X11InputLog> inputLog) {
    return [source, automationPermission, desktop = std::move(desktop), focusLog = std::move(focusLog),
            inputLog = std::move(inputLog)](const CancellationToken& cancellation) {
        const Date began = SystemClock::shared().now();
        std::optional<BrowserWindowBounds> frontWindow;
        if (const auto bounds = desktop ? desktop->windowBounds(source.window) : std::nullopt) {
            frontWindow = BrowserWindowBounds{
                .left = bounds->x, .top = bounds->y, .width = bounds->width, .height = bounds->height};
        }
        AtspiAccessibilityBus bus(focusLog);
        PrimarySelectionRead primarySelection;
        // Never a web browser's: it may put there text its page masks.
        if (!source.isWebBrowser && !source.includeWebArticles) {
            primarySelection = [inputLog](pid_t owner, CaptureDeadline deadline) {
                return readPrimarySelection(owner, AXSelectionReader::kTextLimit, deadline, inputLog.get());
            };
        }
        const SelectionCaptureEnvironment environment{
            .bus = &bus,
            .primarySelection = std::move(primarySelection),
            .article = {
                .isFrontApplication = [desktop](pid_t pid) { return desktop && desktop->frontProcess() == pid; },
                .automationPermission = [automationPermission](ArticleBrowser) { return automationPermission; },
                .frontWindow = frontWindow,
                .began = began},
        };
        return captureSelection(source.pid, source.includeWebArticles, source.browser, cancellation, environment);
    };
}

}  // namespace

void askBrowserConsent(BrowserAutomationConsent& consent, const QString& browserId, const QString& name, bool always,
                       CaptureModel::AutomationAnswer answer, QWidget* owner) {
    Q_ASSERT(isMainThread());
    if (const int status = consent.permission(browserId); !always && status != kAutomationUndecided) {
        answer(status);
        return;
    }
    // A child of its owner, the box is a dialog of that window: Qt names the window as the one it is
    // transient for and centres it on the window when it is first shown. Without an owner, X11 would
    // hear of the application's hidden leader window instead.
    auto* box = new QMessageBox(QMessageBox::Question, u"Tavrine"_s,
                                u"Tavrineから"_s + name + u"の表示中のページを読み取ることを許可しますか？"_s,
                                QMessageBox::NoButton, owner ? owner->window() : nullptr);
    box->setInformativeText(u"この回答は"_s + name +
                            u"だけに使います。「設定…」の「取り込みと連携」でいつでも取り消せます。"_s);
    box->setAttribute(Qt::WA_DeleteOnClose);
    ReaderTheme::apply(*box);
    QPushButton* allow = box->addButton(u"許可"_s, QMessageBox::AcceptRole);
    QPushButton* refuse = box->addButton(u"許可しない"_s, QMessageBox::RejectRole);
    box->setDefaultButton(allow);
    box->setEscapeButton(refuse);
    setPhraseWrappedTexts(*box);
    ringSheetFocus(*box);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, allow, consent = QPointer(&consent), browserId, answer = std::move(answer)] {
                         const bool allowed = box->clickedButton() == allow;
                         // Kept first: whoever shows the consent sees it before the capture hears it.
                         if (consent) consent->setAllowed(browserId, allowed);
                         answer(allowed ? kAutomationAllowed : kAutomationDenied);
                     });
    box->show();
    box->raise();
    box->activateWindow();
}

CaptureModel::Functions applicationCaptureFunctions(BrowserAutomationConsent& consent,
                                                    std::function<void()> openSettings,
                                                    std::function<QWidget*()> consentOwner) {
    Q_ASSERT(isMainThread());
    auto shared = std::make_shared<Shared>();
    if (auto desktop = X11Desktop::ofApplication()) {
        shared->desktop = std::make_shared<X11Desktop>(*desktop);
        // From now on: a selection made before cannot be told apart from one the user let go.
        shared->inputWatch->start();
    }
    return {
        .permissionCheck =
            [shared] {
                const bool enabled = accessibilityBusEnabled(kPermissionCheckMilliseconds);
                if (enabled && !shared->focusTracker->isStarted()) shared->focusTracker->start();
                return enabled;
            },
        .permissionRequest = [] { enableAccessibilityBus(kPermissionCheckMilliseconds); },
        .sourceProvider = [shared] { return frontCaptureSource(shared->desktop.get()); },
        .captureOperation =
            [shared, &consent](const CaptureSource& source) {
                const int permission = source.browser ? consent.permission(source.browserId) : kAutomationUndecided;
                return selectionCapture(source, permission, shared->desktop, shared->focusTracker->log(),
                                        shared->inputWatch->log());
            },
        .automationRequest =
            [&consent, consentOwner = std::move(consentOwner)](const QString& browserId, const QString& name,
                                                               bool always, CaptureModel::AutomationAnswer answer) {
                askBrowserConsent(consent, browserId, name, always, std::move(answer),
                                  consentOwner ? consentOwner() : nullptr);
            },
        .openAccessibilitySettings = std::move(openSettings),
    };
}

}  // namespace tavrine
