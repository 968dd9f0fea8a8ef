// workspace-preview [BOOK.epub]: the reader workspace as a person sees it, for the tests on a real X
// display. A window titled "Tavrine workspace preview", 1100 × 720, shows the book (the shared sample
// book when none is given, read as published), paused a third of the way
// into its chapter "一", with the table of contents open and holding the keyboard focus. It prints one
// line whenever what it shows changes:
//   state pane=open|closed focus=list|display|other chapter=TITLE marked=LABEL status=ready|playing|paused|completed
// (TITLE: the chapter of the position; LABEL: the entry the pane marks, "-" for none), and runs until its
// window is closed. The player has no store: nothing is saved.
#include "ReaderCore/Clock.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Workspace/ReaderEPUBPane.h"
#include "ReaderWidgets/Workspace/ReaderRSVPDisplayPanel.h"
#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"
#include "support/CheckoutPaths.h"

#include <QApplication>
#include <QFile>
#include <QListView>
#include <QLocale>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>

using namespace tavrine;
using namespace Qt::StringLiterals;

namespace {

const char* statusName(ReadingSession::Status status) {
    switch (status) {
    case ReadingSession::Status::ready: return "ready";
    case ReadingSession::Status::playing: return "playing";
    case ReadingSession::Status::paused: return "paused";
    case ReadingSession::Status::completed: return "completed";
    }
    return "?";
}

QString markedEntry(const ReaderEPUBPane* pane) {
    if (!pane) return u"-"_s;
    const ReaderEPUBPaneModel& model = pane->model();
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.kindAt(row) == ReaderEPUBPaneModel::Kind::entry &&
            model.index(row).data(ReaderEPUBPaneModel::CurrentRole).toBool()) {
            return model.index(row).data().toString();
        }
    }
    return u"-"_s;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : test::inCheckout(TAVRINE_SHARED_DATA_DIR) + u"/epub/kusamakura.epub"_s;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "workspace-preview: cannot read %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return 1;
    }
    const auto book = EPUBReader().readSynchronously(file.readAll(), CancellationToken::none());
    if (!book) {
        std::fprintf(stderr, "workspace-preview: cannot import %s: %s\n", qPrintable(path),
                     qPrintable(failureName(book.error())));
        return 1;
    }
    const SavedReading reading = SavedReading::create(book->document, book->metadata.title(), book->information(),
                                                      std::nullopt, Date::fromUnixSeconds(1796558620));
    const QList<ReadingDocument::Section> sections =
        reading.document.sections.value_or(QList<ReadingDocument::Section>{});
    const auto first = std::find_if(sections.cbegin(), sections.cend(),
                                    [](const ReadingDocument::Section& section) { return section.title == u"一"_s; });
    if (first == sections.cend()) {
        std::fprintf(stderr, "workspace-preview: the book has no chapter 一\n");
        return 1;
    }

    MemoryDefaults defaults;
    SystemClock clock;
    ReadingPlayer player(nullptr, false, false, std::chrono::seconds(5), defaults, clock,
                         ReadingPlayer::PhraseWidth{[](QStringView text) { return PhraseWidthMeasurer::width(text); },
                                                    PhraseWidthMeasurer::referenceWidth()});
    ReaderEPUBPresentation presentation;
    ReaderWorkspaceWidget workspace(player, &presentation);
    workspace.setWindowTitle(u"Tavrine workspace preview"_s);
    workspace.resize(1100, 720);

    QString lastState;
    bool focusedOnce = false;
    bool opened = false;
    const auto report = [&] {
        // A new reading closes the pane: it is opened once the workspace has taken the book.
        if (!opened && player.readingID() == reading.id && !player.isPreparing()) {
            opened = true;
            presentation.setShowsNavigation(true);
        }
        ReaderEPUBPane* pane = workspace.epubPane();
        if (pane && !focusedOnce && workspace.isActiveWindow()) {
            focusedOnce = true;
            pane->list().setFocus(Qt::OtherFocusReason);
        }
        const QWidget* focus = QApplication::focusWidget();
        const char* focusName = pane && focus == &pane->list()                                       ? "list"
                                : workspace.column() && focus == &workspace.column()->displayPanel() ? "display"
                                                                                                     : "other";
        const std::optional<ReadingDocument::Section> section = player.currentSection();
        const QString state = u"state pane=%1 focus=%2 chapter=%3 marked=%4 status=%5"_s.arg(
            pane ? u"open"_s : u"closed"_s, QString::fromLatin1(focusName),
            section && section->title ? *section->title : u"-"_s, markedEntry(pane),
            QString::fromLatin1(statusName(player.session().status)));
        if (state == lastState) return;
        lastState = state;
        std::printf("%s\n", qPrintable(state));
        std::fflush(stdout);
    };
    QObject::connect(&workspace.controller(), &ReaderWorkspaceController::changed, &workspace, report);
    QObject::connect(&application, &QApplication::focusChanged, &workspace, report);
    // The pane marks its entry on a refresh of its own, queued after the player's change and possibly
    // after the controller's pass that printed the new chapter: a short poll prints the mark it settles on.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &workspace, report);
    poll.start(100);

    workspace.show();
    player.load(reading, first->start + (first->end - first->start) / 3);
    return QApplication::exec();
}
