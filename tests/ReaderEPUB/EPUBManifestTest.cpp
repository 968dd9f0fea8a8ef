#include "ReaderEPUB/EPUBManifest.h"

#include "EPUBOperationTestSupport.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = EPUBReader::Failure::Kind;

QString item(const QString& id, const QString& href, const QString& media = u"application/xhtml+xml"_s,
             const QString& properties = {}) {
    QString text = u"<item id=\""_s + id + u"\" href=\""_s + href + u"\" media-type=\""_s + media + u'"';
    if (!properties.isEmpty()) text += u" properties=\""_s + properties + u'"';
    return text + u"/>"_s;
}

EPUBReader::Result<EPUBManifest> manifestOf(const QString& items) {
    const auto tree = xmlTree(u"<manifest xmlns=\"http://www.idpf.org/2007/opf\">"_s + items + u"</manifest>"_s);
    return EPUBManifest::read(*tree, u"OEBPS/content.opf", CancellationToken::none());
}

TEST(EPUBManifest, ResolvesEachItemAgainstThePackageAndSplitsItsProperties) {
    const auto manifest =
        manifestOf(item(u"ch1"_s, u"text/ch1.xhtml"_s) +
                   item(u"nav"_s, u"../nav.xhtml"_s, u"application/xhtml+xml"_s, u"nav\t\nscripted\u3000svg"_s));
    ASSERT_TRUE(manifest.has_value());
    ASSERT_EQ(manifest->items().size(), 2u);
    EXPECT_EQ(manifest->item(u"ch1"_s)->path, u"OEBPS/text/ch1.xhtml"_s);
    EXPECT_EQ(manifest->itemAtPath(u"nav.xhtml"_s)->properties, QSet<QString>({u"nav"_s, u"scripted"_s, u"svg"_s}));
    EXPECT_EQ(manifest->item(u"none"_s), nullptr);
    EXPECT_TRUE(manifestOf({}).has_value());
}

TEST(EPUBManifest, RefusesItemsWithoutIdentityOrFile) {
    for (const QString& items : QStringList{
             item({}, u"a.xhtml"_s),
             item(u"a"_s, u"a.xhtml"_s) + item(u"a"_s, u"b.xhtml"_s),
             item(u"a"_s, u"a.xhtml"_s, {}),
             u"<item id=\"a\" href=\"a.xhtml\"/>"_s,
             u"<item id=\"a\" media-type=\"text/css\"/>"_s,
             item(u"a"_s, {}),
             item(u"a"_s, u"a.xhtml#part"_s),
             item(u"a"_s, u"https://example.com/a.xhtml"_s),
             item(u"a"_s, u"../../a.xhtml"_s),
         }) {
        EXPECT_EQ(manifestOf(items).error(), failureOfKind(Kind::invalidPackage)) << items;
    }
    // Two items for one file, however the hrefs spell it.
    EXPECT_EQ(manifestOf(item(u"a"_s, u"text/ch1.xhtml"_s) + item(u"b"_s, u"./text/ch1.xhtml"_s)).error(),
              failureOfKind(Kind::ambiguousContent));
}

TEST(EPUBManifest, ObfuscationIsToleratedOnFontsOnly) {
    const auto manifest =
        manifestOf(item(u"a"_s, u"a.otf"_s, u"font/otf"_s) + item(u"b"_s, u"b.ttf"_s, u"application/font-sfnt"_s) +
                   item(u"c"_s, u"c.woff"_s, u"application/font-woff"_s) +
                   item(u"d"_s, u"d.otf"_s, u"application/vnd.ms-opentype"_s) +
                   item(u"e"_s, u"e.png"_s, u"image/png"_s) + item(u"f"_s, u"f.otf"_s, u"Font/otf"_s));
    ASSERT_TRUE(manifest.has_value());
    const QString base = u"OEBPS/"_s;
    EXPECT_TRUE(
        manifest->checkObfuscatedResources({base + u"a.otf", base + u"b.ttf", base + u"c.woff", base + u"d.otf"})
            .has_value());
    for (const QString& name : QStringList{u"e.png"_s, u"f.otf"_s, u"g.otf"_s}) {
        EXPECT_EQ(manifest->checkObfuscatedResources({base + name}).error(), failureOfKind(Kind::encrypted)) << name;
    }
}

struct NavigationChoice {
    QString items;
    QString spineAttributes;
};

EPUBReader::Result<EPUBNavigationSource> navigationOf(EPUBPackageVersion version, const NavigationChoice& choice) {
    const auto spine = xmlTree(u"<spine xmlns=\"http://www.idpf.org/2007/opf\" "_s + choice.spineAttributes + u"/>"_s);
    const auto manifest = manifestOf(choice.items);
    if (!manifest) return tl::unexpected(manifest.error());
    return manifest->navigationSource(version, *spine);
}

const QString kNav = item(u"nav"_s, u"nav.xhtml"_s, u"application/xhtml+xml"_s, u"nav"_s);
const QString kNCX = item(u"ncx"_s, u"toc.ncx"_s, u"application/x-dtbncx+xml"_s);

TEST(EPUBManifest, EachVersionReadsItsOwnTableOfContentsAndNeverTheOther) {
    const NavigationChoice both{kNav + kNCX, u"toc=\"ncx\""_s};
    const auto epub3 = navigationOf(EPUBPackageVersion::epub3, both);
    ASSERT_TRUE(epub3.has_value());
    EXPECT_EQ(epub3->kind, EPUBNavigationKind::navigationDocument);
    EXPECT_EQ(epub3->item.path, u"OEBPS/nav.xhtml"_s);
    const auto epub2 = navigationOf(EPUBPackageVersion::epub2, both);
    ASSERT_TRUE(epub2.has_value());
    EXPECT_EQ(epub2->kind, EPUBNavigationKind::ncx);
    EXPECT_EQ(epub2->item.path, u"OEBPS/toc.ncx"_s);

    // No fallback: an EPUB 3 book without a navigation document has none, even with an NCX.
    EXPECT_EQ(navigationOf(EPUBPackageVersion::epub3, {kNCX, u"toc=\"ncx\""_s}).error(),
              failureOfKind(Kind::invalidPackage));
    EXPECT_EQ(
        navigationOf(EPUBPackageVersion::epub3, {item(u"nav"_s, u"nav.html"_s, u"text/html"_s, u"nav"_s), {}}).error(),
        failureOfKind(Kind::invalidPackage));
    for (const NavigationChoice& epub2Fault : {
             NavigationChoice{kNav + kNCX, {}},
             NavigationChoice{kNCX, u"toc=\"other\""_s},
             NavigationChoice{kNav + kNCX, u"toc=\"nav\""_s},
         }) {
        EXPECT_EQ(navigationOf(EPUBPackageVersion::epub2, epub2Fault).error(), failureOfKind(Kind::invalidPackage))
            << epub2Fault.items << epub2Fault.spineAttributes;
    }
}

TEST(EPUBManifest, TwoNavigationDocumentsAreAmbiguousInEitherVersion) {
    const NavigationChoice two{kNav + item(u"nav2"_s, u"nav2.xhtml"_s, u"application/xhtml+xml"_s, u"toc nav"_s) + kNCX,
                               u"toc=\"ncx\""_s};
    EXPECT_EQ(navigationOf(EPUBPackageVersion::epub3, two).error(), failureOfKind(Kind::ambiguousContent));
    EXPECT_EQ(navigationOf(EPUBPackageVersion::epub2, two).error(), failureOfKind(Kind::ambiguousContent));
}

}  // namespace
}  // namespace tavrine
