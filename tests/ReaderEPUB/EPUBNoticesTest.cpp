#include "ReaderEPUB/EPUBNotices.h"

#include "EPUBXHTMLTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavrine {

inline void PrintTo(const EPUBBook::Notice& notice, std::ostream* out) {
    *out << rawValue(notice.kind).toStdString() << "@"
         << (notice.resource ? "\"" + notice.resource->toStdString() + "\"" : std::string("(book)"));
}

namespace {
using namespace Qt::StringLiterals;
using Kind = EPUBBook::Notice::Kind;
using Notice = EPUBBook::Notice;
using Notices = QList<Notice>;

Notice about(Kind kind, const QString& path) {
    return {kind, path};
}

Notice book(Kind kind) {
    return {kind, std::nullopt};
}

TEST(EPUBNoticesOfADocument, KindsAreAppendedInTheOrderOfTheirNamesAfterWhatCameBefore) {
    Notices notices{book(Kind::missingTitle)};
    EPUBNotices::appendRendered(notices, {Kind::tableFlattened, Kind::imagePlaceholder, Kind::mediaOmitted},
                                u"Text/a.xhtml"_s);
    EPUBNotices::appendRendered(notices, {}, u"Text/b.xhtml"_s);
    EXPECT_EQ(notices,
              (Notices{book(Kind::missingTitle), about(Kind::imagePlaceholder, u"Text/a.xhtml"_s),
                       about(Kind::mediaOmitted, u"Text/a.xhtml"_s), about(Kind::tableFlattened, u"Text/a.xhtml"_s)}));
}

TEST(EPUBNoticesOfADocument, ManyImagesAndTwoFlattenedTablesGiveTwoNotices) {
    QByteArray body;
    for (int i = 0; i < 500; ++i) body += "<img/>";
    body += "<table><tr><td colspan='2'>a</td></tr></table><table/>";
    const EPUBRendered rendered = test::rendered(body);
    Notices notices;
    EPUBNotices::appendRendered(notices, rendered.notices, u"Text/ch1.xhtml"_s);
    EXPECT_EQ(EPUBNotices::finalNotices(notices), (Notices{about(Kind::imagePlaceholder, u"Text/ch1.xhtml"_s),
                                                           about(Kind::tableFlattened, u"Text/ch1.xhtml"_s)}));
}

TEST(EPUBNoticesOfABook, BookNoticesComeFirstThenEachPathInTextOrderWithoutDuplicates) {
    const Notices raised{
        book(Kind::missingTitle),
        book(Kind::missingLanguage),
        about(Kind::omittedHidden, u"Text/b.xhtml"_s),
        about(Kind::imagePlaceholder, u"Text/a.xhtml"_s),
        about(Kind::omittedNavigation, u"Text/b.xhtml"_s),
        about(Kind::omittedNavigation, u"Text/b.xhtml"_s),
        about(Kind::imagePlaceholder, u"Text/a.xhtml"_s),
        book(Kind::missingTitle),
    };
    EXPECT_EQ(EPUBNotices::finalNotices(raised),
              (Notices{book(Kind::missingLanguage), book(Kind::missingTitle),
                       about(Kind::imagePlaceholder, u"Text/a.xhtml"_s), about(Kind::omittedHidden, u"Text/b.xhtml"_s),
                       about(Kind::omittedNavigation, u"Text/b.xhtml"_s)}));
    EXPECT_TRUE(EPUBNotices::finalNotices({}).isEmpty());
}

TEST(EPUBNoticesOfABook, PathsAreOrderedAsTextByUnicodeScalarValue) {
    // "ch10" before "ch2"; a supplementary character (stored as surrogates) after U+FF21, which UTF-16
    // code units would put the other way round; a prefix before what extends it.
    const QString emoji = u"p/\U0001F600.xhtml"_s;
    const QString fullwidth = u"p/\uFF21.xhtml"_s;
    const Notices raised{about(Kind::imagePlaceholder, emoji), about(Kind::imagePlaceholder, u"ch2"_s),
                         about(Kind::imagePlaceholder, fullwidth), about(Kind::imagePlaceholder, u"ch10"_s),
                         about(Kind::imagePlaceholder, u"ch1"_s)};
    EXPECT_EQ(EPUBNotices::finalNotices(raised),
              (Notices{about(Kind::imagePlaceholder, u"ch1"_s), about(Kind::imagePlaceholder, u"ch10"_s),
                       about(Kind::imagePlaceholder, u"ch2"_s), about(Kind::imagePlaceholder, fullwidth),
                       about(Kind::imagePlaceholder, emoji)}));
}

TEST(EPUBNoticesOfABook, KindsOfOneResourceAreOrderedByTheirNames) {
    Notices all;
    for (const auto& [kind, name] : EnumTable<Kind>::entries) all.append(about(kind, u"x"_s));
    std::reverse(all.begin(), all.end());
    QStringList names;
    for (const Notice& notice : EPUBNotices::finalNotices(all)) names.append(rawValue(notice.kind));
    EXPECT_EQ(names, (QStringList{u"imagePlaceholder"_s, u"mediaOmitted"_s, u"missingCreator"_s, u"missingIdentifier"_s,
                                  u"missingLanguage"_s, u"missingTitle"_s, u"omittedHidden"_s, u"omittedNavigation"_s,
                                  u"omittedNonlinear"_s, u"rubyAnnotationOmitted"_s, u"tableFlattened"_s,
                                  u"unresolvedNavigation"_s}));
}

TEST(EPUBNoticesOfABook, AnAbsentResourceDiffersFromAnEmptyOneButSortsAlike) {
    const Notice empty = about(Kind::missingTitle, QString());
    EXPECT_FALSE(EPUBNotices::comesBefore(book(Kind::missingTitle), empty));
    EXPECT_FALSE(EPUBNotices::comesBefore(empty, book(Kind::missingTitle)));
    EXPECT_TRUE(EPUBNotices::comesBefore(empty, book(Kind::omittedHidden)));
    EXPECT_EQ(EPUBNotices::finalNotices({empty, book(Kind::missingTitle), empty}),
              (Notices{book(Kind::missingTitle), empty}));
}

}  // namespace
}  // namespace tavrine
