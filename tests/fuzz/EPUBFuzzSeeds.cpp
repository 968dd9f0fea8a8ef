// epub-fuzz-seeds DIR: writes the starting corpus of the EPUB fuzzers, small valid books that between
// them use every layer of the importer: DIR/files holds them in the file-list form, DIR/archive as
// archives.
#include "EPUBFuzzFiles.h"

#include "support/TestEPUBBuilder.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {
using namespace tavrine::test;
using namespace Qt::StringLiterals;

// Lists as DocBook and Sphinx write them, a grid and a flattened table, links and anchors, and the kinds
// of content that are left out or replaced.
const QString kRichBody =
    uR"(<h1 id="top">見出し <em>一</em></h1>
<ol start="3"><li><p>first <a href="#n">link</a></p><ul><li><p id="n">nested</p></li></ul></li><li value="9">two</li></ol>
<table><caption>c</caption><tr><th>h</th><td>d</td></tr><tr><td colspan="2">wide</td></tr></table>
<table><tr><td><p>a</p></td><td/></tr></table>
<blockquote><p>q <b>b</b> <i>i</i> <code>c</code></p></blockquote><pre>  pre
 text</pre><hr/><p>x<br/>y <img alt="map"/><ruby>漢<rt>かん</rt></ruby></p>
<nav epub:type="toc"><p>nav</p></nav><div hidden="">h</div><p xml:lang="ja" epub:type="chapter">&#x3042;</p>)"_s;

TestEPUBBuilder richBook() {
    TestEPUBBuilder book;
    book.setFile(QString::fromLatin1(TestEPUBBuilder::kChapterPath), TestEPUBBuilder::xhtml(u"豊か"_s, kRichBody));
    return book;
}

// An EPUB 2 book: its table of contents in an NCX, its chapter with an XHTML 1.1 document type.
TestEPUBBuilder epub2Book() {
    TestEPUBBuilder book;
    book.setFile(QString::fromLatin1(TestEPUBBuilder::kPackagePath),
                 TestEPUBBuilder::packageDocument(
                     u"2.0"_s, TestEPUBBuilder::standardMetadata(),
                     u"<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
                     u"<item id=\"ch1\" href=\"text/ch1.xhtml\" media-type=\"application/xhtml+xml\"/>"_s,
                     u"<itemref idref=\"ch1\"/>"_s, u"toc=\"ncx\""_s));
    book.removeFile(u"OEBPS/nav.xhtml"_s);
    book.setFile(u"OEBPS/toc.ncx"_s,
                 R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE ncx PUBLIC "-//NISO//DTD ncx 2005-1//EN" "http://www.daisy.org/z3986/2005/ncx-2005-1.dtd">
<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1"><navMap>
<navPoint id="p1"><navLabel><text>One</text></navLabel><content src="text/ch1.xhtml#s"/>
<navPoint id="p2"><navLabel><text>Two</text></navLabel><content src="text/ch1.xhtml"/></navPoint></navPoint>
</navMap></ncx>)");
    book.setFile(QString::fromLatin1(TestEPUBBuilder::kChapterPath),
                 R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.1//EN" "http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd">
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>t</title></head>
<body><p id="s">caf&eacute;&nbsp;&amp; <span>&hellip;</span></p><ul><li><p>item</p></li></ul></body></html>)");
    return book;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: epub-fuzz-seeds DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(u"files"_s) || !dir.mkpath(u"archive"_s)) return 1;
    const std::pair<const char*, TestEPUBBuilder> books[] = {
        {"small", TestEPUBBuilder()}, {"rich", richBook()}, {"epub2", epub2Book()}};
    for (const auto& [name, book] : books) {
        FuzzFiles files;
        for (const auto& [path, content] : book.files()) files.append({path.toUtf8(), content});
        const QString base = QString::fromLatin1(name);
        if (!write(dir.filePath(u"files/"_s + base), fuzzFilesInput(files)) ||
            !write(dir.filePath(u"archive/"_s + base + u".epub"_s), packFuzzFiles(files))) {
            return 1;
        }
    }
    return 0;
}
