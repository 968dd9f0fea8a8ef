#include "ReaderEPUB/EPUBXHTMLElements.h"

#include <QHash>

namespace tavrine::EPUBXHTMLElements {
namespace {
using namespace Qt::StringLiterals;

QHash<QString, Rule> makeRules() {
    QHash<QString, Rule> table;
    for (auto name :
         {u"script"_s, u"iframe"_s, u"object"_s, u"embed"_s, u"canvas"_s, u"form"_s, u"input"_s, u"select"_s}) {
        table.insert(name, {Role::unsupported});
    }
    table.insert(u"style"_s, {Role::skipped});
    table.insert(u"head"_s, {Role::skipped});
    for (auto name : {u"rt"_s, u"rp"_s, u"rtc"_s}) table.insert(name, {Role::rubyAnnotation});
    table.insert(u"audio"_s, {Role::media});
    table.insert(u"video"_s, {Role::media});
    table.insert(u"source"_s, {Role::mediaSource});
    table.insert(u"track"_s, {Role::mediaSource});
    table.insert(u"img"_s, {Role::image});
    table.insert(u"br"_s, {Role::lineBreak});
    table.insert(u"hr"_s, {Role::rule});
    table.insert(u"ol"_s, {Role::list});
    table.insert(u"ul"_s, {Role::list});
    table.insert(u"table"_s, {Role::table});
    for (int level = 1; level <= 6; ++level) {
        table.insert(u"h"_s + QString::number(level), {Role::heading, Mark::none, level});
    }
    for (auto name : {u"body"_s, u"section"_s, u"article"_s, u"div"_s, u"li"_s, u"figure"_s, u"tr"_s, u"td"_s, u"th"_s,
                      u"aside"_s, u"header"_s, u"footer"_s, u"address"_s}) {
        table.insert(name, {Role::block});
    }
    for (auto name : {u"p"_s, u"dt"_s, u"dd"_s, u"figcaption"_s}) table.insert(name, {Role::block, Mark::paragraph});
    table.insert(u"blockquote"_s, {Role::block, Mark::quote});
    table.insert(u"pre"_s, {Role::block, Mark::codeBlock});
    for (auto name : {u"code"_s, u"kbd"_s, u"samp"_s}) table.insert(name, {Role::inlineElement, Mark::code});
    table.insert(u"strong"_s, {Role::inlineElement, Mark::strong});
    table.insert(u"b"_s, {Role::inlineElement, Mark::strong});
    table.insert(u"em"_s, {Role::inlineElement, Mark::emphasis});
    table.insert(u"i"_s, {Role::inlineElement, Mark::emphasis});
    table.insert(u"a"_s, {Role::inlineElement, Mark::link});
    return table;
}

}  // namespace

const Rule& ruleFor(const QString& name) {
    static const QHash<QString, Rule> rules = makeRules();
    static const Rule otherElement;
    const auto found = rules.constFind(name);
    return found == rules.constEnd() ? otherElement : *found;
}

}  // namespace tavrine::EPUBXHTMLElements
