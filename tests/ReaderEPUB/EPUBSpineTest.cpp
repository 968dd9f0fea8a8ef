#include "ReaderEPUB/EPUBSpine.h"

#include "EPUBOperationTestSupport.h"
#include "EPUBRealBookSupport.h"
#include "support/SharedData.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = EPUBReader::Failure::Kind;
using NoticeKind = EPUBBook::Notice::Kind;

const QString kManifest =
    u"<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>"
    u"<item id=\"ch1\" href=\"text/ch1.xhtml\" media-type=\"application/xhtml+xml\"/>"
    u"<item id=\"ch2\" href=\"text/ch2.xhtml\" media-type=\"application/xhtml+xml\"/>"
    u"<item id=\"cover\" href=\"cover.svg\" media-type=\"image/svg+xml\"/>"
    u"<item id=\"script\" href=\"text/script.xhtml\" media-type=\"application/xhtml+xml\" properties=\"svg scripted\"/>"
    u"<item id=\"switch\" href=\"text/switch.xhtml\" media-type=\"application/xhtml+xml\" properties=\"switch\"/>"
    u"<item id=\"drawing\" href=\"text/drawing.xhtml\" media-type=\"application/xhtml+xml\" properties=\"svg\"/>"_s;

// The default book with these itemrefs in its spine, and every document of the manifest present.
TestEPUBBuilder bookWithSpine(const QString& itemrefs, const QString& manifest = kManifest) {
    TestEPUBBuilder book = bookWithPackage(u"3.0"_s, manifest, itemrefs);
    const QByteArray page = TestEPUBBuilder::xhtml(u"頁"_s, u"<p>本文</p>"_s);
    for (const QString& name : QStringList{u"ch2"_s, u"script"_s, u"switch"_s, u"drawing"_s}) {
        book.setFile(u"OEBPS/text/"_s + name + u".xhtml"_s, page);
    }
    book.setFile(u"OEBPS/cover.svg"_s, QByteArrayLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\"/>"));
    return book;
}

TEST(EPUBOperationPackage, AnEPUB3BookIsReadWithItsNavigationDocument) {
    const PackageRead read = readPackage(TestEPUBBuilder());
    ASSERT_TRUE(read.package.has_value()) << failureName(read.package.error()).toStdString();
    EXPECT_EQ(read.package->path, u"OEBPS/content.opf"_s);
    EXPECT_EQ(read.package->version, EPUBPackageVersion::epub3);
    EXPECT_EQ(read.package->navigation.kind, EPUBNavigationKind::navigationDocument);
    EXPECT_EQ(read.package->navigation.item.path, u"OEBPS/nav.xhtml"_s);
    EXPECT_EQ(read.package->metadata.titles, QStringList({u"試験の本"_s}));
    EXPECT_EQ(read.package->metadata.uniqueIdentifier, u"urn:uuid:00000000-0000-4000-8000-000000000000"_s);
    EXPECT_TRUE(read.operation->notices().isEmpty());
}

TEST(EPUBOperationPackage, AnEPUB2BookIsReadWithTheNCXItsSpineNames) {
    TestEPUBBuilder book =
        bookWithPackage(u"2.0"_s,
                        u"<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
                        u"<item id=\"ch1\" href=\"text/ch1.xhtml\" media-type=\"application/xhtml+xml\"/>"_s,
                        u"<itemref idref=\"ch1\"/>"_s, u"toc=\"ncx\""_s, u"<dc:title>二</dc:title>"_s);
    book.removeFile(u"OEBPS/nav.xhtml"_s);
    const PackageRead read = readPackage(book);
    ASSERT_TRUE(read.package.has_value()) << failureName(read.package.error()).toStdString();
    EXPECT_EQ(read.package->version, EPUBPackageVersion::epub2);
    EXPECT_EQ(read.package->navigation.kind, EPUBNavigationKind::ncx);
    EXPECT_EQ(read.package->navigation.item.path, u"OEBPS/toc.ncx"_s);
    EXPECT_EQ(read.operation->notices().size(), 3);  // creator, language, identifier
}

TEST(EPUBOperationPackage, TheContainerAndThePackageMustBeInTheArchive) {
    TestEPUBBuilder noContainer;
    noContainer.removeFile(u"META-INF/container.xml"_s);
    EXPECT_EQ(readPackage(noContainer).failure(), failureOfKind(Kind::missingResource));

    TestEPUBBuilder elsewhere;
    elsewhere.setFile(u"META-INF/container.xml"_s, TestEPUBBuilder::container(u"OEBPS/package.opf"_s));
    EXPECT_EQ(readPackage(elsewhere).failure(), failureOfKind(Kind::missingResource));

    TestEPUBBuilder twoRenditions;
    twoRenditions.setFile(
        u"META-INF/container.xml"_s,
        TestEPUBBuilder::container(u"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
                                   u"<rootfile full-path=\"OEBPS/other.opf"_s));
    EXPECT_EQ(readPackage(twoRenditions).failure(), failureOfKind(Kind::multipleRenditions));
}

TEST(EPUBOperationPackage, EachFileIsParsedOncePerRun) {
    EPUBReader::Operation operation(extractedFiles(TestEPUBBuilder()), EPUBReader::Limits::standard(),
                                    CancellationToken::none());
    const auto first = operation.parse(u"OEBPS/text/ch1.xhtml"_s);
    ASSERT_TRUE(first.has_value());
    const EPUBXMLBudget charged = operation.xmlBudget();
    EXPECT_EQ(operation.parse(u"OEBPS/text/ch1.xhtml"_s), first);
    EXPECT_EQ(operation.xmlBudget(), charged);
    EXPECT_EQ(operation.parse(u"OEBPS/text/none.xhtml"_s).error(), failureOfKind(Kind::missingResource));
}

TEST(EPUBOperationRun, StopsAtTheFirstFailureOrWhenCancelled) {
    TestEPUBBuilder unsupported;
    unsupported.setFile(QString::fromLatin1(TestEPUBBuilder::kPackagePath),
                        TestEPUBBuilder::packageDocument(u"3.0.1"_s, {}, {}, {}));
    EXPECT_EQ(EPUBReader::Operation(extractedFiles(unsupported), {}, CancellationToken::none()).run().error(),
              failureOfKind(Kind::unsupportedVersion));

    CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_EQ(EPUBReader::Operation(extractedFiles(TestEPUBBuilder()), {}, cancelled).run().error(),
              EPUBReader::Failure::cancelled());
}

TEST(EPUBSpine, RefusesItemrefsThatDoNotNameOneItemOnce) {
    for (const QString& itemrefs : QStringList{
             u"<itemref idref=\"ch1\"/><itemref idref=\"missing\"/>"_s,
             u"<itemref/>"_s,
             u"<itemref idref=\"ch1\"/><itemref idref=\"ch1\"/>"_s,
             u"<itemref idref=\"ch1\" linear=\"false\"/>"_s,
             u"<itemref idref=\"ch1\" linear=\"No\"/>"_s,
         }) {
        EXPECT_EQ(walkSpine(bookWithSpine(itemrefs)).failure, failureOfKind(Kind::invalidPackage)) << itemrefs;
    }
    EXPECT_EQ(walkSpine(bookWithSpine({})).failure, failureOfKind(Kind::emptyContent));
}

TEST(EPUBSpine, ShowsLinearDocumentsInOrderAndLeavesOutNonlinearOnesWithANotice) {
    const SpineWalk walk = walkSpine(bookWithSpine(
        u"<itemref idref=\"cover\" linear=\"no\"/><itemref idref=\"ch2\" linear=\"yes\"/>"
        u"<itemref idref=\"script\" linear=\"no\"/><itemref idref=\"ch1\"/><itemref idref=\"drawing\"/>"_s));
    EXPECT_EQ(walk.failure, std::nullopt);
    EXPECT_EQ(walk.shown, QStringList({u"ch2"_s, u"ch1"_s, u"drawing"_s}));  // an SVG property alone is no bar
    const QList<EPUBBook::Notice> notices{{NoticeKind::omittedNonlinear, u"OEBPS/cover.svg"_s},
                                          {NoticeKind::omittedNonlinear, u"OEBPS/text/script.xhtml"_s}};
    EXPECT_EQ(walk.notices, notices);
}

TEST(EPUBSpine, AFixedLayoutItemRefusesTheBookEvenWhenNotLinear) {
    for (const QString& itemref :
         QStringList{u"<itemref idref=\"ch2\" properties=\"rendition:layout-pre-paginated\"/>"_s,
                     u"<itemref idref=\"ch2\" linear=\"no\" properties=\"x layout-pre-paginatedy\"/>"_s}) {
        const SpineWalk walk = walkSpine(bookWithSpine(u"<itemref idref=\"ch1\"/>"_s + itemref));
        EXPECT_EQ(walk.failure, failureOfKind(Kind::fixedLayout)) << itemref;
    }
}

TEST(EPUBSpine, ContentThatCannotBeReadAsTextRefusesTheBook) {
    for (const QString& idref : QStringList{u"cover"_s, u"script"_s, u"switch"_s}) {
        const SpineWalk walk =
            walkSpine(bookWithSpine(u"<itemref idref=\"ch1\"/><itemref idref=\""_s + idref + u"\"/>"_s));
        EXPECT_EQ(walk.failure, failureOfKind(Kind::unsupportedContent)) << idref;
        EXPECT_EQ(walk.shown, QStringList({u"ch1"_s}));
    }
}

TEST(EPUBSpine, TheGuideTableOfContentsIsLeftOutBeforeItsMediaTypeIsJudged) {
    TestEPUBBuilder book = bookWithSpine(u"<itemref idref=\"cover\"/>"_s);
    book.setFile(
        QString::fromLatin1(TestEPUBBuilder::kPackagePath),
        QString::fromUtf8(TestEPUBBuilder::packageDocument(u"3.0"_s, TestEPUBBuilder::standardMetadata(), kManifest,
                                                           u"<itemref idref=\"cover\"/>"_s))
            .replace(u"</package>"_s, u"<guide><reference type=\"toc\" href=\"cover.svg#t\"/></guide></package>"_s)
            .toUtf8());
    const SpineWalk walk = walkSpine(book);
    EXPECT_EQ(walk.notices, QList<EPUBBook::Notice>({{NoticeKind::omittedNavigation, u"OEBPS/cover.svg"_s}}));
    EXPECT_TRUE(walk.shown.isEmpty());
    EXPECT_EQ(walk.failure, std::nullopt);  // an empty book is the assembly's to refuse
}

TEST(EPUBSpine, AMissingDocumentFailsWhereTheWalkReachesIt) {
    TestEPUBBuilder book =
        bookWithSpine(u"<itemref idref=\"ch1\"/><itemref idref=\"ch2\"/><itemref idref=\"cover\"/>"_s);
    book.removeFile(u"OEBPS/text/ch2.xhtml"_s);
    const SpineWalk walk = walkSpine(book);
    EXPECT_EQ(walk.failure, failureOfKind(Kind::missingResource));
    EXPECT_EQ(walk.shown, QStringList({u"ch1"_s}));
}

TEST(EPUBOperationRealBook, APublishedEPUB3BookPassesEveryGate) {
    const QString path = sharedDataFile(u"epub/kusamakura.epub"_s);
    TAVRINE_SKIP_WITHOUT(path, "epub/kusamakura.epub");
    // Its names are UTF-8 without the flag that says so; the intake takes them once the flag is set.
    const auto files =
        readArchive(repackedWithUTF8Names(path), EPUBReader::Limits::standard(), CancellationToken::none());
    ASSERT_TRUE(files.has_value()) << failureName(files.error()).toStdString();

    const PackageRead read = readPackage(*files);
    ASSERT_TRUE(read.package.has_value()) << failureName(read.package.error()).toStdString();
    EXPECT_EQ(read.package->path, u"OPS/package.opf"_s);
    EXPECT_EQ(read.package->navigation.item.path, u"OPS/xhtml/目次.xhtml"_s);
    EXPECT_EQ(read.package->metadata.titles, QStringList({u"草枕"_s}));
    EXPECT_EQ(read.package->metadata.creators, QStringList({u"夏目 漱石"_s}));
    EXPECT_EQ(read.package->metadata.uniqueIdentifier, u"http://www.aozora.gr.jp/cards/000148/card776.html"_s);

    // The table of contents is not linear; the chapters between the cover and the colophon are.
    const SpineWalk walk = walkSpine(*files);
    EXPECT_EQ(walk.failure, std::nullopt);
    ASSERT_EQ(walk.shown.size(), 15);
    EXPECT_EQ(walk.shown.first(), u"表紙"_s);
    EXPECT_EQ(walk.shown[1], u"一"_s);
    EXPECT_EQ(walk.shown.last(), u"後付"_s);
    EXPECT_EQ(walk.notices, QList<EPUBBook::Notice>({{NoticeKind::omittedNonlinear, u"OPS/xhtml/目次.xhtml"_s}}));
}

}  // namespace
}  // namespace tavrine
