#include "ReaderEPUB/EPUBPackageDocument.h"
#include "ReaderEPUB/EPUBPackageMetadata.h"

#include "EPUBOperationTestSupport.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = EPUBReader::Failure::Kind;
using NoticeKind = EPUBBook::Notice::Kind;

QString package(const QString& attributes, const QString& content,
                const QString& ns = u"http://www.idpf.org/2007/opf"_s) {
    return u"<package xmlns=\""_s + ns + u"\" "_s + attributes + u">"_s + content + u"</package>"_s;
}

const QString kSections = u"<metadata/><manifest/><spine/>"_s;

std::optional<EPUBReader::Failure> packageFailure(const QString& text) {
    const auto tree = xmlTree(text);
    const auto document = EPUBPackageDocument::read(*tree);
    return document ? std::nullopt : std::optional(document.error());
}

TEST(EPUBPackageDocument, ReadsExactlyTheTwoKnownVersions) {
    const auto tree = xmlTree(package(u"version=\"2.0\" unique-identifier=\"uid\""_s, kSections));
    const auto epub2 = EPUBPackageDocument::read(*tree);
    ASSERT_TRUE(epub2.has_value());
    EXPECT_EQ(epub2->version, EPUBPackageVersion::epub2);
    EXPECT_EQ(epub2->uniqueIdentifier, u"uid"_s);
    EXPECT_EQ(epub2->spine->name(), u"spine"_s);
    EXPECT_EQ(packageFailure(package(u"version=\"3.0\""_s, kSections)), std::nullopt);

    for (const QString& version : QStringList{u"3.0.1"_s, u"3"_s, u" 3.0"_s, QString()}) {
        EXPECT_EQ(packageFailure(package(u"version=\""_s + version + u'"', kSections)),
                  failureOfKind(Kind::unsupportedVersion))
            << version;
    }
    EXPECT_EQ(packageFailure(package({}, kSections)), failureOfKind(Kind::unsupportedVersion));
}

TEST(EPUBPackageDocument, NeedsAPackageRootWithEachSectionOnce) {
    const QString v3 = u"version=\"3.0\""_s;
    for (const QString& text : QStringList{
             package(v3, kSections, u"http://www.idpf.org/2007/opf-other"_s),
             package(v3, u"<metadata/><metadata/><manifest/><spine/>"_s),
             package(v3, u"<metadata/><manifest/>"_s),
             package(v3, u"<manifest/><spine/>"_s),
             package(v3, u"<metadata/><manifest xmlns=\"urn:example:other\"/><spine/>"_s),
         }) {
        EXPECT_EQ(packageFailure(text), failureOfKind(Kind::invalidPackage)) << text;
    }
}

EPUBReader::Result<void> fixedLayoutGate(const QString& metas) {
    return checkFixedLayoutMetadata(
        *xmlTree(u"<metadata xmlns=\"http://www.idpf.org/2007/opf\">"_s + metas + u"</metadata>"_s));
}

TEST(EPUBPackageDocument, RefusesAFixedLayoutDeclaredEitherWay) {
    for (const QString& meta : QStringList{
             u"<meta property=\"rendition:layout\"> pre-paginated\n</meta>"_s,
             u"<meta property=\"any:layout\">pre-paginated</meta>"_s,
             u"<meta name=\"fixed-layout\" content=\"true\"/>"_s,
             u"<meta name=\"ibooks:fixed-layout\" content=\"true\"/>"_s,
         }) {
        EXPECT_EQ(fixedLayoutGate(meta).error(), failureOfKind(Kind::fixedLayout)) << meta;
    }
    for (const QString& meta : QStringList{
             u"<meta property=\"rendition:layout\">reflowable</meta>"_s,
             u"<meta property=\"rendition:layout\">Pre-paginated</meta>"_s,
             u"<meta property=\"layout\">pre-paginated</meta>"_s,
             u"<meta name=\"fixed-layout\" content=\"True\"/>"_s,
             u"<meta name=\"fixed-layout\" content=\" true\"/>"_s,
         }) {
        EXPECT_TRUE(fixedLayoutGate(meta).has_value()) << meta;
    }
}

struct MetadataRead {
    EPUBBook::Metadata metadata;
    QList<EPUBBook::Notice> notices;
};

MetadataRead metadataOf(const QString& content, const std::optional<QString>& uniqueIdentifier = u"uid"_s) {
    const auto tree = xmlTree(
        u"<metadata xmlns=\"http://www.idpf.org/2007/opf\" "
        u"xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"_s +
        content + u"</metadata>"_s);
    MetadataRead read;
    read.metadata = readPackageMetadata(*tree, uniqueIdentifier, read.notices);
    return read;
}

TEST(EPUBPackageMetadata, KeepsTheTrimmedTextsInOrderAndNamesWhatIsMissing) {
    const MetadataRead read = metadataOf(
        u"<dc:creator> 作者 </dc:creator><dc:title>\n \t</dc:title><dc:creator>作者</dc:creator>"
        u"<dc:date>2024</dc:date><title>not Dublin Core</title><dc:publisher>版元<b>社</b></dc:publisher>"_s);
    EXPECT_EQ(read.metadata.creators, QStringList({u"作者"_s, u"作者"_s}));
    EXPECT_TRUE(read.metadata.titles.isEmpty());
    EXPECT_EQ(read.metadata.publishers, QStringList({u"版元社"_s}));
    EXPECT_EQ(read.metadata.dates, QStringList({u"2024"_s}));
    const QList<EPUBBook::Notice> missing{{NoticeKind::missingTitle, std::nullopt},
                                          {NoticeKind::missingLanguage, std::nullopt},
                                          {NoticeKind::missingIdentifier, std::nullopt}};
    EXPECT_EQ(read.notices, missing);
}

TEST(EPUBPackageMetadata, TheUniqueIdentifierIsTheFirstIdentifierWithThatID) {
    const QString identifiers =
        u"<dc:identifier id=\"isbn\">978-4</dc:identifier>"
        u"<dc:identifier id=\"other\" xml:id=\"uid\">by xml:id behind another id</dc:identifier>"
        u"<dc:identifier xml:id=\"uid\"> urn:x </dc:identifier>"
        u"<dc:identifier id=\"uid\">later</dc:identifier>"
        u"<dc:identifier id=\"blank\"> </dc:identifier>"
        u"<dc:identifier id=\"blank\">after the blank one</dc:identifier>"_s;
    EXPECT_EQ(metadataOf(identifiers).metadata.uniqueIdentifier, u"urn:x"_s);
    EXPECT_EQ(metadataOf(identifiers, u"isbn"_s).metadata.uniqueIdentifier, u"978-4"_s);
    EXPECT_EQ(metadataOf(identifiers, u"blank"_s).metadata.uniqueIdentifier, std::nullopt);
    EXPECT_EQ(metadataOf(identifiers, u"none"_s).metadata.uniqueIdentifier, std::nullopt);
    EXPECT_EQ(metadataOf(identifiers, std::nullopt).metadata.uniqueIdentifier, std::nullopt);
    EXPECT_EQ(metadataOf(identifiers).metadata.identifiers.size(), 5);
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

}  // namespace
}  // namespace tavrine
