#pragma once

#include "support/RawZipBuilder.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace tavrine::test {

// A small book assembled in memory. By default it is a valid EPUB 3 book: the stored "mimetype" entry
// first, "META-INF/container.xml" naming "OEBPS/content.opf", a package with Dublin Core metadata, the
// navigation document "OEBPS/nav.xhtml" and one chapter "OEBPS/text/ch1.xhtml". Tests replace or remove
// files to build the book they need; the entries after "mimetype" are deflated.
class TestEPUBBuilder {
public:
    TestEPUBBuilder();

    // Adds or replaces a file (a replaced file keeps its place in the archive).
    TestEPUBBuilder& setFile(const QString& path, QByteArray content);
    TestEPUBBuilder& removeFile(const QString& path);

    QByteArray build() const;
    // The files in archive order, "mimetype" left out.
    const QList<std::pair<QString, QByteArray>>& files() const { return m_files; }

    static constexpr auto kPackagePath = "OEBPS/content.opf";
    static constexpr auto kChapterPath = "OEBPS/text/ch1.xhtml";

    static QByteArray container(const QString& packagePath);
    // A package document; the three sections are written inside their elements as given, and
    // `spineAttributes` (such as toc="ncx") inside the spine's start tag.
    static QByteArray packageDocument(const QString& version, const QString& metadata, const QString& manifest,
                                      const QString& spine, const QString& spineAttributes = {});
    // The Dublin Core metadata of the default book.
    static QString standardMetadata();
    // An XHTML content document with the given body markup.
    static QByteArray xhtml(const QString& title, const QString& body);
    // An EPUB 3 navigation document whose table of contents lists (label, href) pairs.
    static QByteArray navigation(const QList<std::pair<QString, QString>>& entries);

private:
    QList<std::pair<QString, QByteArray>> m_files;
};

}  // namespace tavrine::test
