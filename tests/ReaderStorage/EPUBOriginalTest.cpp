#include "ReaderStorage/EPUBOriginal.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

const QString kDigest = u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s;

EPUBOriginal original(const QString& filename = u"novel.epub"_s, qint64 byteCount = 1, QString digest = kDigest) {
    return EPUBOriginal{filename, byteCount, std::move(digest)};
}

TEST(EPUBOriginal, DigestIsLowerCaseHexOfSHA256) {
    EXPECT_EQ(sha256Hex("abc"), kDigest);
    EXPECT_EQ(sha256Hex(QByteArray()), u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"_s);
}

TEST(EPUBOriginal, FormCheckOfTheName) {
    EXPECT_TRUE(original(u"novel.epub"_s).isValid());
    EXPECT_TRUE(original(u"novel.EPUB"_s).isValid());
    EXPECT_FALSE(original(QString()).isValid());
    EXPECT_FALSE(original(u"books/novel.epub"_s).isValid());
    EXPECT_FALSE(original(u"novel.epub/"_s).isValid());
    EXPECT_FALSE(original(u"novel.zip"_s).isValid());
    EXPECT_FALSE(original(u".epub"_s).isValid());
}

TEST(EPUBOriginal, FormCheckOfTheSize) {
    EXPECT_TRUE(original(u"a.epub"_s, 1).isValid());
    EXPECT_TRUE(original(u"a.epub"_s, 33'554'432).isValid());
    EXPECT_FALSE(original(u"a.epub"_s, 33'554'433).isValid());
    EXPECT_FALSE(original(u"a.epub"_s, 0).isValid());
    EXPECT_FALSE(original(u"a.epub"_s, -1).isValid());
}

TEST(EPUBOriginal, FormCheckOfTheDigestAcceptsAnyCaseButOnlyHexDigits) {
    EXPECT_TRUE(original(u"a.epub"_s, 1, kDigest.toUpper()).isValid());
    EXPECT_TRUE(original(u"a.epub"_s, 1, u"\uFF10\uFF21\uFF46"_s + kDigest.mid(3)).isValid());  // fullwidth 0 A f
    EXPECT_FALSE(original(u"a.epub"_s, 1, kDigest.left(63)).isValid());
    EXPECT_FALSE(original(u"a.epub"_s, 1, kDigest + u'0').isValid());
    EXPECT_FALSE(original(u"a.epub"_s, 1, u'g' + kDigest.mid(1)).isValid());
    EXPECT_FALSE(original(u"a.epub"_s, 1, u"\U0001F600"_s + kDigest.mid(2)).isValid());
}

TEST(EPUBOriginal, JsonRequiresAllThreeKeys) {
    const EPUBOriginal value = original(u"本.epub"_s, 123, kDigest);
    EXPECT_EQ(decodeJson(toJson(value), JsonPath(), std::type_identity<EPUBOriginal>{}), value);
    EXPECT_FALSE(decodeJsonText<EPUBOriginal>(R"({"filename":"a.epub","sha256":"00"})"));
    EXPECT_FALSE(decodeJsonText<EPUBOriginal>(R"({"filename":"a.epub","byteCount":1.5,"sha256":"00"})"));
    EXPECT_FALSE(decodeJsonText<EPUBOriginal>(R"({"byteCount":1,"sha256":"00"})"));
}

}  // namespace
}  // namespace tavrine
