#include "ReaderEPUB/EPUBReference.h"

#include "EPUBTestSupport.h"

namespace tavrine {

void PrintTo(EPUBBookReferenceError error, std::ostream* out) {
    *out << (error == EPUBBookReferenceError::invalid ? "invalid" : "external");
}
void PrintTo(const EPUBResolvedReference& reference, std::ostream* out) {
    *out << reference.path << " #" << reference.fragment.value_or(QString());
}

namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Resolved = tl::expected<EPUBResolvedReference, EPUBBookReferenceError>;

Resolved resolved(const char* path, std::optional<const char*> fragment = std::nullopt) {
    return EPUBResolvedReference{QString::fromUtf8(path),
                                 fragment ? std::optional(QString::fromUtf8(*fragment)) : std::nullopt};
}

const Resolved kInvalid = tl::unexpected(EPUBBookReferenceError::invalid);
const Resolved kExternal = tl::unexpected(EPUBBookReferenceError::external);

TEST(EPUBReference, ResolvesAgainstTheReferringFilesDirectoryWithoutClimbingOutOfTheArchive) {
    struct Case {
        const char* reference;
        Resolved expected;
    };
    const Case cases[] = {
        {"ch2.xhtml#p3", resolved("OEBPS/text/ch2.xhtml", "p3")},
        {"../images/a%20b.png", resolved("OEBPS/images/a b.png")},
        {"./ch2.xhtml", resolved("OEBPS/text/ch2.xhtml")},
        {"sub/.", resolved("OEBPS/text/sub")},
        {"sub/../ch2.xhtml", resolved("OEBPS/text/ch2.xhtml")},
        {"%E7%AB%A0.xhtml", resolved("OEBPS/text/章.xhtml")},
        {"章.xhtml", resolved("OEBPS/text/章.xhtml")},
        // A fragment alone names the referring file; fragments are decoded and may hold what a path may
        // not.
        {"#note1", resolved("OEBPS/text/ch1.xhtml", "note1")},
        {"#", resolved("OEBPS/text/ch1.xhtml")},
        {"", resolved("OEBPS/text/ch1.xhtml")},
        {"ch2.xhtml#", resolved("OEBPS/text/ch2.xhtml")},
        {"#%E6%B3%A8", resolved("OEBPS/text/ch1.xhtml", "注")},
        {"#a/b:c", resolved("OEBPS/text/ch1.xhtml", "a/b:c")},
        {"../../x.xhtml", resolved("x.xhtml")},
        // A scheme before the fragment makes a reference external.
        {"https://example.org/book.html", kExternal},
        {"mailto:someone@example.org", kExternal},
        {"a:b#c", kExternal},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolveReference(QString::fromUtf8(c.reference), u"OEBPS/text/ch1.xhtml"), c.expected) << c.reference;
    }
    // From a file at the root, as the container's package path and the encryption file's references are.
    EXPECT_EQ(resolveReference(u"OEBPS/content.opf", u"container.xml"), resolved("OEBPS/content.opf"));
    EXPECT_EQ(resolveReference(u"../x.xhtml", u"container.xml"), kInvalid);
}

TEST(EPUBReference, RefusesMalformedAndSmuggledPaths) {
    // Encoded separators, a query or a backslash, empty pieces, undecodable escapes, control characters,
    // "?", "#" or ":" once decoded, decomposed characters; a second "#", paths out of the archive or
    // absolute, and web addresses that one of these refusals catches before their scheme.
    const QList<const char*> refused[] = {
        {"a%2Fb.xhtml",   "a%2fb.xhtml",   "a%5cb.xhtml",    "a%5Cb.xhtml", "ch2.xhtml?x=1", "ch2.xhtml#x?y",
         "a\\b.xhtml",    "a//b.xhtml",    "sub/",           "a%2",         "a%zz.xhtml",    "a%C3.xhtml",
         "a%C0%AF.xhtml", "a%00b.xhtml",   "a\tb.xhtml",     "a%7Fb.xhtml", "a%3Fb.xhtml",   "a%23b.xhtml",
         "a%3Ab.xhtml",   "e%CC%81.xhtml", "e\xCC\x81.xhtml"},
        {"ch2.xhtml#a%23b", "ch2.xhtml#a#b", "ch2.xhtml#a%09b", "ch2.xhtml#a%zz", "../../../x.xhtml", "../..",
         "../../a/../../x.xhtml", "/OEBPS/text/ch2.xhtml", "%2FOEBPS/text/ch2.xhtml", "https://example.org/?q=1",
         "//example.org/x"}};
    for (const char* reference : refused[0] + refused[1]) {
        EXPECT_EQ(resolveReference(QString::fromUtf8(reference), u"OEBPS/text/ch1.xhtml"), kInvalid) << reference;
    }
    EXPECT_EQ(resolveReference(QStringView(u"a\xD800.xhtml"), u"OEBPS/text/ch1.xhtml"), kInvalid);  // a lone surrogate

    // A package resource is a plain path.
    const QString package = u"OEBPS/content.opf"_s;
    EXPECT_EQ(resolveResource(u"text/ch1.xhtml", package), u"OEBPS/text/ch1.xhtml"_s);
    EXPECT_EQ(resolveResource(u"#", package), package);
    for (const std::optional<QStringView> reference :
         {std::optional<QStringView>(), std::optional<QStringView>(u""), std::optional<QStringView>(u"a.xhtml#top"),
          std::optional<QStringView>(u"https://example.org/a.xhtml"), std::optional<QStringView>(u"../../a.xhtml")}) {
        EXPECT_EQ(failureOf(resolveResource(reference, package)), failure(Failure::Kind::invalidPackage));
    }
}

}  // namespace
}  // namespace tavrine
