#include "ReaderEPUB/EPUBContainer.h"

#include "EPUBOperationTestSupport.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = EPUBReader::Failure::Kind;

QString rootfile(const QString& fullPath, const QString& mediaType = u"application/oebps-package+xml"_s) {
    return u"<rootfile full-path=\""_s + fullPath + u"\" media-type=\""_s + mediaType + u"\"/>"_s;
}

QString container(const QString& content, const QString& ns = u"urn:oasis:names:tc:opendocument:xmlns:container"_s) {
    return u"<container xmlns=\""_s + ns + u"\" version=\"1.0\">"_s + content + u"</container>"_s;
}

QString rootfiles(const QString& content) {
    return u"<rootfiles>"_s + content + u"</rootfiles>"_s;
}

EPUBReader::Result<QString> packagePath(const QString& text) {
    return packagePathFromContainer(*xmlTree(text));
}

TEST(EPUBContainer, NamesOnePackageByItsPathFromTheArchiveRoot) {
    EXPECT_EQ(packagePath(container(rootfiles(rootfile(u"OEBPS/content.opf"_s)))), u"OEBPS/content.opf"_s);
    EXPECT_EQ(packagePath(container(rootfiles(rootfile(u"./pkg/a%20b.opf"_s)))), u"pkg/a b.opf"_s);
}

TEST(EPUBContainer, NoneOrSeveralRenditionsAreRefusedAsSuch) {
    EXPECT_EQ(packagePath(container(rootfiles({}))).error(), failureOfKind(Kind::multipleRenditions));
    EXPECT_EQ(packagePath(container(rootfiles(rootfile(u"a.opf"_s) + rootfile(u"b.opf"_s)))).error(),
              failureOfKind(Kind::multipleRenditions));
}

TEST(EPUBContainer, EveryOtherFaultIsAnInvalidPackage) {
    const QString one = rootfile(u"content.opf"_s);
    for (const QString& text : QStringList{
             container(rootfiles(one) + rootfiles(one)),  // two lists of renditions
             container(one),                              // no list at all
             container(rootfiles(one), u"urn:example:other"_s),
             container(rootfiles(rootfile(u"content.opf"_s, u"application/OEBPS-package+xml"_s))),
             container(rootfiles(u"<rootfile media-type=\"application/oebps-package+xml\"/>"_s)),
             container(rootfiles(rootfile({}))),
             container(rootfiles(rootfile(u"content.opf#start"_s))),
             container(rootfiles(rootfile(u"http://example.com/content.opf"_s))),
             container(rootfiles(rootfile(u"../content.opf"_s))),
         }) {
        EXPECT_EQ(packagePath(text).error(), failureOfKind(Kind::invalidPackage)) << text;
    }
}

QString encrypted(const QString& algorithm, const QString& uri) {
    return u"<EncryptedData xmlns=\"http://www.w3.org/2001/04/xmlenc#\"><EncryptionMethod Algorithm=\""_s + algorithm +
           u"\"/><CipherData><CipherReference URI=\""_s + uri + u"\"/></CipherData></EncryptedData>"_s;
}

QString encryption(const QString& content) {
    return u"<encryption xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"_s + content + u"</encryption>"_s;
}

EPUBReader::Result<QStringList> obfuscated(const QString& text) {
    return obfuscatedResources(*xmlTree(text));
}

const QString kIDPF = u"http://www.idpf.org/2008/embedding"_s;
const QString kAdobe = u"http://ns.adobe.com/pdf/enc#RC"_s;

TEST(EPUBEncryption, ListsTheFontsObfuscatedByEitherAlgorithmInDocumentOrder) {
    EXPECT_EQ(obfuscated(encryption({})), QStringList());
    EXPECT_EQ(obfuscated(encryption(encrypted(kIDPF, u"OEBPS/fonts/b.otf"_s) + encrypted(kAdobe, u"a%20b.ttf"_s) +
                                    encrypted(kIDPF, u"OEBPS/fonts/b.otf"_s))),
              QStringList({u"OEBPS/fonts/b.otf"_s, u"a b.ttf"_s, u"OEBPS/fonts/b.otf"_s}));
}

TEST(EPUBEncryption, RefusesRealEncryptionAndEntriesThatDoNotDescribeThemselves) {
    const QString font = u"fonts/a.otf"_s;
    for (const QString& text : QStringList{
             encryption(encrypted(u"http://www.w3.org/2001/04/xmlenc#aes128-cbc"_s, font)),
             encryption(encrypted(kIDPF.toUpper(), font)),
             encryption(encrypted(kIDPF, font) + u"<other/>"_s),
             encryption(u"<EncryptedData xmlns=\"http://www.w3.org/2001/04/xmlenc#\"><CipherData><CipherReference "
                        u"URI=\"a.otf\"/></CipherData></EncryptedData>"_s),
             encryption(u"<EncryptedData xmlns=\"http://www.w3.org/2001/04/xmlenc#\"><EncryptionMethod Algorithm=\""_s +
                        kIDPF + u"\"/><CipherData><CipherReference/></CipherData></EncryptedData>"_s),
             encryption(u"<EncryptedData xmlns=\"http://www.w3.org/2001/04/xmlenc#\"><EncryptionMethod Algorithm=\""_s +
                        kIDPF + u"\"/></EncryptedData>"_s),
             u"<encryption xmlns=\"urn:example:other\"/>"_s,
         }) {
        EXPECT_EQ(obfuscated(text).error(), failureOfKind(Kind::encrypted)) << text;
    }
}

TEST(EPUBEncryption, AReferenceThatNamesNoArchivePathIsAnInvalidPackageNotEncryption) {
    for (const QString& uri : QStringList{u"../a.otf"_s, u"http://example.com/a.otf"_s, u"a.otf#x"_s, QString()}) {
        EXPECT_EQ(obfuscated(encryption(encrypted(kIDPF, uri))).error(), failureOfKind(Kind::invalidPackage)) << uri;
    }
}

TEST(EPUBEncryption, RightsManagementRefusesTheBookWhateverItsContent) {
    TestEPUBBuilder book;
    book.setFile(u"META-INF/rights.xml"_s, {});
    EXPECT_EQ(readPackage(book).failure(), failureOfKind(Kind::encrypted));
}

TEST(EPUBEncryption, AnObfuscatedFontOfTheManifestIsToleratedAndNothingElse) {
    // The default book's manifest lists the chapter but no font.
    auto withObfuscated = [&](const QString& uri) {
        TestEPUBBuilder book;
        book.setFile(u"META-INF/encryption.xml"_s, encryption(encrypted(kIDPF, uri)).toUtf8());
        return readPackage(book).failure();
    };
    EXPECT_EQ(withObfuscated(u"OEBPS/text/ch1.xhtml"_s), failureOfKind(Kind::encrypted));
    EXPECT_EQ(withObfuscated(u"OEBPS/fonts/a.otf"_s), failureOfKind(Kind::encrypted));
    TestEPUBBuilder book;
    book.setFile(u"META-INF/encryption.xml"_s, encryption({}).toUtf8());
    EXPECT_EQ(readPackage(book).failure(), std::nullopt);
}

}  // namespace
}  // namespace tavrine
