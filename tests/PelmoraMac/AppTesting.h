#pragma once

#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/Capture/Pasteboard.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Updates/Updater.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/internal/PosixFileSystem.h"

#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace tavrine::test {

// The machine's file system, with every atomic write held back for a delay the test sets (on the store's
// own thread, so the main thread runs on) and counted once it has finished.
class SlowWritingFileSystem final : public FileSystem {
public:
    std::atomic<int> writeDelayMs{0};
    std::atomic<int> finishedWrites{0};

    WholeFileResult readFile(const QString& path, qint64 maxBytes) override { return m_real.readFile(path, maxBytes); }
    tl::expected<FileStatus, FileError> status(const QString& path) override { return m_real.status(path); }
    tl::expected<std::unique_ptr<ReadableFile>, FileError> openForReading(const QString& path) override {
        return m_real.openForReading(path);
    }
    tl::expected<QStringList, FileError> list(const QString& directory) override { return m_real.list(directory); }
    tl::expected<void, FileError> removeRecursively(const QString& path) override {
        return m_real.removeRecursively(path);
    }
    tl::expected<void, FileError> writeFileAtomicallyFrom(const QString& path,
                                                          const std::function<bool(FileContents&)>& produce) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(writeDelayMs.load()));
        auto written = m_real.writeFileAtomicallyFrom(path, produce);
        ++finishedWrites;
        return written;
    }
    tl::expected<void, FileError> createDirectories(const QString& path) override {
        return m_real.createDirectories(path);
    }
    tl::expected<std::unique_ptr<FileLock>, FileError> lockExclusively(const QString& path) override {
        return m_real.lockExclusively(path);
    }

private:
    PosixFileSystem m_real;
};

// An updater whose properties the test sets and whose calls it counts. Like a real framework it keeps
// both preferences and reports each change back, unless keepsPreferences is off.
class FakeUpdater final : public Updater {
public:
    struct Record {
        UpdaterDelegate* delegate = nullptr;
        int made = 0;
        int starts = 0;
        int checks = 0;
        std::optional<bool> sendsSystemProfile;
        FakeUpdater* current = nullptr;
    };

    FakeUpdater(std::shared_ptr<Record> record, bool startSucceeds)
        : m_record(std::move(record)), m_startSucceeds(startSucceeds) {
        m_record->current = this;
    }
    ~FakeUpdater() override { m_record->current = nullptr; }

    bool keepsPreferences = true;

    bool canCheckForUpdates() const override { return m_canCheck; }
    bool automaticallyChecksForUpdates() const override { return m_checks; }
    bool automaticallyDownloadsUpdates() const override { return m_downloads; }
    void setAutomaticallyChecksForUpdates(bool checks) override {
        if (keepsPreferences && checks != m_checks) {
            m_checks = checks;
            emit automaticallyChecksForUpdatesChanged();
        }
    }
    void setAutomaticallyDownloadsUpdates(bool downloads) override {
        if (keepsPreferences && downloads != m_downloads) {
            m_downloads = downloads;
            emit automaticallyDownloadsUpdatesChanged();
        }
    }
    void setSendsSystemProfile(bool sends) override { m_record->sendsSystemProfile = sends; }
    bool startUpdater() override {
        ++m_record->starts;
        return m_startSucceeds;
    }
    void checkForUpdates() override { ++m_record->checks; }

    // The framework's own changes.
    void setCanCheck(bool canCheck) {
        m_canCheck = canCheck;
        emit canCheckForUpdatesChanged();
    }
    void setValues(bool canCheck, bool checks, bool downloads) {
        m_canCheck = canCheck;
        m_checks = checks;
        m_downloads = downloads;
    }

private:
    std::shared_ptr<Record> m_record;
    bool m_startSucceeds;
    bool m_canCheck = false;
    bool m_checks = false;
    bool m_downloads = false;
};

// The factory of fake updaters that share record.
inline std::function<std::unique_ptr<Updater>(UpdaterDelegate&)> fakeUpdaters(
    std::shared_ptr<FakeUpdater::Record> record, bool startSucceeds = true) {
    return [record = std::move(record), startSucceeds](UpdaterDelegate& delegate) -> std::unique_ptr<Updater> {
        record->delegate = &delegate;
        ++record->made;
        return std::make_unique<FakeUpdater>(record, startSucceeds);
    };
}

// Hot keys registered in memory: the grabs each chord holds, and how many registrations were asked.
// A status set in failWith refuses every registration with it.
struct FakeHotKeys {
    using Shortcut = GlobalCaptureShortcut;

    Shortcut::Register function() {
        return [this](Shortcut::Chord chord, Shortcut::Command, std::function<void()> fire) -> Shortcut::Registration {
            ++registrations;
            if (failWith) return {.status = *failWith};
            const auto key = std::pair(chord.keyCode, chord.modifiers);
            grabs[key] = std::move(fire);
            return {.status = 0, .release = [this, key] { grabs.erase(key); }};
        };
    }
    // Runs the action of the chord, as its release would.
    bool press(Shortcut::Chord chord) {
        const auto found = grabs.find(std::pair(chord.keyCode, chord.modifiers));
        if (found == grabs.end()) return false;
        const auto fire = found->second;
        fire();
        return true;
    }

    std::map<std::pair<quint32, quint32>, std::function<void()>> grabs;
    int registrations = 0;
    std::optional<int> failWith;
};

// The application's clipboard as the offscreen platform keeps it (inside the process): its text and HTML
// taken on the main thread when an import starts, read on the pool from the copy.
class QtClipboardCopy final : public Pasteboard {
public:
    QtClipboardCopy() {
        if (const QMimeData* mime = QGuiApplication::clipboard()->mimeData()) {
            if (mime->hasHtml()) m_html = mime->html().toUtf8();
            if (mime->hasText()) m_text = mime->text();
        }
    }
    qint64 changeCount() override { return 0; }
    std::optional<qsizetype> itemCount() override { return m_html || m_text ? 1 : 0; }
    std::optional<QByteArray> data(qsizetype, DataType type) override {
        return type == DataType::html ? m_html : std::nullopt;
    }
    std::optional<QString> string(qsizetype) override { return m_text; }

private:
    std::optional<QByteArray> m_html;
    std::optional<QString> m_text;
};

// An application for a test: in-memory settings, the store file given, a fake updater outside a test
// host, no signal handlers, and a quit that only counts; hot keys registered with registerHotKey, when
// given. On the offscreen platform clipboard imports read the application's own clipboard. `configure`
// changes the rest of the configuration before the application is made.
struct AppUnderTest {
    explicit AppUnderTest(std::optional<QString> storeFile, GlobalCaptureShortcut::Register registerHotKey = {},
                          const std::function<void(PelmoraApp::Configuration&)>& configure = {}) {
        PelmoraApp::Configuration configuration{
            .defaults = std::make_unique<MemoryDefaults>(),
            .storeFile = std::move(storeFile),
            .makeUpdater = fakeUpdaters(updates),
            .isTestHost = [] { return false; },
            .terminate = [quits = quits] { ++*quits; },
            .handlesTerminationSignals = false,
            .windowEnvironment = ReaderWindowEnvironment::desktop(),
            .registerHotKey = std::move(registerHotKey),
        };
        if (QGuiApplication::platformName() == u"offscreen") {
            configuration.clipboard = [] { return std::shared_ptr<Pasteboard>(std::make_shared<QtClipboardCopy>()); };
        }
        if (configure) configure(configuration);
        app = std::make_unique<PelmoraApp>(std::move(configuration));
    }
    // The tasks woken by the application's objects as they go end on the event loop. The store, which
    // writes on a thread of its own, goes with the last task that holds it: the test's folder outlives
    // its last write.
    ~AppUnderTest() {
        const std::weak_ptr<ReadingStore> store = app->playback().store();
        app.reset();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const bool ended = processEventsUntil([&] {
            settlePool();
            return store.expired();
        });
        if (!ended) ADD_FAILURE() << "the application's store outlived it";
    }
    AppUnderTest(const AppUnderTest&) = delete;
    AppUnderTest& operator=(const AppUnderTest&) = delete;

    std::shared_ptr<FakeUpdater::Record> updates = std::make_shared<FakeUpdater::Record>();
    std::shared_ptr<int> quits = std::make_shared<int>(0);
    std::unique_ptr<PelmoraApp> app;
};

}  // namespace tavrine::test
