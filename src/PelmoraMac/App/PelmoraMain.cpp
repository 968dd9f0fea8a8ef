#include "PelmoraMac/App/PelmoraMain.h"

#include "PelmoraMac/App/ApplicationLook.h"
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/App/ReaderTrace.h"
#include "PelmoraMac/App/SingleInstance.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Updates/ApplicationVersion.h"
#include "PelmoraMac/X11/X11Connection.h"
#include "ReaderCore/ApplicationIdentifier.h"
#include "ReaderCore/PrintableText.h"
#include "ReaderWidgets/Style/PhraseLineBreaks.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>

namespace tavrine {
using namespace Qt::StringLiterals;

std::optional<QString> missingDisplayMessage(const QProcessEnvironment& environment,
                                             const std::function<std::optional<QString>(const QString&)>& refusal) {
    // QT_QPA_PLATFORM may name a list ("xcb;offscreen"); its first platform decides. Unset, it is xcb
    // (runPelmoraApp sets it so).
    const QString platform = environment.value(u"QT_QPA_PLATFORM"_s).section(u';', 0, 0).section(u':', 0, 0);
    if (platform == u"offscreen" || platform == u"minimal") return std::nullopt;
    if (platform.startsWith(u"wayland"_s)) {
        if (!environment.value(u"WAYLAND_DISPLAY"_s).isEmpty()) return std::nullopt;
        return u"tavrine: no display to open the reader window on: WAYLAND_DISPLAY is not set"_s;
    }
    const QString display = environment.value(u"DISPLAY"_s);
    if (display.isEmpty()) {
        return u"tavrine: no X display to open the reader window on: DISPLAY is not set (Tavrine needs an X11 "
               u"session or XWayland)"_s;
    }
    const std::optional<QString> why = refusal ? refusal(display) : std::nullopt;
    if (!why) return std::nullopt;
    return u"tavrine: could not open the X display \"%1\" named by DISPLAY: %2"_s.arg(
        escapingControlCharacters(display), *why);
}

QString notRespondingMessage(std::optional<qint64> process) {
    const QString running =
        process ? u"Tavrine is already running (process %1)"_s.arg(*process) : u"Tavrine is already running"_s;
    return u"tavrine: "_s + running + u" but does not respond; end it before starting Tavrine again"_s;
}

std::unique_ptr<QMessageBox> makeNotRespondingWindow(std::optional<qint64> process) {
    const QString running = process ? u"起動中のTavrine（プロセス %1）"_s.arg(*process) : u"起動中のTavrine"_s;
    auto window =
        std::make_unique<QMessageBox>(QMessageBox::Warning, u"Tavrineを起動できません"_s,
                                      u"Tavrineはすでに起動していますが、応答していません。"_s, QMessageBox::Ok);
    window->setInformativeText(running + u"を終了してから、もう一度起動してください。"_s);
    setPhraseWrappedTexts(*window);
    ReaderTheme::apply(*window);
    return window;
}

QString storeRefusalMessage(const QString& details) {
    QStringList lines{u"保存データを開けませんでした。"_s};
    lines.append(details.split(u'\n'));
    return u"tavrine: "_s + lines.join(u"\ntavrine: "_s);
}

int runPelmoraApp(int argc, char** argv) {
    ReaderTrace::mark("main");
    // The hot keys, the capture of the application in front and the window placement speak X11: in a
    // Wayland session with Qt's Wayland plugin installed the window goes to XWayland all the same.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    if (const auto message = missingDisplayMessage(QProcessEnvironment::systemEnvironment(), x11DisplayRefusal)) {
        std::fprintf(stderr, "%s\n", message->toLocal8Bit().constData());
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"Tavrine"_s);
    QApplication::setApplicationVersion(ApplicationVersion::current().version.value_or(QString()));
    QApplication::setDesktopFileName(QString::fromUtf16(kApplicationIdentifier));
    applyApplicationLook(application);

    const std::optional<QString> storeFile = MacReadingPlayback::applicationStoreFile();
    // Before the store is opened: a second process on the same store only asks the first to show itself.
    SingleInstance instance(SingleInstance::socketPath(storeFile.value_or(QString())));
    switch (instance.claim()) {
    case SingleInstance::Claim::handedOver: return 0;
    case SingleInstance::Claim::notResponding: {
        std::fprintf(stderr, "%s\n", notRespondingMessage(instance.runningProcess()).toLocal8Bit().constData());
        const std::unique_ptr<QMessageBox> window = makeNotRespondingWindow(instance.runningProcess());
        window->exec();
        return 1;
    }
    case SingleInstance::Claim::instance:
    case SingleInstance::Claim::unavailable: break;
    }

    {
        PelmoraApp app(PelmoraApp::Configuration::application(storeFile));
        if (const std::optional<QString>& details = app.playback().refusalDetails()) {
            std::fprintf(stderr, "%s\n", storeRefusalMessage(*details).toLocal8Bit().constData());
        }
        QObject::connect(&instance, &SingleInstance::showRequested, &app, &PelmoraApp::openReader);
        app.openReader();
        application.exec();
    }
    // What the application's objects left waiting when they went (the store listener's wake-up, a store
    // job that finished meanwhile) is delivered now: each such coroutine finds its owner gone and ends,
    // rather than being dropped, unfinished, with the application object.
    QCoreApplication::sendPostedEvents();
    return 0;
}

}  // namespace tavrine
