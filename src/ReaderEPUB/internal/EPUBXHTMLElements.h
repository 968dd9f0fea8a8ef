#pragma once

#include <QStringView>
#include <QtGlobal>

namespace tavrine::EPUBXHTMLElements {

// What an XHTML element is to the renderer, by its local name. Names are compared exactly: "P" is an
// unknown element, and unknown elements are inline.
enum class Role : quint8 {
    inlineElement,
    block,
    heading,
    unsupported,     // cannot be shown as text: the document fails
    skipped,         // never shown, without a notice
    rubyAnnotation,  // left out; the ruby base stays
    media,           // left out, its fallback content shown
    mediaSource,     // left out
    image,
    lineBreak,
    rule,
    list,
    table,
};

// What a rendered block or inline element records once its content is rendered.
enum class Mark : quint8 { none, paragraph, quote, codeBlock, code, strong, emphasis, link };

struct Rule {
    Role role = Role::inlineElement;
    Mark mark = Mark::none;
    int headingLevel = 0;  // 1 to 6 for h1 to h6
};

// The rule of the element with this local name (in the XHTML namespace).
const Rule& ruleFor(QStringView name);

}  // namespace tavrine::EPUBXHTMLElements
