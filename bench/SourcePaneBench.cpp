// source-pane-bench: the source pane with its tool row on the offscreen platform, 600 × 800, point size 15,
// one process per case (each case starts the program again with --case TEXT SHAPE, so memory figures
// are its own). Texts: 草枕 from the shared sample book ("ja") or English prose ("en"), repeated:
//   paragraphs  2,000,000 units in the book's paragraphs
//   single      2,000,000 units in one paragraph
//   tables      500,000 units with 300 grid tables of 3 × 5 cells
//   short       20,000 units with two grid tables of 4 × 10 cells
// Prints one line per case:
//   {"text":"ja","shape":"single","units":2000000,"engine":"bounded","firstPaintMs":…,"jumpP95Ms":…,
//    "followUpdateP99Ms":…,"followFrameP99Ms":…,"peakRssMb":…,"rssGrowthMb":…}
// Each case's document goes through the navigation's loadDocument and to the pane as the workspace hands
// it over; the pane's update runs on the next turn of the event loop, as in the application.
// firstPaintMs: from handing the document over until its text is painted; jumpP95Ms: 200 random
// scroll-bar moves, each until painted; follow: 2,000 phrase steps of 12 units highlighted with reveal,
// the update alone (followUpdate) and the update with its paint (followFrame). peakRssMb is the process's
// peak resident size, rssGrowthMb what the view added over the loaded text. It fails when a case does.
// source-pane-bench --smoke: each case with one jump and one phrase step.
#include "BenchReport.h"
#include "BenchTexts.h"

#include "PelmoraMac/Source/InteractionTextView.h"
#include "PelmoraMac/Source/ReaderSourcePane.h"
#include "PelmoraMac/Source/ReaderSourceTools.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QUuid>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using Kind = ReadingDocument::Span::Kind;
using bench::millisecondsSince;
using bench::percentile;

// A status line of /proc/self/status in megabytes.
double statusMegabytes(const char* key) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toDouble() / 1000.0;
    }
    return 0;
}

QString baseText(const QString& language, qsizetype length) {
    if (language == u"en"_s) return bench::englishProse(length, 7);
    QString book = bench::kusamakuraText();
    if (book.isEmpty()) book = u"山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。\n"_s;
    return bench::repeatedTo(book, length);
}

// text with tables grid tables of columns × rows short cells, spread evenly at line starts.
ReadingDocument withTables(QString text, int tables, int columns, int rows) {
    ReadingDocument document;
    const qsizetype step = text.size() / (tables + 1);
    qsizetype from = 0;
    for (int table = 0; table < tables; ++table) {
        qsizetype cut = text.indexOf(u'\n', (table + 1) * step);
        if (cut < 0) cut = text.size() - 1;
        document.text += text.mid(from, cut + 1 - from);
        from = cut + 1;
        const qsizetype start = document.text.size();
        for (int cell = 0; cell < columns * rows; ++cell) {
            const QString content =
                text.mid((cell * 37) % std::max<qsizetype>(text.size() - 16, 1), 6 + cell % 5).remove(u'\n') + u'\n';
            document.spans.append({.kind = cell < columns ? Kind::tableHeader : Kind::tableCell,
                                   .start = document.text.size(),
                                   .end = document.text.size() + content.size(),
                                   .level = 0});
            document.text += content;
        }
        document.spans.append({.kind = Kind::table, .start = start, .end = document.text.size(), .level = columns});
    }
    document.text += text.mid(from);
    return document;
}

// The tables' units come on top of the text's: measured once, then the text cut so the whole is units.
ReadingDocument tabledDocument(const QString& language, qsizetype units, int tables, int columns, int rows) {
    const qsizetype tableUnits = withTables(baseText(language, units), tables, columns, rows).text.size() - units;
    return withTables(baseText(language, units - tableUnits), tables, columns, rows);
}

ReadingDocument caseDocument(const QString& language, const QString& shape) {
    if (shape == u"tables"_s) return tabledDocument(language, 500'000, 300, 3, 5);
    if (shape == u"short"_s) return tabledDocument(language, 20'000, 2, 4, 10);
    QString text = baseText(language, 2'000'000);
    if (shape == u"single"_s) text.replace(u'\n', language == u"ja"_s ? u'　' : u' ');
    return {.sections = std::nullopt, .text = std::move(text), .spans = {}};
}

int runCase(const QString& language, const QString& shape) {
    ReadingDocument document = caseDocument(language, shape);
    const qsizetype units = document.text.size();
    ReaderSourceNavigation navigation;
    QWidget window;
    window.resize(600, 800);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new ReaderSourceTools(navigation, true, true, {}, {}, &window));
    // As the workspace makes it: before anything is loaded, over an empty document.
    auto* pane = new ReaderSourcePane(navigation, {}, {}, {}, &window);
    layout->addWidget(pane, 1);
    window.show();
    QCoreApplication::processEvents();
    ReaderSourceView& view = pane->sourceView();
    const double rssBefore = statusMegabytes("VmRSS:");

    ReaderSourceViewInput input{
        .document = document, .cursor = 0, .focusRelease = {}, .highlightedRange = std::nullopt, .pointSize = 15};
    // One turn of the event loop: the pane's coalesced update runs in it.
    const auto update = [&] {
        pane->setInput(input);
        QCoreApplication::processEvents();
    };
    auto start = std::chrono::steady_clock::now();
    navigation.loadDocument(document.text, document.spans, QUuid::createUuid());
    update();
    while (view.textView().textLength() != units) QCoreApplication::processEvents();
    view.textWidget().viewport()->repaint();
    const double firstPaint = millisecondsSince(start);

    std::vector<double> jumps;
    QRandomGenerator random(39);
    QScrollBar* bar = view.textWidget().verticalScrollBar();
    for (int i = 0; i < bench::roundsOf(200); ++i) {
        start = std::chrono::steady_clock::now();
        bar->setValue(static_cast<int>(random.bounded(bar->maximum() + 1)));
        view.textWidget().viewport()->repaint();
        jumps.push_back(millisecondsSince(start));
        QCoreApplication::processEvents();
    }

    std::vector<double> updates;
    std::vector<double> frames;
    qsizetype offset = units / 3;
    for (int step = 0; step < bench::roundsOf(2'000); ++step, offset += 12) {
        input.highlightedRange = TextRange{offset % (units - 12), offset % (units - 12) + 12};
        start = std::chrono::steady_clock::now();
        update();
        updates.push_back(millisecondsSince(start));
        view.textWidget().viewport()->repaint();
        frames.push_back(millisecondsSince(start));
        QCoreApplication::processEvents();
    }

    const double rssAfter = statusMegabytes("VmRSS:");
    QString line = u"{\"text\":"_s + bench::jsonString(language) + u",\"shape\":"_s + bench::jsonString(shape);
    line += bench::field(u"units"_s, QString::number(units));
    line += bench::field(u"engine"_s, bench::jsonString(view.usesBoundedLayout() ? u"bounded"_s : u"ordinary"_s));
    line += bench::field(u"firstPaintMs"_s, bench::milliseconds(firstPaint));
    line += bench::field(u"jumpP95Ms"_s, bench::milliseconds(percentile(jumps, 0.95)));
    line += bench::field(u"followUpdateP99Ms"_s, bench::milliseconds(percentile(updates, 0.99)));
    line += bench::field(u"followFrameP99Ms"_s, bench::milliseconds(percentile(frames, 0.99)));
    line += bench::field(u"peakRssMb"_s, QString::number(statusMegabytes("VmHWM:"), 'f', 1));
    line += bench::field(u"rssGrowthMb"_s, QString::number(rssAfter - rssBefore, 'f', 1));
    line += u'}';
    std::printf("%s\n", line.toUtf8().constData());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::takeSmokeFlag(argc, argv);
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 4 && arguments[1] == u"--case"_s) {
        const QString& language = arguments[2];
        const QString& shape = arguments[3];
        return runCase(language, shape);
    }
    if (arguments.size() > 1) {
        std::fprintf(stderr, "usage: source-pane-bench [--smoke]\n");
        return 2;
    }
    int status = 0;
    for (const QString& language : {u"ja"_s, u"en"_s}) {
        for (const QString& shape : {u"paragraphs"_s, u"single"_s, u"tables"_s, u"short"_s}) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            QStringList caseArguments{u"--case"_s, language, shape};
            if (bench::isSmokeRound()) caseArguments.append(u"--smoke"_s);
            child.start(QCoreApplication::applicationFilePath(), caseArguments);
            if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
                std::fprintf(stderr, "source-pane-bench: the case %s %s failed\n", qPrintable(language),
                             qPrintable(shape));
                status = 1;
            }
            std::fflush(stdout);
        }
    }
    return status;
}
