#pragma once

#include <QList>
#include <QString>

namespace tavrine::test {

// A chapter of a manual as DocBook's XSL stylesheets write it in XHTML: navigation tables above and
// below, the chapter's title and one section per entry of `paragraphs` (that many paragraphs each,
// every one with a link), each title preceded by an empty anchor written "<a id='…'/>".
//
// `asBrowserHandsItOver`: the same page as a browser serialises it after parsing it as HTML, where
// "<a id='…'/>" is an anchor left open: it ends only at the next anchor, and is opened again around
// each paragraph's text and after each link. Sections of uneven length matter: with sections alike, an
// extractor that drops the anchors' text may still keep their common parent whole.
inline QString docBookChapter(const QList<int>& paragraphs, bool asBrowserHandsItOver) {
    // A title after its empty anchor; in the browser's serialisation, the anchor holds the title.
    const auto titled = [&](const QString& id, const QString& title) {
        return asBrowserHandsItOver ? QStringLiteral("<a id=\"%1\">%2</a>").arg(id, title)
                                    : QStringLiteral("<a id=\"%1\"/>%2").arg(id, title);
    };
    // Text after a title's anchor: the browser opens that anchor again around it.
    const auto anchored = [&](const QString& id, const QString& text) {
        return asBrowserHandsItOver ? QStringLiteral("<a id=\"%1\">%2</a>").arg(id, text) : text;
    };
    const QString navigation = QStringLiteral(
        "<table width=\"100%\" summary=\"Navigation\"><tr><td><a accesskey=\"p\" href=\"ch02.html\">"
        "Prev</a></td><th>Chapter 3. Tools</th><td><a accesskey=\"n\" href=\"ch04.html\">Next</a>"
        "</td></tr></table>");
    QString page = QStringLiteral(
                       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<!DOCTYPE html PUBLIC "
                       "\"-//W3C//DTD XHTML 1.1//EN\" \"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n"
                       "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><meta charset=\"utf-8\"/><title>Chapter 3. "
                       "Tools</title></head><body><div class=\"navheader\">") +
                   navigation +
                   QStringLiteral(
                       "<hr/></div><div class=\"chapter\"><div class=\"titlepage\"><div><div>"
                       "<h1 class=\"title\">") +
                   titled(QStringLiteral("tools"), QStringLiteral("Chapter 3. Tools")) +
                   QStringLiteral("</h1></div></div></div><p>") +
                   anchored(QStringLiteral("tools"),
                            QStringLiteral("This chapter describes the tools of the package, each in a section.")) +
                   QStringLiteral("</p>");
    for (qsizetype section = 0; section < paragraphs.size(); ++section) {
        const QString id = QStringLiteral("section-%1").arg(section + 1);
        const QString number = QStringLiteral("3.%1").arg(section + 1);
        page += QStringLiteral("<div class=\"section\"><div class=\"titlepage\"><div><div><h2 class=\"title\">") +
                titled(id, number + QStringLiteral(". The tool of section ") + number) +
                QStringLiteral("</h2></div></div></div>");
        for (int paragraph = 1; paragraph <= paragraphs[section]; ++paragraph) {
            const QString words = QStringLiteral(
                                      "Paragraph %1 of section %2 tells how tool%2 reads setting%1, "
                                      "with clauses, commas and the ")
                                      .arg(paragraph)
                                      .arg(number);
            page += QStringLiteral("<p>") + anchored(id, words) +
                    QStringLiteral("<a class=\"ulink\" href=\"https://example.org/%1/%2\">reference manual</a>")
                        .arg(number)
                        .arg(paragraph) +
                    anchored(id, QStringLiteral(", so that it reads as the prose of a manual and not as a list of "
                                                "links, which a reader would skip.")) +
                    QStringLiteral("</p>");
        }
        page += QStringLiteral("</div>");
    }
    return page + QStringLiteral("</div><div class=\"navfooter\"><hr/>") + navigation +
           QStringLiteral("</div></body></html>");
}

// A chapter of steps as DocBook's stylesheets write it: per section, a title after its empty anchor, an
// ordered list whose items hold an itemized list with a nested one whose last item has a link, and a
// table with an empty anchor before it and one in a cell. Parsed as HTML, a browser keeps the anchors
// open and hands them over around the lists, directly inside them and around their items.
inline QString docBookListChapter(int sections) {
    QString page = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML "
        "1.1//EN\" \"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n<html xmlns=\"http://www.w3.org/1999/xhtml\">"
        "<head><meta charset=\"utf-8\"/><title>Chapter 4. Steps</title></head><body><div class=\"navheader\"><table "
        "width=\"100%\" summary=\"Navigation\"><tr><td><a accesskey=\"p\" href=\"ch03.html\">Prev</a></td><th>Chapter "
        "4. Steps</th><td><a accesskey=\"n\" href=\"ch05.html\">Next</a></td></tr></table><hr/></div><div "
        "class=\"chapter\"><div class=\"titlepage\"><div><div><h1 class=\"title\"><a id=\"steps\"/>Chapter 4. "
        "Steps</h1></div></div></div><p>This chapter lists the steps of each task, in order.</p>\n");
    for (int section = 1; section <= sections; ++section) {
        const QString s = QString::number(section);
        page += QStringLiteral(
                    "<div class=\"section\"><div class=\"titlepage\"><div><div><h2 class=\"title\"><a "
                    "id=\"task-%1\"/>4.%1. Task %1</h2></div></div></div><p>Task %1 is done in the steps below, each "
                    "with its own details, and none of them may be skipped.</p>\n<div class=\"orderedlist\"><ol "
                    "class=\"orderedlist\" type=\"1\">")
                    .arg(s);
        for (int item = 1; item <= 3; ++item) {
            page += QStringLiteral(
                        "<li class=\"listitem\"><p>Step %2 of task %1 prepares what the next step needs, with "
                        "care.</p>\n<div class=\"itemizedlist\"><ul class=\"itemizedlist\"><li class=\"listitem\"><p>"
                        "Detail %2.1 of task %1 tells what to check first.</p>\n<div class=\"itemizedlist\"><ul "
                        "class=\"itemizedlist\"><li class=\"listitem\"><p>Point %2.1.1 of task %1 is the first thing "
                        "to look at.</p></li><li class=\"listitem\"><p>Point %2.1.2 of task %1 is explained in <a "
                        "class=\"ulink\" href=\"https://example.org/%1/%2\">the reference</a>.</p></li></ul></div>\n"
                        "</li></ul></div>\n</li>")
                        .arg(s, QString::number(item));
        }
        page += QStringLiteral(
                    "</ol></div>\n<div class=\"table\"><a id=\"table-%1\"/><p class=\"title\"><b>Table 4.%1. Settings "
                    "of task %1</b></p><div class=\"table-contents\"><table class=\"table\" summary=\"Settings\" "
                    "border=\"1\"><tr><th>Setting</th><th>Meaning</th></tr><tr><td><a id=\"setting-%1\"/>setting%1"
                    "</td><td>What task %1 reads first, <a class=\"ulink\" href=\"https://example.org/s/%1\">"
                    "documented here</a>.</td></tr></table></div></div><br class=\"table-break\"/><p>After the table, "
                    "task %1 ends with this closing remark about its steps.</p></div>\n")
                    .arg(s);
    }
    return page + QStringLiteral("</div><div class=\"navfooter\"><hr/></div></body></html>");
}

}  // namespace tavrine::test
