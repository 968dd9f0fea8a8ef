#pragma once

// moc (Qt 6.4) cannot parse the C++20 library headers that these pull in, and needs none of them.
#ifndef Q_MOC_RUN
#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "PelmoraMac/Capture/BrowserArticleCapture.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/CaptureMessages.h"
#include "PelmoraMac/Capture/ClipboardSnapshot.h"
#include "PelmoraMac/Capture/PreparedCapture.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"
#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/TaskHandle.h"
#endif

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tavrine {

class Pasteboard;
class ReadingPlayer;

// The application a capture reads from: its process, the name it is shown by, the browser it is (when it
// is one whose tab can be captured), and whether it handles web addresses (its page's article is then
// also looked for), with its window in front at the time. A browser's desktop id ("chromium",
// "google-chrome") tells Chromium and Google Chrome apart: each has its own consent.
struct CaptureSource {
    pid_t pid = 0;
    QString name;
    std::optional<ArticleBrowser> browser{};
    bool includeWebArticles = false;
    std::uint32_t window = 0;
    QString browserId{};
    // A web browser of any make (its desktop entry handles http or https addresses): its primary selection
    // is never read, since a browser may put there text its page masks.
    bool isWebBrowser = false;

    bool operator==(const CaptureSource&) const = default;
};

// The application of the last capture of the application in front: its process and its window.
struct CaptureSourceApplication {
    pid_t pid = 0;
    std::uint32_t window = 0;

    bool operator==(const CaptureSourceApplication&) const = default;
};

// The one model behind every capture of outside text (the application in front, the clipboard): what the
// interface shows about a capture (running, failed and why, succeeded, from which source, which
// permission is missing), the reading it produced, and the work that runs. Owned by the application;
// main thread only (asserted).
//
// Flows: a capture of the application in front reads its source on a pool thread and brings the reader
// up once it has ended; a clipboard import reads the clipboard on a pool thread too (the main thread
// never waits for the clipboard's owner), within 3 seconds, and converts it in a worker process (or, plain
// text in plain-text mode, in this process). One flow runs at a time: a capture is refused while
// anything runs, a clipboard import replaces what runs. Each run has a fresh captureID; its result is
// applied only while that identifier is still the current one, so cancelled or replaced work changes
// nothing when it ends. A failure leaves importedText as it was.
//
// Observation: each property's signal fires only when a written value differs from the one held.
class CaptureModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<tavrine::ImportedReading> importedText READ importedText NOTIFY importedTextChanged)
    Q_PROPERTY(bool isCapturing READ isCapturing NOTIFY isCapturingChanged)
    Q_PROPERTY(bool accessibilityGranted READ accessibilityGranted NOTIFY accessibilityGrantedChanged)
    Q_PROPERTY(QString frontmostShortcutLabel READ frontmostShortcutLabel WRITE setFrontmostShortcutLabel NOTIFY
                   frontmostShortcutLabelChanged)
    Q_PROPERTY(QString clipboardShortcutLabel READ clipboardShortcutLabel WRITE setClipboardShortcutLabel NOTIFY
                   clipboardShortcutLabelChanged)
    Q_PROPERTY(std::optional<tavrine::CaptureFailure> failure READ failure NOTIFY failureChanged)
    Q_PROPERTY(std::optional<QString> sourceName READ sourceName NOTIFY sourceNameChanged)
    Q_PROPERTY(bool succeeded READ succeeded NOTIFY succeededChanged)
    Q_PROPERTY(std::optional<tavrine::ArticleBrowser> sourceBrowser READ sourceBrowser NOTIFY sourceBrowserChanged)
    Q_PROPERTY(bool isRequestingAutomation READ isRequestingAutomation NOTIFY isRequestingAutomationChanged)
    Q_PROPERTY(bool loadedBody READ loadedBody NOTIFY loadedBodyChanged)
    Q_PROPERTY(bool usesClipboard READ usesClipboard NOTIFY usesClipboardChanged)
    Q_PROPERTY(std::optional<QUuid> captureID READ captureID NOTIFY captureIDChanged)

public:
    // The reading of a source, run on a pool thread; it polls the token and ends soon once it is cancelled.
    using CaptureWork = std::function<CaptureResult<PreparedCapture>(const CancellationToken&)>;
    // The user's answer to a browser's automation consent: 0 allowed, anything else refused.
    using AutomationAnswer = std::function<void(int status)>;

    // What the model asks of the desktop, passed in so that tests can play it. Every function is called on
    // the main thread; a missing one answers no (no permission, no source, refused).
    struct Functions {
        // Whether other applications' text can be read (the accessibility bus answers and is enabled).
        std::function<bool()> permissionCheck{};
        // Asks for that permission; a later check sees the answer.
        std::function<void()> permissionRequest{};
        // The application in front; none when it is this one or there is none.
        std::function<std::optional<CaptureSource>()> sourceProvider{};
        // The work that reads and prepares the source's text, made when the capture starts.
        std::function<CaptureWork(const CaptureSource&)> captureOperation{};
        // Asks the user whether Tavrine may read the pages of the browser of this desktop id (named so),
        // and answers, also later; with `always` false an answer given before is answered without asking.
        std::function<void(const QString& browserId, const QString& name, bool always, AutomationAnswer)>
            automationRequest{};
        // Shows where the user grants the accessibility permission.
        std::function<void()> openAccessibilitySettings{};
        // Has a worker convert a clipboard snapshot, on a pool thread (runCaptureWorker by default).
        CaptureWorkerRunner clipboardWorker = [](const CaptureWorkerRequest& request, CaptureDeadline deadline,
                                                 const CancellationToken& cancellation) {
            return tavrine::runCaptureWorker(request, deadline, cancellation);
        };
        // The import date of the readings; must outlive the model.
        const Clock* clock = &SystemClock::shared();
    };

    // Ends by reading the permission (refreshPermission()). Without functions nothing is ever granted or
    // found, and imports go to the worker of this executable.
    CaptureModel(ReadingPlayer* player, Functions functions, QObject* parent = nullptr);
    explicit CaptureModel(ReadingPlayer* player);
    ~CaptureModel() override;

    // ---- Observed ----
    const std::optional<ImportedReading>& importedText() const { return m_importedText; }
    bool isCapturing() const { return m_isCapturing; }
    bool accessibilityGranted() const { return m_accessibilityGranted; }
    // The hot keys' labels in the messages; the application writes the registered chords' labels.
    const QString& frontmostShortcutLabel() const { return m_frontmostShortcutLabel; }
    void setFrontmostShortcutLabel(QString label);
    const QString& clipboardShortcutLabel() const { return m_clipboardShortcutLabel; }
    void setClipboardShortcutLabel(QString label);
    const std::optional<CaptureFailure>& failure() const { return m_failure; }
    const std::optional<QString>& sourceName() const { return m_sourceName; }
    bool succeeded() const { return m_succeeded; }
    std::optional<ArticleBrowser> sourceBrowser() const { return m_sourceBrowser; }
    bool isRequestingAutomation() const { return m_isRequestingAutomation; }
    // The last capture read a focused text area's whole text rather than a selection.
    bool loadedBody() const { return m_loadedBody; }
    // The last (or running) operation is a clipboard import.
    bool usesClipboard() const { return m_usesClipboard; }
    const std::optional<QUuid>& captureID() const { return m_captureID; }

    // ---- Not observed ----
    const std::optional<CaptureSourceApplication>& sourceApplication() const { return m_sourceApplication; }
    ReadingPlayer* player() const { return m_player; }

    // ---- Texts, made from the fields each time ----
    QString statusMessage() const;
    std::optional<QString> clipboardFailureMessage() const;

    // ---- Operations ----
    // Reads the permission again; outside a clipboard import, a permission lost while a capture runs ends
    // it with permissionRequired, and a permission granted clears permissionRequired.
    void refreshPermission();
    void requestAccessibilityPermission();
    // Stops the running work with the failure cancelled; nothing when nothing runs.
    void cancel();
    void dismissClipboardFailure();
    // Asks the source browser's consent, for the failure automationRequired.
    void requestAutomationPermission();
    void openAccessibilitySettings();
    // Asks the source browser's consent again, whatever was answered before, for the failure
    // automationDenied (the place of the system's switch): allowed, the failure is cleared at once.
    void openAutomationSettings();
    // Captures what the application in front shows; `present` brings the reader up once the capture has
    // ended or could not start (not when it is ignored, cancelled or replaced).
    void captureFrontmost(std::function<void()> present);
    // Imports the clipboard, read on a pool thread (the model keeps the pasteboard until then); `present`,
    // when given, runs once before the call returns.
    void importClipboard(std::shared_ptr<Pasteboard> pasteboard, bool autoplay, ClipboardImportMode mode,
                         std::function<void()> present);

signals:
    void importedTextChanged();
    void isCapturingChanged();
    void accessibilityGrantedChanged();
    void frontmostShortcutLabelChanged();
    void clipboardShortcutLabelChanged();
    void failureChanged();
    void sourceNameChanged();
    void succeededChanged();
    void sourceBrowserChanged();
    void isRequestingAutomationChanged();
    void loadedBodyChanged();
    void usesClipboardChanged();
    void captureIDChanged();

private:
    // How a run's result is applied: a capture's with its `present`, an import's with its autoplay.
    struct Finish {
        bool usesClipboard = false;
        bool autoplay = true;
        std::function<void()> present{};
    };

    static QCoro::Task<void> run(QPointer<CaptureModel> self, CaptureWork work, QUuid id,
                                 CancellationToken cancellation, Finish finish);
    // Asks the source browser's consent (`again`: whatever was answered before). The answer changes the
    // failure while it is still automationRequired (or, asked again, automationDenied) of the same browser,
    // outside a clipboard import.
    void askAutomation(bool again);
    void startWork(CaptureWork work, Finish finish);
    void stopWork();
    void finishCapture(const PreparedCapture& capture);
    void finishImport(ReadingDocument document, bool autoplay);
    CaptureMessageState messageState() const;

    void setImportedText(std::optional<ImportedReading> value);
    void setCapturing(bool value);
    void setAccessibilityGranted(bool value);
    void setFailure(std::optional<CaptureFailure> value);
    void setSourceName(std::optional<QString> value);
    void setSucceeded(bool value);
    void setSourceBrowser(std::optional<ArticleBrowser> value);
    void setRequestingAutomation(bool value);
    void setLoadedBody(bool value);
    void setUsesClipboard(bool value);
    void setCaptureID(std::optional<QUuid> value);

    ReadingPlayer* m_player;
    Functions m_functions;
    std::optional<ImportedReading> m_importedText;
    bool m_isCapturing = false;
    bool m_accessibilityGranted = false;
    QString m_frontmostShortcutLabel;
    QString m_clipboardShortcutLabel;
    std::optional<CaptureFailure> m_failure;
    std::optional<QString> m_sourceName;
    bool m_succeeded = false;
    std::optional<ArticleBrowser> m_sourceBrowser;
    bool m_isRequestingAutomation = false;
    bool m_loadedBody = false;
    bool m_usesClipboard = false;
    std::optional<QUuid> m_captureID;
    std::optional<CaptureSourceApplication> m_sourceApplication;
    // The source browser's desktop id: whose consent is asked.
    QString m_sourceBrowserId;
    // The running work: its token reaches the pool thread (the launcher, the bus calls).
    TaskHandle m_worker;
};

}  // namespace tavrine
