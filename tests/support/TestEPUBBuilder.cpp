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

QByteArray TestEPUBBuilder::build() const {
    RawZipBuilder builder;
    builder.addMimetype();
    for (const auto& [path, content] : m_files) {
        // Names outside ASCII need the UTF-8 flag.
        builder.add({.name = path.toUtf8(),
                     .data = content,
                     .method = 8,
                     .flags = quint16(path.toUtf8() != path.toLatin1() ? 0x0800 : 0)});
    }
    return builder.build().bytes;
}

QByteArray TestEPUBBuilder::container(const QString& packagePath) {
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           u"<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
           u"  <rootfiles><rootfile full-path=\"%1\" media-type=\"application/oebps-package+xml\"/></rootfiles>\n"
           u"</container>\n"_s.arg(packagePath)
               .toUtf8();
}

QByteArray TestEPUBBuilder::packageDocument(const QString& version, const QString& metadata, const QString& manifest,
                                            const QString& spine, const QString& spineAttributes) {
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           u"<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"%1\" unique-identifier=\"uid\">\n"
           u"<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n%2\n</metadata>\n"
           u"<manifest>\n%3\n</manifest>\n<spine%4>\n%5\n</spine>\n</package>\n"_s
               .arg(version, metadata, manifest, spineAttributes.isEmpty() ? QString() : u' ' + spineAttributes, spine)
               .toUtf8();
}

QString TestEPUBBuilder::standardMetadata() {
    return u"<dc:title>試験の本</dc:title>\n"
           u"<dc:creator>作者</dc:creator>\n"
           u"<dc:language>ja</dc:language>\n"
           u"<dc:identifier id=\"uid\">urn:uuid:00000000-0000-4000-8000-000000000000</dc:identifier>"_s;
}

QByteArray TestEPUBBuilder::xhtml(const QString& title, const QString& body) {
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           u"<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\">\n"
           u"<head><title>%1</title></head>\n<body>\n%2\n</body>\n</html>\n"_s.arg(title, body)
               .toUtf8();
}

QByteArray TestEPUBBuilder::navigation(const QList<std::pair<QString, QString>>& entries) {
    QString items;
    for (const auto& [label, href] : entries) items += u"<li><a href=\"%1\">%2</a></li>\n"_s.arg(href, label);
    return xhtml(u"目次"_s, u"<nav epub:type=\"toc\"><ol>\n"_s + items + u"</ol></nav>"_s);
}

}  // namespace tavrine::test
