#include "ReaderEPUB/EPUBFailureMessage.h"
#include "ReaderEPUB/EPUBReader.h"

#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/TestEPUBBuilder.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using Limits = EPUBReader::Limits;
using Failure = EPUBReader::Failure;
using Limit = EPUBReader::ResourceLimit;

TEST(EPUBReaderLimits, MayBeTightenedButNeverLoosened) {
    EXPECT_TRUE(Limits::standard().isValid());
    EXPECT_EQ(Limits::standard().archiveBytes, 33'554'432);
    EXPECT_EQ(Limits::standard().pathBytes, 1'024);

    const std::vector<qint64 Limits::*> variable{
        &Limits::archiveBytes,  &Limits::entries, &Limits::entryBytes, &Limits::expandedBytes, &Limits::xmlBytes,
        &Limits::totalXMLBytes, &Limits::nodes,   &Limits::depth,      &Limits::textUTF16,     &Limits::navigation};
    for (auto field : variable) {
        const qint64 standard = Limits::standard().*field;
        for (qint64 value : {qint64(0), qint64(-1), standard + 1}) {
            Limits limits;
            limits.*field = value;
            EXPECT_FALSE(limits.isValid()) << value;
        }
        Limits tight;
        tight.*field = 1;
        EXPECT_TRUE(tight.isValid());
    }
    Limits anyPath;
    anyPath.pathBytes = -5;  // fixed and never examined
    EXPECT_TRUE(anyPath.isValid());
}

TEST(EPUBReaderFailure, LimitFailuresAreEqualOnlyForTheSameLimit) {
    EXPECT_EQ(Failure::limit(Limit::entries), Failure::limit(Limit::entries));
    EXPECT_NE(Failure::limit(Limit::entries), Failure::limit(Limit::nodes));
    EXPECT_NE(Failure::limit(Limit::entries), Failure::of(Failure::Kind::invalidArchive));
    EXPECT_EQ(Failure::of(Failure::Kind::emptyContent), Failure::of(Failure::Kind::emptyContent));
    EXPECT_EQ(failureName(Failure::limit(Limit::graphemeUTF16)), QStringLiteral("limit(graphemeUTF16)"));
    EXPECT_EQ(enumFromRawValue<Limit>(u"navigation"), Limit::navigation);
    EXPECT_EQ(enumFromRawValue<Limit>(u"Navigation"), std::nullopt);
}

TEST(EPUBReaderFailure, MessagesGroupTheCasesTheUserCannotTellApart) {
    const QString shared = failureMessage(Failure::limit(Limit::depth));
    EXPECT_EQ(failureMessage(Failure::limit(Limit::navigation)), shared);
    EXPECT_NE(failureMessage(Failure::limit(Limit::archiveBytes)), shared);
    EXPECT_NE(failureMessage(Failure::limit(Limit::textUTF16)), shared);
    const QString structure = failureMessage(Failure::of(Failure::Kind::invalidLimits));
    EXPECT_TRUE(structure.startsWith(QStringLiteral("EPUBの構造が壊れているか")));
    EXPECT_EQ(failureMessage(Failure::of(Failure::Kind::ambiguousContent)), structure);
    EXPECT_EQ(failureMessage(Failure::of(Failure::Kind::unsupportedVersion)),
              failureMessage(Failure::of(Failure::Kind::multipleRenditions)));
    EXPECT_TRUE(failureMessage(Failure::cancelled()).isEmpty());
}

TEST(EPUBReaderEntry, ImportsOnAWorkerWhatTheSynchronousImportReturns) {
    const QByteArray bytes = test::TestEPUBBuilder().build();
    const auto book = test::runTask(EPUBReader().read(bytes, CancellationToken()));
    ASSERT_TRUE(book.has_value() && book->has_value());
    EXPECT_EQ(**book, *EPUBReader().readSynchronously(bytes, CancellationToken::none()));
    EXPECT_EQ(book->value().document.sections->size(), 1);
}

TEST(EPUBReaderEntry, ACancelledCallerGetsNoBookButAFailureIsKept) {
    const QByteArray bytes = test::TestEPUBBuilder().build();
    CancellationToken before;
    before.cancel();
    EXPECT_EQ(test::runTask(EPUBReader().read(bytes, before)), tl::unexpected(Failure::cancelled()));

    // Cancelled after the import started: it stops at its next check, or its book is dropped.
    CancellationToken during;
    auto running = EPUBReader().read(bytes, during);
    during.cancel();
    EXPECT_EQ(test::runTask(std::move(running)), tl::unexpected(Failure::cancelled()));

    // A failure comes back as it is, also to a caller that cancelled since.
    Limits invalid;
    invalid.entries = 0;
    CancellationToken late;
    auto failing = EPUBReader(invalid).read(bytes, late);
    late.cancel();
    EXPECT_EQ(test::runTask(std::move(failing)), tl::unexpected(Failure::of(Failure::Kind::invalidLimits)));
}

}  // namespace
}  // namespace tavrine
