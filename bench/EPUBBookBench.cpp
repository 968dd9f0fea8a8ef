// Book information at the limits of an accepted EPUB book: a 500,000-unit text in 1,000 sections, a
// table of contents of 10,000 entries (1,000 chapters of 9 subentries each) and 50,000 links, every
// destination inside its section. Measures the information check against its document (with the
// document check alone beside it, for the share of the tree and the links), the chapter navigation
// build and the JSON round trip of the information.
#include "ReaderCore/EPUBBook.h"
#include "ReaderUI/ReadingChapterNavigation.h"

#include <benchmark/benchmark.h>

namespace {
using namespace tavrine;

constexpr qsizetype kLength = 500'000;
constexpr qsizetype kSections = 1'000;
constexpr qsizetype kChapters = 1'000;
constexpr qsizetype kSubentries = 9;
constexpr qsizetype kLinks = 50'000;

// Moves offset forward to a place where the text may be cut: not inside a surrogate pair or before a
// combining mark.
qsizetype safeOffset(const QString& text, qsizetype offset) {
    while (offset < text.size() && offset > 0 &&
           (text.at(offset).isLowSurrogate() || text.at(offset).unicode() == 0x0301)) {
        ++offset;
    }
    return offset;
}

struct Fixture {
    ReadingDocument document;
    EPUBBook::Information information;
};

Fixture makeFixture() {
    const QString sample = QStringLiteral("吾輩は猫である。名前はまだ無い。e\u0301\U0001F600 The quick brown fox.\n");
    QString text;
    text.reserve(kLength);
    while (text.size() < kLength) text += sample;
    text.truncate(kLength);
    if (text.back().isHighSurrogate()) text.back() = u'x';

    Fixture fixture;
    QList<ReadingDocument::Section> sections;
    qsizetype start = 0;
    for (qsizetype i = 0; i < kSections; ++i) {
        const qsizetype end = i + 1 == kSections ? kLength : safeOffset(text, (i + 1) * (kLength / kSections));
        sections.append({QStringLiteral("section-%1").arg(i), std::nullopt, start, end});
        start = end;
    }
    fixture.document = ReadingDocument{sections, text, {}};

    auto& info = fixture.information;
    info.packagePath = QStringLiteral("OEBPS/content.opf");
    for (qsizetype chapter = 0; chapter < kChapters; ++chapter) {
        const auto& section = sections[chapter * kSections / kChapters];
        EPUBBook::Navigation entry(QStringLiteral("ch-%1").arg(chapter), QStringLiteral("第%1章").arg(chapter + 1),
                                   QStringLiteral("text/ch%1.xhtml").arg(chapter),
                                   EPUBBook::Destination::position(section.id, section.start));
        for (qsizetype sub = 0; sub < kSubentries; ++sub) {
            const qsizetype offset = safeOffset(text, section.start + (sub + 1) * 40);
            entry.children.append(EPUBBook::Navigation(QStringLiteral("ch-%1-%2").arg(chapter).arg(sub),
                                                       QStringLiteral("節%1").arg(sub + 1),
                                                       QStringLiteral("text/ch%1.xhtml#s%2").arg(chapter).arg(sub),
                                                       EPUBBook::Destination::position(section.id, offset)));
        }
        info.navigation.append(std::move(entry));
    }
    for (qsizetype i = 0; i < kLinks; ++i) {
        const qsizetype linkStart = (i * 10) % (kLength - 20);
        const auto& target = sections[(i * 7) % kSections];
        info.links.append({linkStart, linkStart + 5, QStringLiteral("note.xhtml#n%1").arg(i),
                           i % 10 == 0 ? EPUBBook::Destination::unavailable(EPUBBook::Unavailable::externalReference)
                                       : EPUBBook::Destination::position(target.id, target.start)});
    }
    return fixture;
}

const Fixture& fixture() {
    static const Fixture shared = makeFixture();
    return shared;
}

void BM_DocumentCheckAlone(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(f.document.isValid());
}
BENCHMARK(BM_DocumentCheckAlone)->Unit(benchmark::kMillisecond);

void BM_InformationCheck(benchmark::State& state) {
    const Fixture& f = fixture();
    if (!f.information.isValid(f.document)) {
        state.SkipWithError("the benchmark book information is not valid");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(f.information.isValid(f.document));
}
BENCHMARK(BM_InformationCheck)->Unit(benchmark::kMillisecond);

void BM_ChapterNavigationBuild(benchmark::State& state) {
    const Fixture& f = fixture();
    const auto chapters = ReadingChapterNavigation(f.document, f.information.navigation).offsets.size();
    if (chapters != kChapters * (kSubentries + 1)) {
        state.SkipWithError("the benchmark table of contents does not lead into the text");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(ReadingChapterNavigation(f.document, f.information.navigation));
}
BENCHMARK(BM_ChapterNavigationBuild)->Unit(benchmark::kMillisecond);

void BM_InformationJsonRoundTrip(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        const QByteArray text = encodeJson(f.information);
        benchmark::DoNotOptimize(decodeJsonText<EPUBBook::Information>(text));
    }
}
BENCHMARK(BM_InformationJsonRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace
