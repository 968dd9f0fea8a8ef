#include "ReaderText/MarkdownReader.h"

#include "support/InstalledDocuments.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QRegularExpression>
#include <QSet>

// Real Markdown nobody here wrote: the READMEs that Debian packages install. Each test is skipped, with
// the reason, when its package is not installed.
namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Kind = ReadingDocument::Span::Kind;

struct Readme {
    QString source;
    ReadingDocument document;
};

QString spanText(const ReadingDocument& document, const ReadingDocument::Span& span) {
    return document.text.sliced(span.start, span.end - span.start);
}

// No link target, inline or by reference, shows in the text: a target may show only as often as it is
// written outside the targets (as an autolink, a link's text or in prose).
void expectNoLinkTargets(const Readme& readme) {
    static const QRegularExpression inlineTarget(uR"(\]\(\s*<?([^\s)>]+))"_s);
    static const QRegularExpression definitionTarget(uR"((?m)^ {0,3}\[[^\]]+\]:\s*<?([^\s>]+))"_s);
    QString outsideTargets = readme.source;
    QSet<QString> targets;
    for (const QRegularExpression* pattern : {&inlineTarget, &definitionTarget}) {
        for (const QRegularExpressionMatch& match : pattern->globalMatch(readme.source)) {
            targets.insert(match.captured(1));
            outsideTargets.replace(match.capturedStart(1), match.capturedLength(1),
                                   QString(match.capturedLength(1), u'\0'));
        }
    }
    EXPECT_FALSE(targets.isEmpty());
    for (const QString& target : std::as_const(targets)) {
        EXPECT_LE(readme.document.text.count(target), outsideTargets.count(target)) << target;
    }
}

// Every fenced code block written at the start of a line shows verbatim, as a code block span.
void expectCodeBlocksVerbatim(const Readme& readme) {
    static const QRegularExpression fenced(u"(?ms)^```[^\\n]*\\n(.*?)^```"_s);
    QStringList codeBlocks;
    for (const auto& span : readme.document.spans) {
        if (span.kind == Kind::codeBlock) codeBlocks.append(spanText(readme.document, span));
    }
    for (const QRegularExpressionMatch& match : fenced.globalMatch(readme.source)) {
        QString code = match.captured(1);
        // The closing line feed of a block at the very end of the text is dropped.
        if (!codeBlocks.contains(code)) code.chop(1);
        EXPECT_TRUE(codeBlocks.contains(code)) << code;
    }
}

// Converts the package's README.md, checks what holds for every real document and returns it.
std::optional<Readme> convertedReadme(const QString& package) {
    const QString path = test::installedDocument(u"/usr/share/doc/"_s + package + u"/README.md"_s);
    if (path.isEmpty()) return std::nullopt;
    const std::optional<QByteArray> bytes = test::readDocumentFile(path);
    if (!bytes) {
        ADD_FAILURE() << "cannot read " << path;
        return std::nullopt;
    }
    Readme readme{QString::fromUtf8(*bytes), {}};
    const MarkdownReader::Result converted = MarkdownReader::convert(*bytes);
    if (!converted) {
        ADD_FAILURE() << path << " failed with " << int(converted.error());
        return std::nullopt;
    }
    readme.document = *converted;
    EXPECT_TRUE(readme.document.isValid()) << path;

    const MarkdownReader::Result read = MarkdownReader::read(readme.source);
    if (readme.source.size() > MarkdownReader::kMaximumLength) {
        EXPECT_EQ(read, tl::unexpected(MarkdownReader::Failure::tooLong)) << path;
    } else {
        EXPECT_EQ(read, converted) << path;
    }
    expectNoLinkTargets(readme);
    expectCodeBlocksVerbatim(readme);
    return readme;
}

#define CONVERTED_README_OR_SKIP(name, package)                                              \
    const std::optional<Readme> name = convertedReadme(package);                             \
    if (!name) {                                                                             \
        if (!HasFailure()) GTEST_SKIP() << "the package " << package << " is not installed"; \
        return;                                                                              \
    }

TEST(MarkdownRealDocuments, ZstdTableWithItsHeaderAndNoTraceOfTheHTMLLogo) {
    CONVERTED_README_OR_SKIP(readme, u"zstd"_s)
    const ReadingDocument& document = readme->document;
    EXPECT_TRUE(document.text.startsWith(u"Zstandard, or zstd as short version"_s));
    for (const char* trace : {"<p", "<img", "zstd_logo86", "align="}) {
        EXPECT_FALSE(document.text.contains(QLatin1StringView(trace))) << trace;
    }

    const auto table = std::ranges::find_if(document.spans, [&](const ReadingDocument::Span& span) {
        return span.kind == Kind::table && spanText(document, span).startsWith(u"Compressor name\n"_s);
    });
    ASSERT_NE(table, document.spans.end());
    EXPECT_EQ(table->level, 4);
    QStringList headers;
    for (const auto& span : document.spans) {
        if (span.kind == Kind::tableHeader && span.start >= table->start && span.end <= table->end) {
            headers.append(spanText(document, span));
        }
    }
    EXPECT_EQ(headers, (QStringList{u"Compressor name\n"_s, u"Ratio\n"_s, u"Compression\n"_s, u"Decompress.\n"_s}));
}

TEST(MarkdownRealDocuments, LibexpectedCodeBlocksVerbatim) {
    CONVERTED_README_OR_SKIP(readme, u"libexpected-dev"_s)
    EXPECT_TRUE(readme->document.text.contains(u"    auto cropped = crop_to_cat(img);\n"_s));
    EXPECT_TRUE(readme->document.text.startsWith(u"expected\nSingle header implementation of std::expected"_s));
}

TEST(MarkdownRealDocuments, GlibAutolinksShowTheirAddresses) {
    CONVERTED_README_OR_SKIP(readme, u"libglib2.0-0"_s)
    EXPECT_TRUE(readme->document.text.contains(u"https://download.gnome.org/sources/glib"_s));
    EXPECT_TRUE(readme->document.text.contains(u"See the file 'INSTALL.md'\n"_s));
}

// Generated from a template: a leading HTML comment, badges that are linked images with wrapped
// alternative texts, HTML blocks around lists of formats written as code.
TEST(MarkdownRealDocuments, PandocBadgesReadAsPlaceholdersAndItsFormatsAsItems) {
    CONVERTED_README_OR_SKIP(readme, u"pandoc"_s)
    const ReadingDocument& document = readme->document;
    EXPECT_TRUE(document.text.startsWith(u"Pandoc\n［画像：github release］［画像：hackage release］"_s));
    const QString item = u"• bibtex (BibTeX bibliography)\n"_s;
    const qsizetype start = document.text.indexOf(item);
    ASSERT_GE(start, 0);
    EXPECT_TRUE(document.spans.contains({Kind::listItem, start, start + item.size(), 1}));
    EXPECT_TRUE(document.spans.contains({Kind::code, start + 2, start + 8, 0}));
    EXPECT_FALSE(document.text.contains(u"<div"_s));
}

}  // namespace
}  // namespace tavrine
