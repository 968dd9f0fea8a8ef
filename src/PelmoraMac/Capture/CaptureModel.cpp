#include "PelmoraMac/Capture/CaptureModel.h"

#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/ClipboardConversion.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/QueuedFuture.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/PropertyWrite.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

const QString kClipboardSourceName = u"クリップボード"_s;

// A clipboard import's conversion in a worker process under its own deadline, its document checked as
// every clipboard document is.
CaptureResult<PreparedCapture> convertInWorker(const CaptureWorkerRunner& runWorker, const ClipboardSnapshot& snapshot,
                                               CaptureDeadline deadline, const CancellationToken& cancellation) {
    const CaptureWorkerRequest request{.operation = CaptureWorkerRequest::Operation::clipboard, .clipboard = snapshot};
    auto response = runWorker(request, deadline, cancellation);
    if (!response) return tl::unexpected(response.error());
    if (response->failure) return tl::unexpected(*response->failure);
    if (!response->document) return tl::unexpected(CaptureFailure::clipboardUnreadable);
    auto document = validateClipboardDocument(std::move(*response->document));
    if (!document) return tl::unexpected(document.error());
    return PreparedCapture{.document = std::move(*document), .isBody = false};
}

// A clipboard import's work, on a pool thread: the snapshot read within the import's deadline; plain text
// in plain-text mode converted here, anything else in a worker given 3 seconds of its own from then on.
CaptureResult<PreparedCapture> importSnapshot(Pasteboard& pasteboard, ClipboardImportMode mode,
                                              CaptureDeadline deadline, const CaptureWorkerRunner& runWorker,
                                              const CancellationToken& cancellation) {
    auto snapshot = readClipboardSnapshot(pasteboard, mode, deadline);
    if (!snapshot) return tl::unexpected(snapshot.error());
    if (auto inTime = checkCaptureDeadline(deadline, cancellation); !inTime) return tl::unexpected(inTime.error());
    if (!snapshot->hasFormattedData() && snapshot->mode == ClipboardImportMode::plainText) {
        auto document = convertClipboardSnapshot(*snapshot);
        if (!document) return tl::unexpected(document.error());
        return PreparedCapture{.document = std::move(*document), .isBody = false};
    }
    return convertInWorker(runWorker, *snapshot, captureDeadlineFrom(SystemClock::shared().monotonicNow()),
                           cancellation);
}

}  // namespace

CaptureModel::CaptureModel(ReadingPlayer* player, Functions functions, QObject* parent)
    : QObject(parent),
      m_player(player),
      m_functions(std::move(functions)),
      m_frontmostShortcutLabel(u"Meta+Ctrl+Alt+R"_s),
      m_clipboardShortcutLabel(u"Meta+Ctrl+Alt+V"_s) {
    Q_ASSERT(isMainThread());
    refreshPermission();
}

CaptureModel::CaptureModel(ReadingPlayer* player) : CaptureModel(player, Functions{}) {}

// The handle cancels the running work: its pool thread sees the token, and its result finds no model.
CaptureModel::~CaptureModel() = default;

void CaptureModel::setFrontmostShortcutLabel(QString label) {
    Q_ASSERT(isMainThread());
    writeProperty(this, m_frontmostShortcutLabel, std::move(label), &CaptureModel::frontmostShortcutLabelChanged);
}

void CaptureModel::setClipboardShortcutLabel(QString label) {
    Q_ASSERT(isMainThread());
    writeProperty(this, m_clipboardShortcutLabel, std::move(label), &CaptureModel::clipboardShortcutLabelChanged);
}

QString CaptureModel::statusMessage() const {
    return captureStatusMessage(messageState());
}

std::optional<QString> CaptureModel::clipboardFailureMessage() const {
    const auto document = m_player ? m_player->document() : std::nullopt;
    return captureClipboardFailureMessage(messageState(), document && !document->text.isEmpty());
}

CaptureMessageState CaptureModel::messageState() const {
    return {
        .isCapturing = m_isCapturing,
        .failure = m_failure,
        .succeeded = m_succeeded,
        .usesClipboard = m_usesClipboard,
        .loadedBody = m_loadedBody,
        .sourceName = m_sourceName,
        .sourceBrowser = m_sourceBrowser,
        .frontmostShortcutLabel = m_frontmostShortcutLabel,
        .clipboardShortcutLabel = m_clipboardShortcutLabel,
    };
}

void CaptureModel::refreshPermission() {
    Q_ASSERT(isMainThread());
    const bool granted = m_functions.permissionCheck && m_functions.permissionCheck();
    setAccessibilityGranted(granted);
    if (m_usesClipboard) return;
    if (!granted) {
        if (!m_isCapturing) return;
        cancel();
        setFailure(CaptureFailure::permissionRequired);
    } else if (m_failure == CaptureFailure::permissionRequired) {
        setFailure(std::nullopt);
    }
}

void CaptureModel::requestAccessibilityPermission() {
    Q_ASSERT(isMainThread());
    if (m_functions.permissionRequest) m_functions.permissionRequest();
    refreshPermission();
}

void CaptureModel::cancel() {
    Q_ASSERT(isMainThread());
    if (!m_isCapturing) return;
    stopWork();
    setFailure(CaptureFailure::cancelled);
}

void CaptureModel::stopWork() {
    setCaptureID(std::nullopt);
    m_worker.cancel();
    m_worker.release();
    setCapturing(false);
}

void CaptureModel::dismissClipboardFailure() {
    Q_ASSERT(isMainThread());
    if (m_usesClipboard && !m_isCapturing && m_failure) setFailure(std::nullopt);
}

void CaptureModel::requestAutomationPermission() {
    Q_ASSERT(isMainThread());
    askAutomation(/*again=*/false);
}

void CaptureModel::openAccessibilitySettings() {
    Q_ASSERT(isMainThread());
    if (m_functions.openAccessibilitySettings) m_functions.openAccessibilitySettings();
}

void CaptureModel::openAutomationSettings() {
    Q_ASSERT(isMainThread());
    askAutomation(/*again=*/true);
}

void CaptureModel::askAutomation(bool again) {
    if (!m_sourceBrowser || m_isRequestingAutomation) return;
    setRequestingAutomation(true);
    const ArticleBrowser browser = *m_sourceBrowser;
    const QString browserId = m_sourceBrowserId;
    // The answer may come much later: it changes the failure only while the same browser's consent is
    // still what the user is told to give. Chromium and Google Chrome are both `chrome`: their ids differ.
    const auto apply = [self = QPointer(this), browser, browserId, again](int status) {
        if (!self) return;
        self->setRequestingAutomation(false);
        const bool asked = self->m_failure == CaptureFailure::automationRequired ||
                           (again && self->m_failure == CaptureFailure::automationDenied);
        if (self->m_usesClipboard || self->m_sourceBrowser != browser || self->m_sourceBrowserId != browserId ||
            !asked) {
            return;
        }
        self->setFailure(status == kAutomationAllowed ? std::nullopt : std::optional(CaptureFailure::automationDenied));
    };
    if (!m_functions.automationRequest) {
        apply(kAutomationDenied);
        return;
    }
    m_functions.automationRequest(browserId, captureBrowserName(browser, m_sourceName), again, apply);
}

void CaptureModel::captureFrontmost(std::function<void()> present) {
    Q_ASSERT(isMainThread());
    if (m_isCapturing) return;
    if (m_player) m_player->pause();
    setUsesClipboard(false);
    setFailure(std::nullopt);
    setSucceeded(false);
    setSourceName(std::nullopt);
    setSourceBrowser(std::nullopt);
    m_sourceBrowserId.clear();
    m_sourceApplication.reset();

    const auto source = m_functions.sourceProvider ? m_functions.sourceProvider() : std::nullopt;
    if (!source) {
        setFailure(CaptureFailure::noSource);
        if (present) present();
        return;
    }
    m_sourceApplication = CaptureSourceApplication{.pid = source->pid, .window = source->window};
    m_sourceBrowserId = source->browser ? source->browserId : QString();
    setSourceBrowser(source->browser);
    setSourceName(source->name);
    if (!m_functions.permissionCheck || !m_functions.permissionCheck()) {
        setFailure(CaptureFailure::permissionRequired);
        if (present) present();
        return;
    }
    CaptureWork work = m_functions.captureOperation ? m_functions.captureOperation(*source) : CaptureWork{};
    if (!work)
        work = [](const CancellationToken&) -> CaptureResult<PreparedCapture> {
            return tl::unexpected(CaptureFailure::unavailable);
        };
    startWork(std::move(work), Finish{.usesClipboard = false, .autoplay = true, .present = std::move(present)});
}

void CaptureModel::importClipboard(std::shared_ptr<Pasteboard> pasteboard, bool autoplay, ClipboardImportMode mode,
                                   std::function<void()> present) {
    Q_ASSERT(isMainThread());
    if (m_player) m_player->pause();
    stopWork();
    setUsesClipboard(true);
    m_sourceApplication.reset();
    m_sourceBrowserId.clear();
    setSourceBrowser(std::nullopt);
    setSourceName(kClipboardSourceName);
    setSucceeded(false);
    setFailure(std::nullopt);

    const CaptureDeadline deadline = captureDeadlineFrom(SystemClock::shared().monotonicNow());
    startWork(
        [runWorker = m_functions.clipboardWorker, pasteboard = std::move(pasteboard), mode,
         deadline](const CancellationToken& cancellation) {
            return importSnapshot(*pasteboard, mode, deadline, runWorker, cancellation);
        },
        Finish{.usesClipboard = true, .autoplay = autoplay, .present = {}});
    if (present) present();
}

void CaptureModel::startWork(CaptureWork work, Finish finish) {
    setCapturing(true);
    const QUuid id = QUuid::createUuid();
    setCaptureID(id);
    m_worker.start([&](CancellationToken cancellation) {
        return run(QPointer(this), std::move(work), id, std::move(cancellation), std::move(finish));
    });
}

QCoro::Task<void> CaptureModel::run(QPointer<CaptureModel> self, CaptureWork work, QUuid id,
                                    CancellationToken cancellation, Finish finish) {
    QueuedFuture<CaptureResult<PreparedCapture>> working(
        QtConcurrent::run([work = std::move(work), cancellation] { return work(cancellation); }));
    const CaptureResult<PreparedCapture> result = co_await working;
    if (!self || self->m_captureID != id) co_return;
    self->setCaptureID(std::nullopt);
    self->m_worker.release();
    self->setCapturing(false);
    if (!result) {
        self->setFailure(result.error());
    } else if (finish.usesClipboard) {
        self->finishImport(result->document, finish.autoplay);
    } else {
        self->finishCapture(*result);
    }
    if (finish.present) finish.present();
}

void CaptureModel::finishCapture(const PreparedCapture& capture) {
    setFailure(std::nullopt);
    setLoadedBody(capture.isBody);
    setImportedText(ImportedReading::create(capture.document, /*autoplay=*/true, std::nullopt, m_sourceName,
                                            /*allowsReplacementUndo=*/false, *m_functions.clock));
    setSucceeded(true);
}

void CaptureModel::finishImport(ReadingDocument document, bool autoplay) {
    setLoadedBody(false);
    setImportedText(ImportedReading::create(std::move(document), autoplay, std::nullopt, m_sourceName,
                                            /*allowsReplacementUndo=*/true, *m_functions.clock));
    setSucceeded(true);
}

void CaptureModel::setImportedText(std::optional<ImportedReading> value) {
    writeProperty(this, m_importedText, std::move(value), &CaptureModel::importedTextChanged);
}

void CaptureModel::setCapturing(bool value) {
    writeProperty(this, m_isCapturing, value, &CaptureModel::isCapturingChanged);
}

void CaptureModel::setAccessibilityGranted(bool value) {
    writeProperty(this, m_accessibilityGranted, value, &CaptureModel::accessibilityGrantedChanged);
}

void CaptureModel::setFailure(std::optional<CaptureFailure> value) {
    writeProperty(this, m_failure, value, &CaptureModel::failureChanged);
}

void CaptureModel::setSourceName(std::optional<QString> value) {
    writeProperty(this, m_sourceName, std::move(value), &CaptureModel::sourceNameChanged);
}

void CaptureModel::setSucceeded(bool value) {
    writeProperty(this, m_succeeded, value, &CaptureModel::succeededChanged);
}

void CaptureModel::setSourceBrowser(std::optional<ArticleBrowser> value) {
    writeProperty(this, m_sourceBrowser, value, &CaptureModel::sourceBrowserChanged);
}

void CaptureModel::setRequestingAutomation(bool value) {
    writeProperty(this, m_isRequestingAutomation, value, &CaptureModel::isRequestingAutomationChanged);
}

void CaptureModel::setLoadedBody(bool value) {
    writeProperty(this, m_loadedBody, value, &CaptureModel::loadedBodyChanged);
}

void CaptureModel::setUsesClipboard(bool value) {
    writeProperty(this, m_usesClipboard, value, &CaptureModel::usesClipboardChanged);
}

void CaptureModel::setCaptureID(std::optional<QUuid> value) {
    writeProperty(this, m_captureID, value, &CaptureModel::captureIDChanged);
}

}  // namespace tavrine
