#pragma once

#include "PelmoraMac/Capture/CaptureModel.h"

#include <functional>

class QWidget;

namespace tavrine {

class BrowserAutomationConsent;

// The capture's start-up wiring: the capture model's functions as the application gives them, made from
// the pieces of Capture/ and the desktop's of Capture/X11/:
// - the permission: the session's accessibility bus answers within 250 ms and is enabled; asking for it
//   enables it (no prompt: the next check sees it). The focus tracker starts with the first check that
//   finds the bus enabled;
// - the source: the application of the window in front (frontCaptureSource);
// - the capture: the selection capture over the accessibility bus and the primary selection (while the
//   user's input since it was taken shows it still stands, as a watch started with the functions
//   tells), with the browser's consent as the user answered it when the capture started;
// - the consent: our own dialog (askBrowserConsent) over the window `consentOwner` names when it is asked,
//   asked while no answer is kept (or always, when asked again), its answer kept per browser in `consent`;
// - the accessibility settings: `openSettings`.
// `consent` must outlive the functions.
CaptureModel::Functions applicationCaptureFunctions(BrowserAutomationConsent& consent,
                                                    std::function<void()> openSettings,
                                                    std::function<QWidget*()> consentOwner = {});

// The consent dialog: asks whether Tavrine may read the pages of the browser `name` (its answer kept under
// `browserId`), and answers with the status once the user has answered; without `always`, a kept answer
// is answered at once, without asking. The answer is kept before `answer` hears it. The dialog belongs to
// `owner` (the window manager keeps it above that window, and it comes up centred on it); without one it
// is centred on its screen. It does not block the owner. Main thread.
void askBrowserConsent(BrowserAutomationConsent& consent, const QString& browserId, const QString& name, bool always,
                       CaptureModel::AutomationAnswer answer, QWidget* owner = nullptr);

}  // namespace tavrine
