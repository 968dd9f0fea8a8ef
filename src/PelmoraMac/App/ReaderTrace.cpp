#include "PelmoraMac/App/ReaderTrace.h"

#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Menus/ReaderCommands.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QThread>
#include <QWindow>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tavrine {

namespace {

// The trace file, opened at the first mark; -1 without one.
int traceFile() {
    static const int file = [] {
        const char* path = std::getenv("TAVRINE_TRACE_FILE");
        if (!path || !*path) return -1;
        return ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }();
    return file;
}

const char* statusName(ReadingSession::Status status) {
    switch (status) {
    case ReadingSession::Status::ready: return "ready";
    case ReadingSession::Status::playing: return "playing";
    case ReadingSession::Status::paused: return "paused";
    case ReadingSession::Status::completed: return "completed";
    }
    return "unknown";
}

QString focusName(const QWidget& widget) {
    if (!widget.objectName().isEmpty()) return widget.objectName();
    if (!widget.accessibleName().isEmpty()) return widget.accessibleName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget); button && !button->text().isEmpty())
        return button->text();
    return QString::fromLatin1(widget.metaObject()->className());
}

// The reader window, or a popup it opened that holds keys of its own (the narrow window's list), not a
// menu.
bool isReaderWindow(const QWidget& window, const QWidget& reader) {
    if (&window == &reader) return true;
    return window.windowType() == Qt::Popup && !qobject_cast<const QMenu*>(&window) && window.parentWidget() &&
           window.parentWidget()->window() == &reader;
}

void markWith(const char* kind, const QString& value) {
    ReaderTrace::mark(QStringLiteral("%1 %2").arg(QLatin1String(kind), value).toUtf8().constData());
}

// A key as its mark names it: its portable text with the modifiers held ("Ctrl+Return", "Space"); a modifier
// pressed alone by its own name ("Alt"), without the modifier it sets itself.
QString keyName(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: return QKeySequence(key.key()).toString(QKeySequence::PortableText);
    default: break;
    }
    const Qt::KeyboardModifiers held =
        key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return QKeySequence(QKeyCombination(held, Qt::Key(key.key()))).toString(QKeySequence::PortableText);
}

// Marks each mouse button press and each key press as the window it reaches receives it: once per press,
// whichever widget then takes it, ignores it or hands it to an open popup. A key press first comes to the window
// as a shortcut override, and only a key no shortcut took comes again as a key press: the override marks it
// (a key bound to a menu item never comes as a press), and the press that follows it, with the same key and
// time, is not marked again.
class InputMarks final : public QObject {
public:
    InputMarks() { Q_ASSERT(isMainThread()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWindowType()) return false;
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool override = event->type() == QEvent::ShortcutOverride;
            if (!override && m_overridden && key->key() == m_overriddenKey && key->timestamp() == m_overriddenAt) {
                m_overridden = false;
                return false;
            }
            m_overridden = override;
            m_overriddenKey = key->key();
            m_overriddenAt = key->timestamp();
            markWith("key", keyName(*key));
            return false;
        }
        if (event->type() != QEvent::MouseButtonPress) return false;
        const QPoint place = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        const QWidget* under = QApplication::widgetAt(place);
        markWith("press", QStringLiteral("%1 %2 %3")
                              .arg(place.x())
                              .arg(place.y())
                              .arg(under ? focusName(*under) : QStringLiteral("nothing")));
        return false;
    }

private:
    // The last key marked at its shortcut override, until the key press that may follow it.
    bool m_overridden = false;
    int m_overriddenKey = 0;
    quint64 m_overriddenAt = 0;
};

}  // namespace

std::unique_ptr<QObject> ReaderTrace::inputMarks() {
    return std::make_unique<InputMarks>();
}

bool ReaderTrace::isEnabled() {
    return traceFile() >= 0;
}

void ReaderTrace::mark(const char* name) {
    const int file = traceFile();
    if (file < 0) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // As long as the name is (a focus mark names a control by its title): never cut, never past its end.
    std::string line(name);
    line += ' ';
    line += std::to_string(static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec);
    line += '\n';
    // One write per line (a short one is continued): a mark is never split among others' lines, and
    // nothing waits in a buffer when the process ends.
    const char* rest = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t count = ::write(file, rest, left);
        if (count > 0) {
            rest += count;
            left -= size_t(count);
        } else if (count == 0 || errno != EINTR) {
            break;
        }
    }
    // A line the disk took only in part (it filled up) is taken back: a cut mark could read as another
    // (a focus mark with a shorter name), and the next mark would go on the same line. A lost mark spoils
    // one benchmark run, nothing else.
    if (const size_t written = line.size() - left; left > 0 && written > 0) {
        struct stat info {};
        if (::fstat(file, &info) == 0 && info.st_size >= off_t(written)) {
            [[maybe_unused]] const int cut = ::ftruncate(file, info.st_size - off_t(written));
        }
    }
}

ReaderTraceMarks::ReaderTraceMarks(PelmoraApp& app) : m_app(app) {
    Q_ASSERT(isMainThread());
    app.readerWindow().installEventFilter(this);
    m_inputs = ReaderTrace::inputMarks();
    qApp->installEventFilter(m_inputs.get());
    connect(QThread::currentThread()->eventDispatcher(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        if (m_painted && !m_idle) {
            m_idle = true;
            ReaderTrace::mark("idle");
        }
    });
    ReadingPlayer& player = app.playback().player();
    connect(&player, &ReadingPlayer::readingChanged, this, [this, &player] {
        m_awaitingPhrase = true;
        if (const std::optional<QUuid> id = player.readingID(); id != m_readingID) {
            m_readingID = id;
            markWith("reading", player.reading() ? ReaderDocumentIdentity::shownTitle(*player.reading()) : QString());
        }
    });
    connect(&player, &ReadingPlayer::storageMessageChanged, this, [this, &player] {
        const QString notice = player.storageMessage().value_or(QString()).simplified();
        if (notice != m_notice) markWith("notice", m_notice = notice);
    });
    connect(&player, &ReadingPlayer::sessionChanged, this, [this, &player] {
        if (m_awaitingPhrase && player.session().currentChunk()) {
            m_awaitingPhrase = false;
            m_phraseReady = true;
        }
        const auto status = player.session().status;
        if (status == ReadingSession::Status::completed && m_playing) ReaderTrace::mark("completed");
        m_playing = status == ReadingSession::Status::playing;
        const QString name = QString::fromLatin1(statusName(status));
        if (name != m_status) markWith("status", m_status = name);
    });
    connect(&player, &ReadingPlayer::baseSecondsChanged, this, [this, &player] {
        if (const QString label = player.speedLabel(); label != m_speed) markWith("speed", m_speed = label);
    });
    CaptureModel& capture = app.capture();
    connect(&capture, &CaptureModel::failureChanged, this, [&capture] {
        if (const auto failure = capture.failure()) markWith("capture", rawValue(*failure));
    });
    connect(&capture, &CaptureModel::succeededChanged, this, [&capture] {
        if (capture.succeeded()) markWith("capture", QStringLiteral("succeeded"));
    });
    // As the application's handlers see it: a capture under way ends once the application is left.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
        markWith("application", state == Qt::ApplicationActive ? QStringLiteral("active") : QStringLiteral("inactive"));
    });
    connect(&app.commands(), &ReaderCommands::itemTriggered, this, [this](ReaderMenuItem item) {
        const QKeySequence keys = m_app.commands().action(item).shortcut();
        const QByteArray line = QByteArray("menu ") + keys.toString(QKeySequence::PortableText).toUtf8();
        ReaderTrace::mark(line.constData());
    });
    ReaderWindowState& windowState = app.windowState();
    if (windowState.history()) followHistory(*windowState.history());
    connect(&windowState, &ReaderWindowState::historyMade, this, [this, &windowState] {
        if (windowState.history()) followHistory(*windowState.history());
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || !isReaderWindow(*now->window(), m_app.readerWindow())) return;
        const QPoint place = now->mapToGlobal(QPoint(0, 0));
        markWith("focus", QStringLiteral("%1 %2 %3 %4 %5")
                              .arg(place.x())
                              .arg(place.y())
                              .arg(now->width())
                              .arg(now->height())
                              .arg(focusName(*now)));
    });
}

ReaderTraceMarks::~ReaderTraceMarks() = default;

void ReaderTraceMarks::followHistory(const ReaderHistoryModel& history) {
    if (m_followsHistory) return;
    m_followsHistory = true;
    // Only between operations: a removal is over (and the list has placed the keys) once its count shows.
    const auto markCounts = [this, &history] {
        if (history.isBusy()) return;
        if (const qsizetype count = history.history().size(); count != m_historyCount) {
            m_historyCount = count;
            markWith("history", QString::number(count));
        }
        if (const qsizetype count = history.library().size(); count != m_libraryCount) {
            m_libraryCount = count;
            markWith("library", QString::number(count));
        }
    };
    connect(&history, &ReaderHistoryModel::historyChanged, this, markCounts);
    connect(&history, &ReaderHistoryModel::libraryChanged, this, markCounts);
    connect(&history, &ReaderHistoryModel::isBusyChanged, this, markCounts);
}

void ReaderTraceMarks::followHotKey(const GlobalCaptureShortcut& shortcut) {
    connect(&shortcut, &GlobalCaptureShortcut::fired, this,
            [&shortcut] { markWith("hotkey", chordDisplayLabel(shortcut.chord())); });
}

void ReaderTraceMarks::playRequested() {
    ReaderTrace::mark("play-requested");
    m_awaitingChunk = true;
}

bool ReaderTraceMarks::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == &m_app.readerWindow()) ReaderTrace::mark("close");
    // The window's first paint comes with its first exposure; later ones with an update request to the
    // top-level widget. Each mark follows the paint and the flush of the backing store.
    if (event->type() == QEvent::Show && !m_followsWindow) {
        if (QWindow* window = m_app.readerWindow().windowHandle()) {
            window->installEventFilter(this);
            m_followsWindow = true;
        }
    }
    if (event->type() != QEvent::UpdateRequest && event->type() != QEvent::Expose) return false;
    const bool marksPaint = !m_painted;
    const bool marksChunk = m_awaitingChunk && m_playing;
    const bool marksPhrase = m_phraseReady;
    if (!marksPaint && !marksChunk && !marksPhrase) return false;
    static_cast<QObject*>(watched)->event(event);
    const QWindow* window = m_app.readerWindow().windowHandle();
    if (marksPaint && window && window->isExposed()) {
        m_painted = true;
        ReaderTrace::mark("window-painted");
    }
    if (marksChunk) {
        m_awaitingChunk = false;
        ReaderTrace::mark("chunk-shown");
    }
    if (marksPhrase) {
        m_phraseReady = false;
        ReaderTrace::mark("phrase-shown");
    }
    return true;
}

}  // namespace tavrine
