#include "ReaderEPUB/EPUBArchivePath.h"
#include "ReaderEPUB/EPUBReference.h"

#include "EPUBArchiveTestSupport.h"

#include <gtest/gtest.h>

namespace tavrine {

void PrintTo(EPUBBookReferenceError error, std::ostream* out) {
    *out << (error == EPUBBookReferenceError::invalid ? "invalid" : "external");
}
void PrintTo(const EPUBResolvedReference& reference, std::ostream* out) {
    *out << reference.path.toStdString();
    if (reference.fragment) *out << " #" << reference.fragment->toStdString();
}

namespace {
using Error = EPUBBookReferenceError;
using Resolved = tl::expected<EPUBResolvedReference, EPUBBookReferenceError>;

const QString kChapter = QStringLiteral("OEBPS/text/ch1.xhtml");

Resolved resolved(const char* path, std::optional<const char*> fragment = std::nullopt) {
    return EPUBResolvedReference{QString::fromUtf8(path),
                                 fragment ? std::optional(QString::fromUtf8(*fragment)) : std::nullopt};
}

Resolved resolve(const char* reference, const QString& from = kChapter) {
    return resolveReference(QString::fromUtf8(reference), from);
}

const Resolved kInvalid = tl::unexpected(Error::invalid);
const Resolved kExternal = tl::unexpected(Error::external);

TEST(EPUBReference, ResolvesAgainstTheReferringFilesDirectory) {
    EXPECT_EQ(resolve("ch2.xhtml#p3"), resolved("OEBPS/text/ch2.xhtml", "p3"));
    EXPECT_EQ(resolve("../images/a%20b.png"), resolved("OEBPS/images/a b.png"));
    EXPECT_EQ(resolve("./ch2.xhtml"), resolved("OEBPS/text/ch2.xhtml"));
    EXPECT_EQ(resolve("sub/."), resolved("OEBPS/text/sub"));
    EXPECT_EQ(resolve("sub/../ch2.xhtml"), resolved("OEBPS/text/ch2.xhtml"));
    EXPECT_EQ(resolve("%E7%AB%A0.xhtml"), resolved("OEBPS/text/章.xhtml"));
    EXPECT_EQ(resolve("章.xhtml"), resolved("OEBPS/text/章.xhtml"));
    // From a file at the root, as the container's package path and the encryption file's references are.
    EXPECT_EQ(resolveReference(u"OEBPS/content.opf", u"container.xml"), resolved("OEBPS/content.opf"));
    EXPECT_EQ(resolveReference(u"text/ch1.xhtml", u"OEBPS/content.opf"), resolved("OEBPS/text/ch1.xhtml"));
}

TEST(EPUBReference, AFragmentAloneNamesTheReferringFile) {
    EXPECT_EQ(resolve("#note1"), resolved("OEBPS/text/ch1.xhtml", "note1"));
    EXPECT_EQ(resolve("#"), resolved("OEBPS/text/ch1.xhtml"));
    EXPECT_EQ(resolve(""), resolved("OEBPS/text/ch1.xhtml"));
    EXPECT_EQ(resolve("ch2.xhtml#"), resolved("OEBPS/text/ch2.xhtml"));
    // Fragments are decoded, may hold what a path may not, but not a second "#".
    EXPECT_EQ(resolve("#%E6%B3%A8"), resolved("OEBPS/text/ch1.xhtml", "注"));
    EXPECT_EQ(resolve("#a/b:c"), resolved("OEBPS/text/ch1.xhtml", "a/b:c"));
    EXPECT_EQ(resolve("ch2.xhtml#a%23b"), kInvalid);
    EXPECT_EQ(resolve("ch2.xhtml#a#b"), kInvalid);
    EXPECT_EQ(resolve("ch2.xhtml#a%09b"), kInvalid);
    EXPECT_EQ(resolve("ch2.xhtml#a%zz"), kInvalid);
}

TEST(EPUBReference, ReferencesCannotClimbOutOfTheArchive) {
    EXPECT_EQ(resolve("../../x.xhtml"), resolved("x.xhtml"));
    EXPECT_EQ(resolve("../../../x.xhtml"), kInvalid);
    EXPECT_EQ(resolve("../.."), kInvalid);  // the archive root itself is no file
    EXPECT_EQ(resolve("../../a/../../x.xhtml"), kInvalid);
    EXPECT_EQ(resolveReference(u"../x.xhtml", u"container.xml"), kInvalid);
    EXPECT_EQ(resolve("/OEBPS/text/ch2.xhtml"), kInvalid);
    EXPECT_EQ(resolve("%2FOEBPS/text/ch2.xhtml"), kInvalid);
}

TEST(EPUBReference, RefusesMalformedAndSmuggledPaths) {
    for (const char* reference : {
             "a%2Fb.xhtml",   "a%2fb.xhtml",
             "a%5cb.xhtml",   "a%5Cb.xhtml",  // encoded separators
             "ch2.xhtml?x=1", "ch2.xhtml#x?y",
             "a\\b.xhtml",             // query, backslash
             "a//b.xhtml",    "sub/",  // empty pieces
             "a%2",           "a%zz.xhtml",
             "a%C3.xhtml",    "a%C0%AF.xhtml",  // undecodable
             "a%00b.xhtml",   "a\tb.xhtml",
             "a%7Fb.xhtml",  // control characters
             "a%3Fb.xhtml",   "a%23b.xhtml",
             "a%3Ab.xhtml",                       // decoded "?", "#", ":"
             "e%CC%81.xhtml", "e\xCC\x81.xhtml",  // not precomposed
         }) {
        EXPECT_EQ(resolve(reference), kInvalid) << reference;
    }
    EXPECT_EQ(resolveReference(QStringView(u"a\xD800.xhtml"), kChapter), kInvalid);  // a lone surrogate
}

TEST(EPUBReference, ASchemeBeforeTheFragmentMakesAReferenceExternal) {
    EXPECT_EQ(resolve("https://example.org/book.html"), kExternal);
    EXPECT_EQ(resolve("mailto:someone@example.org"), kExternal);
    EXPECT_EQ(resolve("a:b#c"), kExternal);
    // The earlier refusals win: a query or a leading "/" makes even a web address invalid.
    EXPECT_EQ(resolve("https://example.org/?q=1"), kInvalid);
    EXPECT_EQ(resolve("//example.org/x"), kInvalid);
}

TEST(EPUBReference, APackageResourceIsAPlainPath) {
    using Kind = EPUBReader::Failure::Kind;
    const auto invalidPackage = tl::unexpected(EPUBReader::Failure::of(Kind::invalidPackage));
    const QString package = QStringLiteral("OEBPS/content.opf");
    EXPECT_EQ(resolveResource(u"text/ch1.xhtml", package), QStringLiteral("OEBPS/text/ch1.xhtml"));
    EXPECT_EQ(resolveResource(std::nullopt, package), invalidPackage);
    EXPECT_EQ(resolveResource(u"", package), invalidPackage);
    EXPECT_EQ(resolveResource(u"text/ch1.xhtml#top", package), invalidPackage);
    EXPECT_EQ(resolveResource(u"#", package), QStringLiteral("OEBPS/content.opf"));
    EXPECT_EQ(resolveResource(u"https://example.org/a.xhtml", package), invalidPackage);
    EXPECT_EQ(resolveResource(u"../../a.xhtml", package), invalidPackage);
}

TEST(EPUBArchivePath, AcceptsRelativeComponentsAndDirectoryNames) {
    for (const char16_t* path :
         {u"mimetype", u"OEBPS/text/ch1.xhtml", u"OEBPS/", u"a b/章.xhtml", u"...", u".hidden", u"a..b", u"x\u0085"}) {
        EXPECT_TRUE(isSafeArchivePath(path)) << QString::fromUtf16(path).toStdString();
    }
    for (const char16_t* path : {u"", u"/", u"/a", u"a//b", u"//", u"a/./b", u"a/../b", u"./a", u"a/.", u"a/..",
                                 u"a\\b", u"c:a", u"a?b", u"a#b", u"a\u0001b", u"a\u007fb", u"e\u0301"}) {
        EXPECT_FALSE(isSafeArchivePath(path)) << QString::fromUtf16(path).toStdString();
    }
}

}  // namespace
}  // namespace tavrine
