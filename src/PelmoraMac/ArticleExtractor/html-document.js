// Parses HTML as a browser would, closely enough for reading, into a document of the DOM that
// Readability works on (JSDOMParser's nodes). That DOM's own parser expects well-formed markup; pages
// and clipboard fragments are not: unquoted and bare attributes, unclosed paragraphs and list items,
// stray end tags, "<" inside scripts, every named character reference of HTML. This parser never
// fails: whatever it cannot read becomes text or is dropped.
//
// It scans with the engine's native string search and sticky regular expressions, a step per tag and
// per attribute rather than per character: in the worker's script engine a loop over characters is
// many times slower than a search.

import JSDOMParser from "@mozilla/readability/JSDOMParser.js";
import { decodeHTML, decodeHTMLAttribute } from "entities/decode";

function setOf(names) {
  const set = Object.create(null);
  for (const name of names.split(" ")) set[name] = true;
  return set;
}

// Elements without content or end tag.
const VOID = setOf(
  "area base basefont bgsound br col embed frame hr image img input keygen link meta param source track wbr"
);
// Elements whose content is text up to their end tag, never markup. Scripts and styles are dropped
// whole (their text is never shown); a JSON-LD script is kept, since Readability reads the article's
// metadata from it.
const RAW_TEXT = setOf("script style xmp iframe noembed noframes noscript");
const ESCAPABLE_RAW_TEXT = setOf("textarea title");
const DROPPED_RAW_TEXT = setOf("style iframe noembed noframes noscript");
// Elements that stay in the head while the body has not started.
const HEAD_CONTENT = setOf("base basefont bgsound link meta noscript script style title");
// Start tags that close an open paragraph.
const CLOSES_PARAGRAPH = setOf(
  "address article aside blockquote center details dialog dir div dl fieldset figcaption figure footer form " +
    "h1 h2 h3 h4 h5 h6 header hgroup hr li listing main menu nav ol p plaintext pre section summary table ul dd dt"
);
const HEADINGS = setOf("h1 h2 h3 h4 h5 h6");
// Elements that an implied end or a search for an open element does not look past.
const SCOPE_BOUNDARIES = setOf("applet caption html table td th marquee object template");
const TABLE_SCOPE = setOf("html table template");
const LIST_BOUNDARIES = setOf("applet caption html table td th marquee object template ol ul");
const TABLE_PARTS = setOf("caption colgroup col thead tbody tfoot tr td th");
// Text right after these start tags loses one leading line feed.
const LEADING_NEWLINE_DROPPED = setOf("pre listing textarea");

// Elements deeper than this are left out, their text joining the element at the limit: nothing
// downstream (Readability's walks, the engine's garbage collector) meets unbounded nesting, and the
// many elements of a hostile page do not pile up as siblings there.
export const MAXIMUM_DEPTH = 512;

const TAG_NAME = /[A-Za-z][^\t\n\f\r />]*/y;
const SPACES = /[\t\n\f\r ]*/y;
const ATTRIBUTE = /([^\t\n\f\r />][^\t\n\f\r />=]*)(?:[\t\n\f\r ]*=[\t\n\f\r ]*(?:"([^"]*)"|'([^']*)'|([^\t\n\f\r >]*)))?/y;
const END_TAG = /<\/([A-Za-z][^\t\n\f\r />]*)[^>]*>/y;
const WHITE_SPACE_ONLY = /^[\t\n\f\r ]*$/;

const rawTextEnds = Object.create(null);
function rawTextEnd(name) {
  return rawTextEnds[name] || (rawTextEnds[name] = new RegExp("</" + name + "[\\t\\n\\f\\r />]", "gi"));
}

function decodeText(text) {
  if (text.indexOf("\0") >= 0) text = text.replace(/\0/g, "");
  return text.indexOf("&") >= 0 ? decodeHTML(text) : text;
}

function matchAt(pattern, html, position) {
  pattern.lastIndex = position;
  return pattern.exec(html);
}

// An anchor without an address is no link, only a place to link to: its content is the text around it.
// Readability counts the text of every anchor as link text, and a browser hands over such an anchor
// written as an empty element ("<a id='x'/>", as XHTML manuals write them) open to the end of its section,
// opened again around each following paragraph: read as a link, the whole section would be left out.
function isPlaceholderAnchor(name, attributes) {
  return name === "a" && !attributes.some((attribute) => attribute[0] === "href");
}

class TreeBuilder {
  constructor(document) {
    this.document = document;
    this.stack = [document.documentElement];
    // The open anchors without an address: they stay on the stack, so that their end tags and the
    // elements that close them match as in a browser, but they are never part of the document, and
    // their content goes to the element around them.
    this.placeholders = new Set();
    // How many elements of each name the stack holds: most searches of the stack then end at once.
    this.openCount = Object.create(null);
    this.inBody = false;
    this.dropLeadingNewline = false;
    this.firstTitle = null;
  }

  get current() {
    return this.stack[this.stack.length - 1];
  }

  // The element that takes content now: the current element, or the nearest one around the open
  // anchors without an address.
  get insertionParent() {
    if (this.placeholders.size === 0) return this.current;
    let index = this.stack.length - 1;
    while (this.placeholders.has(this.stack[index])) --index;
    return this.stack[index];
  }

  startBody() {
    if (this.inBody) return;
    this.inBody = true;
    this.closeFrom(1);
    this.push(this.document.body);
  }

  text(text) {
    if (this.dropLeadingNewline) {
      this.dropLeadingNewline = false;
      if (text.charCodeAt(0) === 10) text = text.slice(1);
    }
    if (!text) return;
    if (!this.inBody) {
      // White space between the head's elements is nothing; other text starts the body.
      if (WHITE_SPACE_ONLY.test(text)) return;
      this.startBody();
    }
    const parent = this.insertionParent;
    const last = parent.lastChild;
    // Adjacent text (split by a dropped comment, say) joins one node, as in a browser.
    if (last && last.nodeType === 3) last.textContent += text;
    else parent.appendChild(this.document.createTextNode(text));
  }

  // Index in the stack of the innermost open element named `name`, searching down to a boundary;
  // -1 when there is none.
  find(name, boundaries) {
    if (!this.openCount[name]) return -1;
    for (let index = this.stack.length - 1; index > 0; --index) {
      const element = this.stack[index];
      if (element.localName === name) return index;
      if (boundaries && boundaries[element.localName]) return -1;
    }
    return -1;
  }

  // Index in the stack of the innermost open anchor with an address, searching down to a boundary; -1
  // when there is none. A new anchor closes such a link, never an anchor without one: a browser hands
  // those over open around lists, list items and links (its own parse having nested them so), and
  // closing one there would close every element opened inside it.
  findLink() {
    if (!this.openCount.a) return -1;
    for (let index = this.stack.length - 1; index > 0; --index) {
      const element = this.stack[index];
      if (element.localName === "a" && !this.placeholders.has(element)) return index;
      if (SCOPE_BOUNDARIES[element.localName]) return -1;
    }
    return -1;
  }

  push(element) {
    this.stack.push(element);
    const name = element.localName;
    this.openCount[name] = (this.openCount[name] || 0) + 1;
  }

  closeFrom(index) {
    if (index <= 0) return;
    while (this.stack.length > index) {
      const element = this.stack.pop();
      --this.openCount[element.localName];
      this.placeholders.delete(element);
    }
  }

  closeImplied(name) {
    if (CLOSES_PARAGRAPH[name]) this.closeFrom(this.find("p", SCOPE_BOUNDARIES));
    if (HEADINGS[name] && HEADINGS[this.current.localName]) this.closeFrom(this.stack.length - 1);
    if (name === "li") this.closeFrom(this.find("li", LIST_BOUNDARIES));
    if (name === "dd" || name === "dt") {
      this.closeFrom(Math.max(this.find("dd", LIST_BOUNDARIES), this.find("dt", LIST_BOUNDARIES)));
    }
    if (name === "a") this.closeFrom(this.findLink());
    if (name === "option") this.closeFrom(this.find("option", SCOPE_BOUNDARIES));
    if (TABLE_PARTS[name]) this.closeTableParts(name);
  }

  // A new cell closes the open cell, a new row the open row, a new row group the open group, each
  // within the innermost table.
  closeTableParts(name) {
    const table = this.find("table", null);
    const within = (part) => {
      const index = this.find(part, TABLE_SCOPE);
      return index > table ? index : -1;
    };
    const closeFirst = (parts) => {
      let lowest = -1;
      for (const part of parts) {
        const index = within(part);
        if (index > 0 && (lowest < 0 || index < lowest)) lowest = index;
      }
      this.closeFrom(lowest);
    };
    if (name === "td" || name === "th") closeFirst(["td", "th"]);
    else if (name === "tr") closeFirst(["tr"]);
    else if (name === "thead" || name === "tbody" || name === "tfoot") closeFirst(["thead", "tbody", "tfoot"]);
    else if (name === "caption" || name === "colgroup") closeFirst(["caption", "colgroup", "thead", "tbody", "tfoot", "tr"]);
  }

  startTag(name, attributes, selfClosing) {
    if (name === "html") {
      for (const [attribute, value] of attributes) {
        if (!this.document.documentElement.hasAttribute(attribute)) {
          this.document.documentElement.setAttribute(attribute, value);
        }
      }
      return null;
    }
    if (name === "head") return null;
    if (name === "body") {
      this.startBody();
      return null;
    }
    if (!this.inBody && !HEAD_CONTENT[name]) this.startBody();
    if (this.inBody) {
      this.closeImplied(name);
      if (this.stack.length >= MAXIMUM_DEPTH) return null;
    }

    const element = this.document.createElement(name);
    for (const [attribute, value] of attributes) {
      // The first of repeated attributes counts.
      if (!element.hasAttribute(attribute)) element.setAttribute(attribute, value);
    }
    const placeholder = isPlaceholderAnchor(name, attributes);
    if (!placeholder) (this.inBody ? this.insertionParent : this.document.head).appendChild(element);
    if (!VOID[name] && !selfClosing && this.inBody) {
      this.push(element);
      if (placeholder) this.placeholders.add(element);
      if (LEADING_NEWLINE_DROPPED[name]) this.dropLeadingNewline = true;
    }
    if (name === "title" && !this.firstTitle) this.firstTitle = element;
    return element;
  }

  endTag(name) {
    if (name === "br") {
      this.startTag("br", [], true);
      return;
    }
    if (name === "body" || name === "html") return;
    if (name === "head") {
      this.startBody();
      return;
    }
    if (!this.inBody || VOID[name]) return;
    const boundaries = TABLE_PARTS[name] || name === "table" ? null : SCOPE_BOUNDARIES;
    this.closeFrom(this.find(name, boundaries));
  }
}

function readAttributes(html, position, attributes) {
  for (;;) {
    position = matchAt(SPACES, html, position)[0].length + position;
    const c = html.charCodeAt(position);
    if (position >= html.length) return { end: -1 };
    if (c === 62 /* > */) return { end: position + 1, selfClosing: false };
    if (c === 47 /* / */) {
      if (html.charCodeAt(position + 1) === 62) return { end: position + 2, selfClosing: true };
      position += 1;
      continue;
    }
    const match = matchAt(ATTRIBUTE, html, position);
    const value = match[2] !== undefined ? match[2] : match[3] !== undefined ? match[3] : match[4];
    attributes.push([
      match[1].toLowerCase(),
      value === undefined ? "" : value.indexOf("&") >= 0 ? decodeHTMLAttribute(value) : value,
    ]);
    position += match[0].length;
  }
}

// The document of `html`: its head and body filled, its title set from the first title element.
export function parseHTMLDocument(html) {
  const document = new JSDOMParser().parse("<html><head></head><body></body></html>", "about:blank");
  const builder = new TreeBuilder(document);
  // The input stream's line breaks are line feeds.
  if (html.indexOf("\r") >= 0) html = html.replace(/\r\n?/g, "\n");

  let position = 0;
  const length = html.length;
  while (position < length) {
    const open = html.indexOf("<", position);
    if (open < 0) {
      builder.text(decodeText(html.slice(position)));
      break;
    }
    if (open > position) builder.text(decodeText(html.slice(position, open)));
    position = open;
    const next = html.charCodeAt(open + 1);

    if ((next >= 65 && next <= 90) || (next >= 97 && next <= 122)) {
      const name = matchAt(TAG_NAME, html, open + 1)[0];
      const attributes = [];
      const tag = readAttributes(html, open + 1 + name.length, attributes);
      // A tag cut off by the end of the input is dropped.
      if (tag.end < 0) break;
      position = tag.end;
      const lowerName = name.toLowerCase();
      if (RAW_TEXT[lowerName] || ESCAPABLE_RAW_TEXT[lowerName]) {
        position = readRawText(html, position, lowerName, attributes, builder);
      } else if (lowerName === "plaintext") {
        builder.startTag("pre", attributes, false);
        builder.text(html.slice(position));
        break;
      } else {
        builder.startTag(lowerName, attributes, tag.selfClosing);
      }
      continue;
    }
    if (next === 47 /* / */) {
      const end = matchAt(END_TAG, html, open);
      if (end) {
        builder.endTag(end[1].toLowerCase());
        position = open + end[0].length;
        continue;
      }
      // "</>" is nothing; any other "</" is a bogus comment up to the next ">".
      const close = html.indexOf(">", open + 2);
      if (close < 0) break;
      position = close + 1;
      continue;
    }
    if (next === 33 /* ! */ && html.startsWith("<!--", open)) {
      if (html.startsWith("<!-->", open)) position = open + 5;
      else if (html.startsWith("<!--->", open)) position = open + 6;
      else {
        const close = html.indexOf("-->", open + 4);
        if (close < 0) break;
        position = close + 3;
      }
      continue;
    }
    if (next === 33 || next === 63 /* ? */) {
      // A document type, a processing instruction, a CDATA section: bogus comments up to ">".
      const close = html.indexOf(">", open + 2);
      if (close < 0) break;
      position = close + 1;
      continue;
    }
    builder.text("<");
    position = open + 1;
  }

  if (builder.firstTitle) document.title = builder.firstTitle.textContent.replace(/[\t\n\f\r ]+/g, " ").trim();
  return document;
}

// Reads the content of a raw-text element up to its end tag (or the end of the input) and returns
// the position after that end tag.
function readRawText(html, position, name, attributes, builder) {
  const pattern = rawTextEnd(name);
  pattern.lastIndex = position;
  const found = pattern.exec(html);
  const contentEnd = found ? found.index : html.length;
  const close = found ? html.indexOf(">", found.index) : -1;
  const after = close < 0 ? html.length : close + 1;

  if (DROPPED_RAW_TEXT[name]) return after;
  if (name === "script") {
    const type = attributes.find((attribute) => attribute[0] === "type");
    if (!type || type[1].trim().toLowerCase() !== "application/ld+json") return after;
  }
  const element = builder.startTag(name, attributes, true);
  let content = html.slice(position, contentEnd);
  if (ESCAPABLE_RAW_TEXT[name]) content = decodeText(content);
  if (name === "textarea" && content.charCodeAt(0) === 10) content = content.slice(1);
  if (element && content) element.appendChild(builder.document.createTextNode(content));
  return after;
}
