#include "BenchTexts.h"

#include "support/CheckoutPaths.h"

#include <QDir>
#include <QHash>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

#include <zip.h>

#include <array>
#include <memory>
#include <random>

namespace tavrine::bench {
using namespace Qt::StringLiterals;
namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

QByteArray readEntry(zip_t* archive, const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    zip_stat_t stat;
    if (zip_stat(archive, utf8.constData(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) return {};
    zip_file_t* file = zip_fopen(archive, utf8.constData(), 0);
    if (!file) return {};
    QByteArray data(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_fread(file, data.data(), stat.size);
    zip_fclose(file);
    return read == static_cast<zip_int64_t>(stat.size) ? data : QByteArray();
}

QString attribute(const QXmlStreamReader& xml, QLatin1StringView name) {
    return xml.attributes().value(name).toString();
}

// The spine documents of the package, in reading order, as archive entry names.
QStringList spineEntries(zip_t* archive) {
    QXmlStreamReader container(readEntry(archive, u"META-INF/container.xml"_s));
    QString packagePath;
    while (!container.atEnd() && packagePath.isEmpty())
        if (container.readNext() == QXmlStreamReader::StartElement && container.name() == u"rootfile")
            packagePath = attribute(container, "full-path"_L1);
    const QString base = packagePath.contains(u'/') ? packagePath.section(u'/', 0, -2) + u'/' : QString();

    QXmlStreamReader package(readEntry(archive, packagePath));
    QHash<QString, QString> hrefs;
    QStringList spine;
    while (!package.atEnd()) {
        if (package.readNext() != QXmlStreamReader::StartElement) continue;
        if (package.name() == u"item") hrefs.insert(attribute(package, "id"_L1), attribute(package, "href"_L1));
        if (package.name() == u"itemref") spine.append(attribute(package, "idref"_L1));
    }
    QStringList entries;
    for (const QString& id : spine)
        if (hrefs.contains(id)) entries.append(QDir::cleanPath(base + QUrl::fromPercentEncoding(hrefs[id].toUtf8())));
    return entries;
}

bool isBlock(QStringView element) {
    static const QStringList blocks{u"p"_s,  u"div"_s, u"h1"_s, u"h2"_s, u"h3"_s, u"h4"_s,
                                    u"h5"_s, u"h6"_s,  u"li"_s, u"br"_s, u"tr"_s};
    return blocks.contains(element);
}

// The visible text of one XHTML document: source line breaks dropped, one line per block.
QString documentText(const QByteArray& xhtml) {
    QXmlStreamReader xml(xhtml);
    QString text;
    int inBody = 0;
    int inReading = 0;  // inside <rt> or <rp>
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (xml.name() == u"body") ++inBody;
            if (xml.name() == u"rt" || xml.name() == u"rp") ++inReading;
            break;
        case QXmlStreamReader::EndElement:
            if (xml.name() == u"body") --inBody;
            if (xml.name() == u"rt" || xml.name() == u"rp") --inReading;
            if (inBody && isBlock(xml.name()) && !text.endsWith(u'\n')) text += u'\n';
            break;
        case QXmlStreamReader::Characters:
            if (inBody && !inReading) {
                QString run = xml.text().toString();
                run.remove(u'\n');
                if (!run.trimmed().isEmpty()) text += run;
            }
            break;
        default: break;
        }
    }
    return text;
}

}  // namespace

QString kusamakuraText() {
    const QByteArray path = test::inCheckoutEncoded(TAVRINE_SHARED_DATA_DIR "/epub/kusamakura.epub");
    int error = 0;
    Archive archive(zip_open(path.constData(), ZIP_RDONLY, &error));
    if (!archive) return {};
    QString text;
    for (const QString& entry : spineEntries(archive.get())) text += documentText(readEntry(archive.get(), entry));
    return text;
}

QString englishProse(qsizetype length, std::uint32_t seed) {
    static const QStringList nouns{
        u"river"_s,   u"letter"_s,   u"window"_s,  u"garden"_s,   u"morning"_s, u"engine"_s,  u"village"_s,
        u"teacher"_s, u"question"_s, u"market"_s,  u"station"_s,  u"story"_s,   u"painter"_s, u"mountain"_s,
        u"road"_s,    u"library"_s,  u"evening"_s, u"doctor"_s,   u"city"_s,    u"friend"_s,  u"machine"_s,
        u"report"_s,  u"harbour"_s,  u"winter"_s,  u"argument"_s, u"kitchen"_s, u"voice"_s,   u"newspaper"_s};
    static const QStringList verbs{u"saw"_s,      u"carried"_s,   u"found"_s,     u"opened"_s,   u"remembered"_s,
                                   u"followed"_s, u"described"_s, u"crossed"_s,   u"answered"_s, u"painted"_s,
                                   u"repaired"_s, u"watched"_s,   u"explained"_s, u"forgot"_s,   u"wrote"_s};
    static const QStringList adjectives{u"quiet"_s, u"old"_s,     u"narrow"_s,   u"bright"_s, u"careful"_s,
                                        u"long"_s,  u"unusual"_s, u"familiar"_s, u"heavy"_s,  u"distant"_s};
    static const QStringList connectives{u"and"_s, u"but"_s, u"because"_s, u"while"_s, u"although"_s, u"when"_s};
    static const QStringList prepositions{u"in"_s,   u"under"_s,  u"near"_s, u"across"_s,
                                          u"into"_s, u"behind"_s, u"over"_s, u"without"_s};
    static const QStringList subjects{u"she"_s,      u"he"_s,   u"the old man"_s, u"my brother"_s,
                                      u"everyone"_s, u"they"_s, u"the clerk"_s,   u"nobody"_s};
    static const QStringList extras{
        u"read/write"_s,  u"C++"_s,          u"cost+benefit"_s, u"north/south+east"_s, u"https://example.org/notes"_s,
        u"3.5 percent"_s, u"1,200 people"_s, u"input/output"_s};

    std::mt19937 random(seed);
    auto pick = [&](const QStringList& list) {
        return list[std::uniform_int_distribution<qsizetype>(0, list.size() - 1)(random)];
    };
    auto chance = [&](int percent) { return std::uniform_int_distribution<int>(0, 99)(random) < percent; };
    auto phrase = [&] {
        QString p = u"the "_s + (chance(40) ? pick(adjectives) + u' ' : QString()) + pick(nouns);
        if (chance(35)) p += u' ' + pick(prepositions) + u" the "_s + pick(nouns);
        return p;
    };

    QString text;
    text.reserve(length + 512);
    while (text.size() < length) {
        const int sentences = std::uniform_int_distribution<int>(3, 7)(random);
        for (int s = 0; s < sentences; ++s) {
            QString sentence = pick(subjects) + u' ' + pick(verbs) + u' ' + phrase();
            const int clauses = std::uniform_int_distribution<int>(0, 2)(random);
            for (int c = 0; c < clauses; ++c)
                sentence += (chance(50) ? u", "_s : u" "_s) + pick(connectives) + u' ' + pick(subjects) + u' ' +
                            pick(verbs) + u' ' + phrase();
            if (chance(12)) sentence += u", with "_s + pick(extras);
            sentence[0] = sentence[0].toUpper();
            if (chance(10)) {
                text += u'"' + sentence + u"?\" "_s;
            } else {
                text += sentence + (chance(8) ? u"! "_s : u". "_s);
            }
        }
        text.chop(1);
        text += u"\n\n"_s;
    }
    text.truncate(length);
    return text;
}

QString longNewsPage(const QString& title, const QString& head) {
    QString navigation;
    for (int index = 0; index < 150; ++index) {
        navigation += u"<li class=\"nav-item\"><a href=\"/section/"_s + QString::number(index) + u"\">Section "_s +
                      QString::number(index) + u"</a></li>"_s;
    }
    QString menu;
    for (int index = 0; index < 1'200; ++index) {
        menu += u"<li class=\"menu-entry\"><a href=\"/topic/"_s + QString::number(index) + u"\"><span>Topic "_s +
                QString::number(index) + u"</span></a></li>"_s;
    }
    QString article = u"<article><h1>"_s + title.toHtmlEscaped() + u"</h1>"_s;
    const QStringList paragraphs = englishProse(12'000, 11).split(u"\n\n"_s, Qt::SkipEmptyParts);
    for (const QString& paragraph : paragraphs) {
        QStringList words = paragraph.toHtmlEscaped().split(u' ');
        for (qsizetype index = 5; index < words.size(); index += 9) {
            words[index] =
                index % 2 == 0
                    ? QString(u"<a href=\"/notes/"_s + QString::number(index) + u"\">"_s + words[index] + u"</a>"_s)
                    : QString(u"<em>"_s + words[index] + u"</em>"_s);
        }
        article += u"<p>"_s + words.join(u' ') + u"</p>"_s;
    }
    article += u"</article>"_s;
    QString related;
    for (int index = 0; index < 2'000; ++index) {
        related += u"<div class=\"card\"><a href=\"/story/"_s + QString::number(index) +
                   u"\"><span class=\"kicker\">Related</span> <span>Story "_s + QString::number(index) +
                   u"</span></a><p>A teaser.</p></div>"_s;
    }
    return u"<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>"_s + title.toHtmlEscaped() +
           u"</title>"_s + head +
           u"<style>.nav-item,.menu-entry{display:inline-block;margin:0 4px}.card{font-size:12px}</style></head>"
           u"<body><header><nav><ul>"_s +
           navigation + u"</ul></nav><ul class=\"menu\" style=\"display:none\">"_s + menu + u"</ul></header><main>"_s +
           article + u"<aside>"_s + related +
           u"</aside></main><footer><p>Copyright Bench Times</p></footer></body></html>"_s;
}

QString repeatedTo(const QString& text, qsizetype length) {
    if (text.isEmpty()) return {};
    QString result;
    result.reserve(length);
    while (result.size() < length) result += text;
    result.truncate(length);
    if (!result.isEmpty() && result.back().isHighSurrogate()) result.back() = u' ';
    return result;
}

}  // namespace tavrine::bench
