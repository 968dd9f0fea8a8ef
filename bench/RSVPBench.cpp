// The phrase display at reading speed: a new phrase shown (laid out and painted into an image) and a
// repeated one, which must cost next to nothing; and the phrase width the chunker asks for per phrase.
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Display/ReaderRSVPDisplay.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QPainter>

#include <vector>

using namespace Qt::StringLiterals;

namespace {
using namespace tavrine;

// Consecutive 40-Character slices of a Japanese paragraph, each different from the one before.
std::vector<QString> japanesePhrases() {
    const QString paragraph =
        u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所でニャーニャー"
        u"泣いていた事だけは記憶している。吾輩はここで始めて人間というものを見た。しかもあとで聞くとそれは書生という"
        u"人間中で一番獰悪な種族であったそうだ。この書生というのは時々我々を捕えて煮て食うという話である。"_s;
    std::vector<QString> phrases;
    for (qsizetype start = 0; start + 40 <= paragraph.size(); start += 7) {
        phrases.push_back(paragraph.mid(start, 40));
    }
    return phrases;
}

// A display as wide as a reading column, shown, at the default reading size.
struct ShownDisplay {
    ShownDisplay() {
        display.resize(720, 200);
        display.show();
        QCoreApplication::processEvents();
    }
    ReaderRSVPDisplay display;
};

void BM_NewPhrase(benchmark::State& state) {
    ShownDisplay shown;
    const std::vector<QString> phrases = japanesePhrases();
    QImage image(shown.display.size(), QImage::Format_ARGB32_Premultiplied);
    std::size_t next = 0;
    for (auto _ : state) {
        shown.display.apply(phrases[next], 34);
        next = (next + 1) % phrases.size();
        image.fill(Qt::transparent);
        shown.display.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_NewPhrase)->Unit(benchmark::kMicrosecond);

void BM_UnchangedPhrase(benchmark::State& state) {
    ShownDisplay shown;
    const QString phrase = japanesePhrases().front();
    shown.display.apply(phrase, 34);
    // Equal but not shared, as a phrase cut again from its text arrives.
    const QString again(phrase.constData(), phrase.size());
    for (auto _ : state) {
        shown.display.apply(again, 34);
    }
}
BENCHMARK(BM_UnchangedPhrase)->Unit(benchmark::kNanosecond);

// One phrase width in the reference font, as the chunker measures on the prepared reading's thread.
void BM_PhraseWidth(benchmark::State& state) {
    const std::vector<QString> phrases = japanesePhrases();
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PhraseWidthMeasurer::width(QStringView(phrases[next]).left(12)));
        next = (next + 1) % phrases.size();
    }
}
BENCHMARK(BM_PhraseWidth)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
