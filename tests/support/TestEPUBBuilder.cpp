#include "support/TestEPUBBuilder.h"

namespace tavrine::test {
using namespace Qt::StringLiterals;

TestEPUBBuilder::TestEPUBBuilder() {
    setFile(u"META-INF/container.xml"_s, container(QString::fromLatin1(kPackagePath)));
    setFile(QString::fromLatin1(kPackagePath),
            packageDocument(u"3.0"_s, standardMetadata(),
                            u"<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
                            u"properties=\"nav\"/>\n"
                            u"<item id=\"ch1\" href=\"text/ch1.xhtml\" media-type=\"application/xhtml+xml\"/>"_s,
                            u"<itemref idref=\"ch1\"/>"_s));
    setFile(u"OEBPS/nav.xhtml"_s, navigation({{u"第一章"_s, u"text/ch1.xhtml"_s}}));
    setFile(QString::fromLatin1(kChapterPath), xhtml(u"第一章"_s, u"<h1>第一章</h1>\n<p>吾輩は猫である。</p>"_s));
}

TestEPUBBuilder& TestEPUBBuilder::setFile(const QString& path, QByteArray content) {
    for (auto& file : m_files) {
        if (file.first == path) {
            file.second = std::move(content);
            return *this;
        }
    }
    m_files.append({path, std::move(content)});
    return *this;
}

TestEPUBBuilder& TestEPUBBuilder::removeFile(const QString& path) {
    m_files.removeIf([&](const auto& file) { return file.first == path; });
    return *this;
}

bool TestEPUBBuilder::hasFile(const QString& path) const {
    for (const auto& file : m_files) {
        if (file.first == path) return true;
    }
    return false;
}

RawZipBuilder TestEPUBBuilder::zip() const {
    RawZipBuilder builder;
    builder.addMimetype();
    for (const auto& [path, content] : m_files) {
        RawZipEntry entry;
        entry.name = path.toUtf8();
        entry.data = content;
        entry.method = 8;
        // Names outside ASCII need the UTF-8 flag.
        if (entry.name != path.toLatin1()) entry.flags = 0x0800;
        builder.add(std::move(entry));
    }
    return builder;
}

QByteArray TestEPUBBuilder::container(const QString& packagePath) {
    return (u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            u"<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
            u"  <rootfiles>\n"
            u"    <rootfile full-path=\""_s +
            packagePath +
            u"\" media-type=\"application/oebps-package+xml\"/>\n"
            u"  </rootfiles>\n"
            u"</container>\n"_s)
        .toUtf8();
}

QByteArray TestEPUBBuilder::packageDocument(const QString& version, const QString& metadata, const QString& manifest,
                                            const QString& spine, const QString& spineAttributes) {
    return (u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            u"<package xmlns=\"http://www.idpf.org/2007/opf\" version=\""_s +
            version +
            u"\" unique-identifier=\"uid\">\n"
            u"<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"_s +
            metadata + u"\n</metadata>\n<manifest>\n"_s + manifest + u"\n</manifest>\n<spine"_s +
            (spineAttributes.isEmpty() ? QString() : u' ' + spineAttributes) + u">\n"_s + spine +
            u"\n</spine>\n</package>\n"_s)
        .toUtf8();
}

QString TestEPUBBuilder::standardMetadata() {
    return u"<dc:title>試験の本</dc:title>\n"
           u"<dc:creator>作者</dc:creator>\n"
           u"<dc:language>ja</dc:language>\n"
           u"<dc:identifier id=\"uid\">urn:uuid:00000000-0000-4000-8000-000000000000</dc:identifier>"_s;
}

QByteArray TestEPUBBuilder::xhtml(const QString& title, const QString& body) {
    return (u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            u"<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\">\n"
            u"<head><title>"_s +
            title + u"</title></head>\n<body>\n"_s + body + u"\n</body>\n</html>\n"_s)
        .toUtf8();
}

QByteArray TestEPUBBuilder::navigation(const QList<std::pair<QString, QString>>& entries) {
    QString items;
    for (const auto& [label, href] : entries) items += u"<li><a href=\""_s + href + u"\">"_s + label + u"</a></li>\n"_s;
    return xhtml(u"目次"_s, u"<nav epub:type=\"toc\"><ol>\n"_s + items + u"</ol></nav>"_s);
}

}  // namespace tavrine::test
