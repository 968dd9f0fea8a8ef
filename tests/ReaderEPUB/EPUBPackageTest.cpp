// The container, encryption and package documents, the manifest and the spine walk of an import run.
#include "ReaderEPUB/internal/EPUBContainer.h"
#include "ReaderEPUB/internal/EPUBManifest.h"
#include "ReaderEPUB/internal/EPUBPackageDocument.h"
#include "ReaderEPUB/internal/EPUBPackageMetadata.h"

#include "EPUBTestSupport.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = Failure::Kind;
using NoticeKind = EPUBBook::Notice::Kind;
using Notices = QList<EPUBBook::Notice>;

QString container(const QString& rootfiles, const QString& ns = u"urn:oasis:names:tc:opendocument:xmlns:container"_s) {
    return u"<container xmlns=\"%1\" version=\"1.0\">%2</container>"_s.arg(ns, rootfiles);
}

QString rootfile(const QString& fullPath, const QString& mediaType = u"application/oebps-package+xml"_s) {
    return u"<rootfile full-path=\"%1\" media-type=\"%2\"/>"_s.arg(fullPath, mediaType);
}

std::optional<Failure> containerFailure(const QString& rootfiles) {
    return failureOf(packagePathFromContainer(*xmlTree(container(u"<rootfiles>"_s + rootfiles + u"</rootfiles>"_s))));
}

TEST(EPUBContainer, NamesOnePackageByItsPathFromTheArchiveRoot) {
    EXPECT_EQ(packagePathFromContainer(
                  *xmlTree(container(u"<rootfiles>"_s + rootfile(u"./pkg/a%20b.opf"_s) + u"</rootfiles>"_s))),
              u"pkg/a b.opf"_s);
    EXPECT_EQ(containerFailure({}), failure(Kind::multipleRenditions));
    EXPECT_EQ(containerFailure(rootfile(u"a.opf"_s) + rootfile(u"b.opf"_s)), failure(Kind::multipleRenditions));
    for (const QString& rootfiles : QStringList{
             rootfile(u"content.opf"_s, u"application/OEBPS-package+xml"_s),
             u"<rootfile media-type=\"application/oebps-package+xml\"/>"_s, rootfile({}),
             rootfile(u"content.opf#start"_s), rootfile(u"http://example.com/content.opf"_s),
             rootfile(u"../content.opf"_s),
             rootfile(u"a.opf"_s) + u"</rootfiles><rootfiles>"_s,  // two lists of renditions
         }) {
        EXPECT_EQ(containerFailure(rootfiles), failure(Kind::invalidPackage)) << rootfiles;
    }
    for (const QString& text : QStringList{container(rootfile(u"a.opf"_s)), container({}, u"urn:example:other"_s)}) {
        EXPECT_EQ(failureOf(packagePathFromContainer(*xmlTree(text))), failure(Kind::invalidPackage)) << text;
    }
}

const QString kIDPF = u"http://www.idpf.org/2008/embedding"_s;

QString encryption(const QString& content) {
    return u"<encryption xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"_s + content + u"</encryption>"_s;
}

QString encrypted(const QString& algorithm, const QString& uri) {
    return u"<EncryptedData xmlns=\"http://www.w3.org/2001/04/xmlenc#\"><EncryptionMethod Algorithm=\"%1\"/>"
           u"<CipherData><CipherReference URI=\"%2\"/></CipherData></EncryptedData>"_s.arg(algorithm, uri);
}

TEST(EPUBEncryption, ListsFontsObfuscatedByEitherAlgorithmAndRefusesEverythingElse) {
    EXPECT_EQ(obfuscatedResources(*xmlTree(encryption(encrypted(kIDPF, u"OEBPS/fonts/b.otf"_s) +
                                                      encrypted(u"http://ns.adobe.com/pdf/enc#RC"_s, u"a%20b.ttf"_s)))),
              QStringList({u"OEBPS/fonts/b.otf"_s, u"a b.ttf"_s}));
    const QString data = u"<EncryptedData xmlns=\"http://www.w3.org/2001/04/xmlenc#\">"_s;
    for (const QString& text : QStringList{
             encryption(encrypted(u"http://www.w3.org/2001/04/xmlenc#aes128-cbc"_s, u"a.otf"_s)),
             encryption(encrypted(kIDPF.toUpper(), u"a.otf"_s)),
             encryption(encrypted(kIDPF, u"a.otf"_s) + u"<other/>"_s),
             encryption(data + u"<CipherData><CipherReference URI=\"a.otf\"/></CipherData></EncryptedData>"_s),
             encryption(encrypted(kIDPF, u"a.otf"_s).replace(u" URI=\"a.otf\""_s, QString())),
             u"<encryption xmlns=\"urn:example:other\"/>"_s,
         }) {
        EXPECT_EQ(failureOf(obfuscatedResources(*xmlTree(text))), failure(Kind::encrypted)) << text;
    }
    // A reference that names no archive path is an invalid package, not encryption.
    for (const QString& uri : {u"../a.otf"_s, u"http://example.com/a.otf"_s, u"a.otf#x"_s}) {
        EXPECT_EQ(failureOf(obfuscatedResources(*xmlTree(encryption(encrypted(kIDPF, uri))))),
                  failure(Kind::invalidPackage))
            << uri;
    }
}

TEST(EPUBEncryption, RightsManagementOrAnObfuscatedFileOutsideTheManifestsFontsRefusesTheBook) {
    EXPECT_EQ(failureOf(importBook(TestEPUBBuilder().setFile(u"META-INF/rights.xml"_s, {}))), failure(Kind::encrypted));
    // The default book's manifest lists the chapter but no font.
    for (const QString& uri : {u"OEBPS/text/ch1.xhtml"_s, u"OEBPS/fonts/a.otf"_s}) {
        const auto book =
            TestEPUBBuilder().setFile(u"META-INF/encryption.xml"_s, encryption(encrypted(kIDPF, uri)).toUtf8());
        EXPECT_EQ(failureOf(importBook(book)), failure(Kind::encrypted)) << uri;
    }
    const auto book = TestEPUBBuilder().setFile(u"META-INF/encryption.xml"_s, encryption({}).toUtf8());
    EXPECT_EQ(failureOf(importBook(book)), std::nullopt);
}

QString package(const QString& attributes, const QString& content = u"<metadata/><manifest/><spine/>"_s,
                const QString& ns = u"http://www.idpf.org/2007/opf"_s) {
    return u"<package xmlns=\"%1\" %2>%3</package>"_s.arg(ns, attributes, content);
}

TEST(EPUBPackageDocument, ReadsExactlyTheTwoKnownVersionsWithEachSectionOnce) {
    const auto tree = xmlTree(package(u"version=\"2.0\" unique-identifier=\"uid\""_s));
    const auto epub2 = EPUBPackageDocument::read(*tree);
    ASSERT_TRUE(epub2.has_value());
    EXPECT_EQ(epub2->version, EPUBPackageVersion::epub2);
    EXPECT_EQ(epub2->uniqueIdentifier, u"uid"_s);
    EXPECT_EQ(EPUBPackageDocument::read(*xmlTree(package(u"version=\"3.0\""_s)))->version, EPUBPackageVersion::epub3);
    for (const QString& version : {u"version=\"3.0.1\""_s, u"version=\"3\""_s, u"version=\" 3.0\""_s, QString()}) {
        EXPECT_EQ(failureOf(EPUBPackageDocument::read(*xmlTree(package(version)))), failure(Kind::unsupportedVersion))
            << version;
    }
    const QString v3 = u"version=\"3.0\""_s;
    for (const QString& text : QStringList{
             package(v3, u"<metadata/><manifest/><spine/>"_s, u"http://www.idpf.org/2007/opf-other"_s),
             package(v3, u"<metadata/><metadata/><manifest/><spine/>"_s),
             package(v3, u"<metadata/><manifest/>"_s),
             package(v3, u"<metadata/><manifest xmlns=\"urn:example:other\"/><spine/>"_s),
         }) {
        EXPECT_EQ(failureOf(EPUBPackageDocument::read(*xmlTree(text))), failure(Kind::invalidPackage)) << text;
    }
}

TEST(EPUBPackageDocument, RefusesAFixedLayoutDeclaredEitherWay) {
    const auto gate = [](const QString& meta) {
        return failureOf(checkFixedLayoutMetadata(
            *xmlTree(u"<metadata xmlns=\"http://www.idpf.org/2007/opf\">"_s + meta + u"</metadata>"_s)));
    };
    for (const auto& [meta, fixed] : QList<std::pair<QString, bool>>{
             {u"<meta property=\"rendition:layout\"> pre-paginated\n</meta>"_s, true},
             {u"<meta property=\"any:layout\">pre-paginated</meta>"_s, true},
             {u"<meta name=\"fixed-layout\" content=\"true\"/>"_s, true},
             {u"<meta name=\"ibooks:fixed-layout\" content=\"true\"/>"_s, true},
             {u"<meta property=\"rendition:layout\">Pre-paginated</meta>"_s, false},
             {u"<meta property=\"layout\">pre-paginated</meta>"_s, false},
             {u"<meta name=\"fixed-layout\" content=\" true\"/>"_s, false},
         }) {
        EXPECT_EQ(gate(meta), fixed ? std::optional(failure(Kind::fixedLayout)) : std::nullopt) << meta;
    }
    const QString manifest =
        manifestItem(u"nav"_s, u"nav.xhtml"_s, {}, u"nav"_s) + manifestItem(u"ch1"_s, u"text/ch1.xhtml"_s);
    EXPECT_EQ(failureOf(importBook(bookWithPackage(u"3.0"_s, manifest, u"<itemref idref=\"ch1\"/>"_s, {},
                                                   u"<meta property=\"rendition:layout\">pre-paginated</meta>"_s))),
              failure(Kind::fixedLayout));
}

TEST(EPUBPackageMetadata, KeepsTheTrimmedTextsNamesWhatIsMissingAndFindsTheUniqueIdentifier) {
    const auto metadataOf = [](const QString& content, const std::optional<QString>& uniqueIdentifier,
                               Notices& notices) {
        return readPackageMetadata(*xmlTree(u"<metadata xmlns=\"http://www.idpf.org/2007/opf\" "
                                            u"xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"_s +
                                            content + u"</metadata>"_s),
                                   uniqueIdentifier, notices);
    };
    Notices notices;
    const EPUBBook::Metadata read = metadataOf(
        u"<dc:creator> 作者 </dc:creator><dc:title>\n \t</dc:title><dc:creator>作者</dc:creator>"
        u"<dc:date>2024</dc:date><title>not Dublin Core</title><dc:publisher>版元<b>社</b></dc:publisher>"_s,
        u"uid"_s, notices);
    EXPECT_EQ(read.creators, QStringList({u"作者"_s, u"作者"_s}));
    EXPECT_TRUE(read.titles.isEmpty());
    EXPECT_EQ(read.publishers, QStringList({u"版元社"_s}));
    EXPECT_EQ(read.dates, QStringList({u"2024"_s}));
    EXPECT_EQ(notices, (Notices{{NoticeKind::missingTitle, std::nullopt},
                                {NoticeKind::missingLanguage, std::nullopt},
                                {NoticeKind::missingIdentifier, std::nullopt}}));

    // The first identifier whose id (or, without one, xml:id) is the package's, if its text is not blank.
    const QString identifiers =
        u"<dc:identifier id=\"isbn\">978-4</dc:identifier>"
        u"<dc:identifier id=\"other\" xml:id=\"uid\">by xml:id behind another id</dc:identifier>"
        u"<dc:identifier xml:id=\"uid\"> urn:x </dc:identifier>"
        u"<dc:identifier id=\"uid\">later</dc:identifier>"
        u"<dc:identifier id=\"blank\"> </dc:identifier>"
        u"<dc:identifier id=\"blank\">after the blank one</dc:identifier>"_s;
    for (const auto& [id, expected] : {std::pair<std::optional<QString>, std::optional<QString>>{u"uid"_s, u"urn:x"_s},
                                       {u"isbn"_s, u"978-4"_s},
                                       {u"blank"_s, std::nullopt},
                                       {u"none"_s, std::nullopt},
                                       {std::nullopt, std::nullopt}}) {
        EXPECT_EQ(metadataOf(identifiers, id, notices).uniqueIdentifier, expected) << id.value_or(u"(none)"_s);
    }
}

TEST(EPUBPackageDocument, TheGuideNamesItsTableOfContentsByPath) {
    const auto tree = xmlTree(package(
        u"version=\"2.0\""_s,
        u"<guide><reference type=\"toc\" href=\"toc.xhtml#start\"/><reference type=\"text\" href=\"ch1.xhtml\"/>"
        u"<reference type=\"TOC\" href=\"upper.xhtml\"/><reference type=\"toc\" href=\"http://example.com/\"/>"
        u"<reference type=\"toc\" href=\"../../outside.xhtml\"/><reference type=\"toc\"/></guide>"
        u"<guide><reference type=\"toc\" href=\"text/contents.xhtml\"/></guide>"_s));
    EXPECT_EQ(guideTableOfContents(*tree, u"OEBPS/content.opf"),
              QSet<QString>({u"OEBPS/toc.xhtml"_s, u"OEBPS/text/contents.xhtml"_s}));
}

EPUBReader::Result<EPUBManifest> manifestOf(const QString& items) {
    const auto tree = xmlTree(u"<manifest xmlns=\"http://www.idpf.org/2007/opf\">"_s + items + u"</manifest>"_s);
    return EPUBManifest::read(*tree, u"OEBPS/content.opf", CancellationToken::none());
}

TEST(EPUBManifest, ResolvesEachItemAgainstThePackageAndRefusesItemsWithoutIdentityOrFile) {
    const auto manifest = manifestOf(manifestItem(u"ch1"_s, u"text/ch1.xhtml"_s) +
                                     manifestItem(u"nav"_s, u"../nav.xhtml"_s, {}, u"nav\t\nscripted\u3000svg"_s));
    ASSERT_TRUE(manifest.has_value());
    EXPECT_EQ(manifest->item(u"ch1"_s)->path, u"OEBPS/text/ch1.xhtml"_s);
    EXPECT_EQ(manifest->itemAtPath(u"nav.xhtml"_s)->properties, QSet<QString>({u"nav"_s, u"scripted"_s, u"svg"_s}));
    EXPECT_EQ(manifest->item(u"none"_s), nullptr);

    const QString a = manifestItem(u"a"_s, u"a.xhtml"_s);
    for (const QString& items : QStringList{
             manifestItem({}, u"a.xhtml"_s),
             a + manifestItem(u"a"_s, u"b.xhtml"_s),
             u"<item id=\"a\" href=\"a.xhtml\"/>"_s,
             u"<item id=\"a\" media-type=\"text/css\"/>"_s,
             manifestItem(u"a"_s, u"a.xhtml#part"_s),
             manifestItem(u"a"_s, u"https://example.com/a.xhtml"_s),
             manifestItem(u"a"_s, u"../../a.xhtml"_s),
         }) {
        EXPECT_EQ(failureOf(manifestOf(items)), failure(Kind::invalidPackage)) << items;
    }
    // Two items for one file, however the hrefs spell it.
    EXPECT_EQ(
        failureOf(manifestOf(manifestItem(u"a"_s, u"text/ch1.xhtml"_s) + manifestItem(u"b"_s, u"./text/ch1.xhtml"_s))),
        failure(Kind::ambiguousContent));
}

TEST(EPUBManifest, ObfuscationIsToleratedOnFontsOnly) {
    const auto manifest = manifestOf(
        manifestItem(u"a"_s, u"a.otf"_s, u"font/otf"_s) + manifestItem(u"b"_s, u"b.ttf"_s, u"application/font-sfnt"_s) +
        manifestItem(u"e"_s, u"e.png"_s, u"image/png"_s) + manifestItem(u"f"_s, u"f.otf"_s, u"Font/otf"_s));
    ASSERT_TRUE(manifest.has_value());
    EXPECT_TRUE(manifest->checkObfuscatedResources({u"OEBPS/a.otf"_s, u"OEBPS/b.ttf"_s}));
    for (const QString& name : {u"OEBPS/e.png"_s, u"OEBPS/f.otf"_s, u"OEBPS/g.otf"_s}) {
        EXPECT_EQ(failureOf(manifest->checkObfuscatedResources({name})), failure(Kind::encrypted)) << name;
    }
}

TEST(EPUBManifest, EachVersionReadsItsOwnTableOfContentsAndNeverTheOther) {
    const auto navigationOf = [](EPUBPackageVersion version, const QString& items, const QString& spineAttributes) {
        const auto spine = xmlTree(u"<spine xmlns=\"http://www.idpf.org/2007/opf\" "_s + spineAttributes + u"/>"_s);
        const auto manifest = manifestOf(items);
        if (!manifest) return EPUBReader::Result<EPUBNavigationSource>(tl::unexpected(manifest.error()));
        return manifest->navigationSource(version, *spine);
    };
    const QString nav = manifestItem(u"nav"_s, u"nav.xhtml"_s, {}, u"nav"_s);
    const QString ncx = manifestItem(u"ncx"_s, u"toc.ncx"_s, u"application/x-dtbncx+xml"_s);
    const QString toc = u"toc=\"ncx\""_s;
    EXPECT_EQ(navigationOf(EPUBPackageVersion::epub3, nav + ncx, toc).value_or(EPUBNavigationSource()).item.path,
              u"OEBPS/nav.xhtml"_s);
    EXPECT_EQ(navigationOf(EPUBPackageVersion::epub2, nav + ncx, toc).value_or(EPUBNavigationSource()).item.path,
              u"OEBPS/toc.ncx"_s);

    // No fallback: an EPUB 3 book without a usable navigation document has none, even with an NCX.
    struct Case {
        EPUBPackageVersion version;
        QString items;
        QString spineAttributes;
    };
    for (const Case& c : {
             Case{EPUBPackageVersion::epub3, ncx, toc},
             Case{EPUBPackageVersion::epub3, manifestItem(u"nav"_s, u"nav.html"_s, u"text/html"_s, u"nav"_s), {}},
             Case{EPUBPackageVersion::epub2, nav + ncx, {}},
             Case{EPUBPackageVersion::epub2, ncx, u"toc=\"other\""_s},
             Case{EPUBPackageVersion::epub2, nav + ncx, u"toc=\"nav\""_s},
         }) {
        EXPECT_EQ(failureOf(navigationOf(c.version, c.items, c.spineAttributes)), failure(Kind::invalidPackage))
            << c.items << c.spineAttributes;
    }
    const QString two = nav + manifestItem(u"nav2"_s, u"nav2.xhtml"_s, {}, u"toc nav"_s) + ncx;
    for (const auto version : {EPUBPackageVersion::epub3, EPUBPackageVersion::epub2}) {
        EXPECT_EQ(failureOf(navigationOf(version, two, toc)), failure(Kind::ambiguousContent));
    }
}

TEST(EPUBOperation, FindsContainerAndPackageParsesEachFileOnceAndStopsWhenCancelled) {
    EXPECT_EQ(failureOf(importBook(TestEPUBBuilder().removeFile(u"META-INF/container.xml"_s))),
              failure(Kind::missingResource));
    const TestEPUBBuilder elsewhere =
        TestEPUBBuilder().setFile(u"META-INF/container.xml"_s, TestEPUBBuilder::container(u"OEBPS/package.opf"_s));
    EXPECT_EQ(failureOf(importBook(elsewhere)), failure(Kind::missingResource));

    const EPUBArchiveFiles files = readArchive(TestEPUBBuilder().build(), {}, CancellationToken::none()).value();
    EPUBReader::Operation operation(files, {}, CancellationToken::none());
    const auto first = operation.parse(u"OEBPS/text/ch1.xhtml"_s);
    ASSERT_TRUE(first.has_value());
    const EPUBXMLBudget charged = operation.xmlBudget();
    EXPECT_EQ(operation.parse(u"OEBPS/text/ch1.xhtml"_s), first);
    EXPECT_EQ(operation.xmlBudget(), charged);
    EXPECT_EQ(failureOf(operation.parse(u"OEBPS/text/none.xhtml"_s)), failure(Kind::missingResource));
    CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_EQ(failureOf(EPUBReader::Operation(files, {}, cancelled).run()), Failure::cancelled());
}

// The default book with these itemrefs in its spine (and that guide after it) over a manifest of every
// kind of document, each present in the archive.
TestEPUBBuilder bookWithSpine(const QString& itemrefs, const QByteArray& guide = {}) {
    const QString manifest = manifestItem(u"nav"_s, u"nav.xhtml"_s, {}, u"nav"_s) +
                             manifestItem(u"ch1"_s, u"text/ch1.xhtml"_s) + manifestItem(u"ch2"_s, u"text/ch2.xhtml"_s) +
                             manifestItem(u"cover"_s, u"cover.svg"_s, u"image/svg+xml"_s) +
                             manifestItem(u"script"_s, u"text/script.xhtml"_s, {}, u"svg scripted"_s) +
                             manifestItem(u"switch"_s, u"text/switch.xhtml"_s, {}, u"switch"_s) +
                             manifestItem(u"drawing"_s, u"text/drawing.xhtml"_s, {}, u"svg"_s);
    TestEPUBBuilder book;
    book.setFile(QString::fromLatin1(TestEPUBBuilder::kPackagePath),
                 TestEPUBBuilder::packageDocument(u"3.0"_s, TestEPUBBuilder::standardMetadata(), manifest, itemrefs)
                     .replace("</package>", QByteArray(guide + "</package>")));
    for (const QString& name : {u"ch2"_s, u"script"_s, u"switch"_s, u"drawing"_s}) {
        book.setFile(u"OEBPS/text/"_s + name + u".xhtml"_s, TestEPUBBuilder::xhtml(u"頁"_s, u"<p>本文</p>"_s));
    }
    return book.setFile(u"OEBPS/cover.svg"_s, QByteArrayLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\"/>"));
}

QString itemref(const QString& idref, const QString& attributes = {}) {
    return u"<itemref idref=\"%1\"%2/>"_s.arg(idref, attributes);
}

// The idref of each section of an imported book.
QStringList sectionsOf(const EPUBReader::Result<EPUBBook>& book) {
    QStringList idrefs;
    for (const auto& section : book ? book->document.sections.value_or(QList<ReadingDocument::Section>())
                                    : QList<ReadingDocument::Section>()) {
        idrefs.append(section.id.section(u'#', 1));
    }
    return idrefs;
}

TEST(EPUBSpine, ShowsLinearDocumentsInOrderAndLeavesOutNonlinearOnesAndTheGuidesTableOfContentsWithANotice) {
    const auto book = importBook(
        bookWithSpine(itemref(u"cover"_s, u" linear=\"no\""_s) + itemref(u"ch2"_s, u" linear=\"yes\""_s) +
                      itemref(u"script"_s, u" linear=\"no\""_s) + itemref(u"ch1"_s) + itemref(u"drawing"_s)));
    EXPECT_EQ(sectionsOf(book), QStringList({u"ch2"_s, u"ch1"_s, u"drawing"_s}));  // an SVG property alone is no bar
    EXPECT_EQ(book.value_or(EPUBBook()).notices,
              (Notices{{NoticeKind::omittedNonlinear, u"OEBPS/cover.svg"_s},
                       {NoticeKind::omittedNonlinear, u"OEBPS/text/script.xhtml"_s}}));
    // The guide's table of contents is left out before its media type is judged.
    const auto guided = importBook(bookWithSpine(itemref(u"cover"_s) + itemref(u"ch1"_s),
                                                 R"(<guide><reference type="toc" href="cover.svg#t"/></guide>)"));
    EXPECT_EQ(sectionsOf(guided), QStringList({u"ch1"_s}));
    EXPECT_EQ(guided.value_or(EPUBBook()).notices, (Notices{{NoticeKind::omittedNavigation, u"OEBPS/cover.svg"_s}}));
}

TEST(EPUBSpine, RefusesTheBookAtTheFirstItemrefThatCannotBeShownAsText) {
    struct Case {
        QString itemrefs;
        Kind expected;
    };
    const QString ch1 = itemref(u"ch1"_s);
    for (const Case& c : {
             Case{{}, Kind::emptyContent},
             Case{ch1 + itemref(u"missing"_s), Kind::invalidPackage},
             Case{ch1 + u"<itemref/>"_s, Kind::invalidPackage},
             Case{ch1 + ch1, Kind::invalidPackage},
             Case{ch1 + itemref(u"ch2"_s, u" linear=\"false\""_s), Kind::invalidPackage},
             Case{ch1 + itemref(u"ch2"_s, u" linear=\"No\""_s), Kind::invalidPackage},
             // A fixed layout refuses the book even where the item is not linear.
             Case{ch1 + itemref(u"ch2"_s, u" properties=\"rendition:layout-pre-paginated\""_s), Kind::fixedLayout},
             Case{ch1 + itemref(u"ch2"_s, u" linear=\"no\" properties=\"x layout-pre-paginatedy\""_s),
                  Kind::fixedLayout},
             Case{ch1 + itemref(u"cover"_s), Kind::unsupportedContent},
             Case{ch1 + itemref(u"script"_s), Kind::unsupportedContent},
             Case{ch1 + itemref(u"switch"_s), Kind::unsupportedContent},
         }) {
        EXPECT_EQ(failureOf(importBook(bookWithSpine(c.itemrefs))), failure(c.expected)) << c.itemrefs;
    }
    // A document missing from the archive fails where the walk reaches it, before a later refusal.
    TestEPUBBuilder book = bookWithSpine(ch1 + itemref(u"ch2"_s) + itemref(u"cover"_s));
    EXPECT_EQ(failureOf(importBook(book.removeFile(u"OEBPS/text/ch2.xhtml"_s))), failure(Kind::missingResource));
}

}  // namespace
}  // namespace tavrine
