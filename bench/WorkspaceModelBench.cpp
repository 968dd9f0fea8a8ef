// The workspace's models at the sizes of the largest accepted book: the table-of-contents model of 10,000
// entries over 4,000 sections, the display title of a 500,000-unit text with 10,000 heading spans (first
// computed, then kept by the title cache), the document context that is rebuilt for every phrase, and the
// workspace controller's update pass that runs for every phrase.
#include "ReaderCore/Characters.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderDocumentContext.h"
#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"
#include "ReaderUI/Workspace/ReaderEPUBContents.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QDeadlineTimer>

namespace {
using namespace tavrine;
using Span = ReadingDocument::Span;

constexpr qsizetype kLength = 500'000;
constexpr qsizetype kSections = 4'000;
constexpr qsizetype kChapters = 1'000;
constexpr qsizetype kSubentries = 9;  // 1,000 chapters of 9 subentries: 10,000 entries
constexpr qsizetype kHeadings = 10'000;

QString bookText() {
    const QString sample = QStringLiteral("吾輩は猫である。名前はまだ無い。The quick brown fox.\n");
    QString text;
    text.reserve(kLength);
    while (text.size() < kLength) text += sample;
    text.truncate(kLength);
    return text;
}

SavedReading makeBook() {
    SavedReading reading;
    reading.id = QUuid::createUuid();
    reading.document.text = bookText();
    QList<ReadingDocument::Section> sections;
    for (qsizetype i = 0; i < kSections; ++i) {
        // Untitled, so the chapter label has to look its section up.
        sections.append({QStringLiteral("OPS/package.opf#s%1").arg(i), std::nullopt, i * (kLength / kSections),
                         i + 1 == kSections ? kLength : (i + 1) * (kLength / kSections)});
    }
    reading.document.sections = sections;

    EPUBBook::Information information;
    information.packagePath = QStringLiteral("OPS/package.opf");
    for (qsizetype chapter = 0; chapter < kChapters; ++chapter) {
        const auto& section = sections[chapter * kSections / kChapters];
        EPUBBook::Navigation entry(QStringLiteral("ch-%1").arg(chapter), QStringLiteral("第%1章").arg(chapter + 1),
                                   QStringLiteral("text/ch%1.xhtml").arg(chapter),
                                   EPUBBook::Destination::position(section.id, section.start));
        for (qsizetype sub = 0; sub < kSubentries; ++sub) {
            // Every tenth entry leads nowhere, as external links and group headings do.
            const auto destination = sub % 10 == 9
                                         ? EPUBBook::Destination::unavailable(EPUBBook::Unavailable::externalReference)
                                         : EPUBBook::Destination::position(section.id, section.start + sub * 10);
            entry.children.append(EPUBBook::Navigation(
                QStringLiteral("ch-%1-%2").arg(chapter).arg(sub), QStringLiteral("節%1").arg(sub + 1),
                QStringLiteral("text/ch%1.xhtml#s%2").arg(chapter).arg(sub), destination));
        }
        information.navigation.append(std::move(entry));
    }
    for (int i = 1; i <= 11; ++i) information.metadata.creators.append(QStringLiteral("著者%1").arg(i));
    reading.epub = std::move(information);
    return reading;
}

// Heading spans stored in reverse text order, so the title rule has to order them. With blank headings
// none can name the reading and the first line does.
SavedReading makeHeadedText(bool blankHeadings) {
    SavedReading reading;
    reading.id = QUuid::createUuid();
    QString text = bookText();
    const qsizetype step = kLength / kHeadings;
    for (qsizetype i = kHeadings - 1; i >= 0; --i) {
        const qsizetype start = i * step;
        if (blankHeadings) {
            for (qsizetype j = start; j < start + 10; ++j) text[j] = u' ';
        }
        reading.document.spans.append({Span::Kind::heading, start, start + 10, 1});
    }
    reading.document.text = text;
    return reading;
}

void BM_ContentsOfALargeBook(benchmark::State& state) {
    const SavedReading book = makeBook();
    for (auto _ : state) benchmark::DoNotOptimize(ReaderEPUBContents(book));
    state.counters["entries"] = double(kChapters * (kSubentries + 1));
    state.counters["sections"] = double(kSections);
}
BENCHMARK(BM_ContentsOfALargeBook)->Unit(benchmark::kMillisecond);

void BM_TitleFromHeadings(benchmark::State& state) {
    const SavedReading reading = makeHeadedText(state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(ReaderDocumentIdentity::title(reading));
}
BENCHMARK(BM_TitleFromHeadings)->ArgName("blank")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_TitleCached(benchmark::State& state) {
    const SavedReading reading = makeHeadedText(true);
    ReaderDocumentContext::Cache cache;
    cache.title(reading);
    for (auto _ : state) benchmark::DoNotOptimize(cache.title(reading));
}
BENCHMARK(BM_TitleCached)->Unit(benchmark::kNanosecond);

// The context of a phrase in the last, untitled section of the large book with eleven creators, as the
// workspace rebuilds it for every phrase (with its cache; afresh for comparison).
void BM_ContextOfAPhrase(benchmark::State& state) {
    const SavedReading book = makeBook();
    ReaderDocumentContext::Cache cache;
    const ReaderDocumentContext::PlayerState player{&book,   ReadingSession::Status::playing, false,
                                                    kLength, book.document.sections->last(),  kLength - 100};
    const bool cached = state.range(0) != 0;
    for (auto _ : state) benchmark::DoNotOptimize(ReaderDocumentContext::make(player, cached ? &cache : nullptr));
}
BENCHMARK(BM_ContextOfAPhrase)->ArgName("cached")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// One update pass of a shown workspace over a player paused in the last section of the large book, as
// it runs after every phrase: the change handlers find nothing to do, the context is made, changed() is
// emitted. An input change schedules it; the event loop runs it.
void BM_WorkspacePassOfAPhrase(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "workspace-model-bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);

    MemoryDefaults defaults;
    ReaderWorkspaceController workspace(ReaderWorkspaceController::OwnPlayer{
        .defaults = defaults,
        .width = [](QStringView phrase) { return double(characterCount(phrase)); },
        .maximumWidth = 8,
    });
    ReadingPlayer& player = workspace.player();
    player.load(makeBook(), kLength - 100);
    const QDeadlineTimer deadline(std::chrono::seconds(30));
    while (player.isPreparing() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (player.isPreparing()) {
        state.SkipWithError("the first window was not prepared in time");
        return;
    }
    workspace.appeared();
    QCoreApplication::processEvents();
    qint64 passes = 0;
    QObject::connect(&workspace, &ReaderWorkspaceController::changed, [&passes] { ++passes; });

    bool shows = false;
    for (auto _ : state) {
        workspace.setShowsSource(shows = !shows);
        QCoreApplication::processEvents();
    }
    if (passes != state.iterations()) state.SkipWithError("not one pass per change");
}
BENCHMARK(BM_WorkspacePassOfAPhrase)->Unit(benchmark::kMicrosecond);

}  // namespace
