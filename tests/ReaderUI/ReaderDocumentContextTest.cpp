#include "ReaderUI/Workspace/ReaderDocumentContext.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Status = ReadingSession::Status;
using Section = ReadingDocument::Section;
using PlayerState = ReaderDocumentContext::PlayerState;

SavedReading textOfLength(qsizetype length) {
    SavedReading reading;
    reading.id = QUuid::createUuid();
    reading.title = u"題"_s;
    reading.document.text = u"a"_s.repeated(length);
    return reading;
}

// The progress and its label at offset of a text of length units.
std::pair<double, QString> progressAt(qsizetype offset, qsizetype length) {
    const SavedReading reading = textOfLength(length);
    const auto context = ReaderDocumentContext::make({.reading = &reading, .sourceOffset = offset});
    return {context.progress, context.progressLabel};
}

TEST(ReaderDocumentContext, WithoutAReadingItIsUntitledAtTheStart) {
    const auto context = ReaderDocumentContext::make({});
    EXPECT_EQ(context.title, u"無題の文書"_s);
    EXPECT_EQ(context.author, std::nullopt);
    EXPECT_EQ(context.chapter, std::nullopt);
    EXPECT_EQ(context.progressLabel, u"0%"_s);
    // A zero total divides by one, so an offset is still clamped into the fraction.
    EXPECT_EQ(ReaderDocumentContext::make({.sourceOffset = 3}).progress, 1.0);
}

TEST(ReaderDocumentContext, ProgressCountsToTheLastUnitAndRoundsHalvesAwayFromZero) {
    EXPECT_EQ(progressAt(5, 11), std::make_pair(0.5, u"50%"_s));
    EXPECT_EQ(progressAt(1, 201), std::make_pair(0.005, u"1%"_s));
    EXPECT_EQ(progressAt(0, 201), std::make_pair(0.0, u"0%"_s));
    // At the last unit everything is read, yet the label stops at 99 until the session completes.
    EXPECT_EQ(progressAt(999, 1000), std::make_pair(1.0, u"99%"_s));
    EXPECT_EQ(progressAt(995, 1000).second, u"99%"_s);
    EXPECT_EQ(progressAt(5000, 1000), std::make_pair(1.0, u"99%"_s));
    EXPECT_EQ(progressAt(-4, 1000), std::make_pair(0.0, u"0%"_s));
    // A one-unit text: the divisor is never below one.
    EXPECT_EQ(progressAt(1, 1), std::make_pair(1.0, u"99%"_s));
}

TEST(ReaderDocumentContext, OnlyACompletedSessionThatIsNotPreparingShowsAHundred) {
    const SavedReading reading = textOfLength(1000);
    PlayerState state{.reading = &reading, .sessionStatus = Status::completed, .sourceOffset = 10};
    const auto completed = ReaderDocumentContext::make(state);
    EXPECT_EQ(completed.progress, 1.0);
    EXPECT_EQ(completed.progressLabel, u"100%"_s);

    state.isPreparing = true;
    EXPECT_EQ(ReaderDocumentContext::make(state).progressLabel, u"1%"_s);
}

TEST(ReaderDocumentContext, TheSourceWindowsTotalLengthWinsOverTheText) {
    // A long text is held in windows; its position counts in the full text.
    const SavedReading reading = textOfLength(100);
    const auto context =
        ReaderDocumentContext::make({.reading = &reading, .sourceWindowTotalLength = 1001, .sourceOffset = 250});
    EXPECT_EQ(context.progress, 0.25);
    EXPECT_EQ(context.progressLabel, u"25%"_s);
}

TEST(ReaderDocumentContext, TheChapterIsTheTrimmedSectionTitleOrTheNumberOfTheFirstSectionWithItsId) {
    SavedReading reading = textOfLength(40);
    reading.document.sections = QList<Section>{{u"a"_s, u"  序章 \n"_s, 0, 10},
                                               {u"b"_s, u" \u3000"_s, 10, 20},
                                               {u"c"_s, std::nullopt, 20, 30},
                                               {u"b"_s, std::nullopt, 30, 40}};
    const QList<Section> sections = *reading.document.sections;
    ReaderDocumentContext::Cache cache;
    for (ReaderDocumentContext::Cache* given : {static_cast<ReaderDocumentContext::Cache*>(nullptr), &cache}) {
        SCOPED_TRACE(given ? "cached" : "afresh");
        const auto chapter = [&](const Section& current) {
            return ReaderDocumentContext::make({.reading = &reading, .currentSection = current}, given).chapter;
        };
        EXPECT_EQ(chapter(sections[0]), u"序章"_s);
        EXPECT_EQ(chapter(sections[1]), u"章 2"_s);
        EXPECT_EQ(chapter(sections[2]), u"章 3"_s);
        EXPECT_EQ(chapter(sections[3]), u"章 2"_s);  // a repeated id is numbered by its first section
        // A section the document does not list counts as the first.
        EXPECT_EQ(chapter({u"elsewhere"_s, std::nullopt, 0, 1}), u"章 1"_s);
    }
    reading.document.sections.reset();
    reading.id = QUuid::createUuid();
    EXPECT_EQ(ReaderDocumentContext::make({.reading = &reading, .currentSection = sections[2]}, &cache).chapter,
              u"章 1"_s);
}

TEST(ReaderDocumentContext, TheAuthorLineNamesTenCreatorsAndCountsTheRest) {
    SavedReading reading = textOfLength(10);
    reading.epub = EPUBBook::Information{};
    EXPECT_EQ(ReaderDocumentContext::make({.reading = &reading}).author, std::nullopt);
    for (int i = 1; i <= 11; ++i) reading.epub->metadata.creators.append(u"著者%1"_s.arg(i));
    const auto author = ReaderDocumentContext::make({.reading = &reading}).author;
    ASSERT_TRUE(author);
    EXPECT_TRUE(author->startsWith(u"著者1、著者2、"_s));
    EXPECT_TRUE(author->endsWith(u"著者10、ほか1名"_s)) << *author;
}

TEST(ReaderDocumentContextCache, KeepsWhatDependsOnTheReadingWhileItsIdentifierStays) {
    SavedReading reading = textOfLength(20);
    reading.document.sections = QList<Section>{{u"a"_s, {}, 0, 10}, {u"b"_s, {}, 10, 20}};
    const Section second = reading.document.sections->at(1);
    ReaderDocumentContext::Cache cache;
    const auto make = [&] {
        return ReaderDocumentContext::make({.reading = &reading, .currentSection = second}, &cache);
    };
    EXPECT_EQ(make().title, u"題"_s);
    EXPECT_EQ(make().chapter, u"章 2"_s);

    // Under the same identifier the reading is taken to be unchanged.
    reading.title = u"後で付けた題"_s;
    reading.document.sections->prepend({u"z"_s, {}, 0, 0});
    EXPECT_EQ(make().title, u"題"_s);
    EXPECT_EQ(make().chapter, u"章 2"_s);

    // Another reading is looked at afresh.
    reading.id = QUuid::createUuid();
    EXPECT_EQ(make().title, u"後で付けた題"_s);
    EXPECT_EQ(make().chapter, u"章 3"_s);
}

}  // namespace
}  // namespace tavrine
