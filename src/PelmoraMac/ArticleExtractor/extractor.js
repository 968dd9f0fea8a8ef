// The capture extractor: the global object RAVOVodeved with its two functions, each taking HTML and
// returning { status: "ok", text, spans } (a reading document of at most 20,000 UTF-16 units, its
// text ending with a line feed), { status: "noBodyCandidate" } when the HTML holds no text to read,
// { status: "tooLong" } for a longer text, or { status: "htmlTooLarge" } for more than 2,000,000 units
// of HTML. The page HTML is only ever data: nothing in it runs.

import "./polyfills.js";
import Readability from "@mozilla/readability/Readability.js";
import { parseHTMLDocument } from "./html-document.js";
import { convertToReadingDocument } from "./reading-document.js";
import { TextTooLong } from "./reading-text.js";

const TEXT_LIMIT = 20000;
const HTML_LIMIT = 2000000;

function collapse(text) {
  return text.replace(/[\t\n\f\r ]+/g, " ").trim();
}

// Whether the article's first line already says its title: the same words, or one the start of the
// other (a title often carries the site's name, a heading a permalink sign).
function startsWithTitle(text, title) {
  const end = text.indexOf("\n");
  const firstLine = collapse(end < 0 ? text : text.slice(0, end)).replace(/[\s¶#§]+$/, "");
  return firstLine !== "" && (title.startsWith(firstLine) || firstLine.startsWith(title));
}

function withTitle(document, title) {
  title = collapse(title || "");
  if (!title || startsWithTitle(document.text, title)) return document;
  const heading = title + "\n";
  const spans = [{ kind: "heading", start: 0, end: heading.length, level: 1 }];
  for (const span of document.spans) {
    spans.push({ kind: span.kind, start: span.start + heading.length, end: span.end + heading.length, level: span.level });
  }
  return { text: heading + document.text, spans };
}

function answer(convert, html) {
  html = String(html);
  if (html.length > HTML_LIMIT) return { status: "htmlTooLarge" };
  try {
    const document = convert(html);
    if (!document || !/[^\s]/.test(document.text)) return { status: "noBodyCandidate" };
    if (document.text.length > TEXT_LIMIT) return { status: "tooLong" };
    return { status: "ok", text: document.text, spans: document.spans };
  } catch (error) {
    if (error instanceof TextTooLong) return { status: "tooLong" };
    throw error;
  }
}

// Readability asks every element of the page whether it is the article's byline, and reads the element's
// whole text before it looks at the element's names and attributes: on each large container of a large
// page that is the page's text again. The same question, answered the same way, with the text read only
// when the names or attributes make the element a candidate.
Readability.prototype._isValidByline = function (node, matchString) {
  const rel = node.getAttribute("rel");
  const itemprop = node.getAttribute("itemprop");
  if (!(rel === "author" || (itemprop && itemprop.includes("author")) || this.REGEXPS.byline.test(matchString))) {
    return false;
  }
  const bylineLength = node.textContent.trim().length;
  return !!bylineLength && bylineLength < 100;
};

// What Readability reads for the page's markup while the page is kept as its source. Never the markup of
// a page: the parser drops every NUL character of the text.
const PAGE_KEPT_AS_SOURCE = "\u0000page kept as its source";

// Readability keeps a copy of the page's markup before it looks for the article, to start again from it
// when its first look finds too little; writing that copy of a page of 2,000,000 characters costs a
// tenth of the extraction, and few pages ever need it. The page's body keeps the page's source in its
// stead: when Readability starts again, the page is parsed anew and prepared again as Readability
// prepared it before it took the copy (images out of noscript, no scripts, its document preparation).
function keepPageAsSource(page, html) {
  const body = page.body;
  if (!body) return;
  let prototype = Object.getPrototypeOf(body);
  while (prototype && !Object.getOwnPropertyDescriptor(prototype, "innerHTML")) {
    prototype = Object.getPrototypeOf(prototype);
  }
  if (!prototype) return;
  const markup = Object.getOwnPropertyDescriptor(prototype, "innerHTML");
  Object.defineProperty(body, "innerHTML", {
    configurable: true,
    get() {
      return PAGE_KEPT_AS_SOURCE;
    },
    set(value) {
      if (value !== PAGE_KEPT_AS_SOURCE) {
        markup.set.call(this, value);
        return;
      }
      const fresh = parseHTMLDocument(html);
      const preparation = new Readability(fresh);
      preparation._unwrapNoscriptImages(fresh);
      preparation._removeScripts(fresh);
      preparation._prepDocument();
      for (const child of this.childNodes) child.parentNode = null;
      this.childNodes = fresh.body.childNodes;
      this.children = fresh.body.children;
      for (const child of this.childNodes) child.parentNode = this;
    },
  });
}

function articleOf(html) {
  const page = parseHTMLDocument(html);
  keepPageAsSource(page, html);
  const article = new Readability(page, { serializer: (element) => element }).parse();
  if (!article || !article.content) return null;
  return withTitle(convertToReadingDocument(article.content, TEXT_LIMIT), article.title);
}

function fragmentOf(html) {
  return convertToReadingDocument(parseHTMLDocument(html).body, TEXT_LIMIT);
}

// The article of a page, found by Readability.
export function extractArticle(html) {
  return answer(articleOf, html);
}

// The whole of a clipboard fragment, without looking for an article.
export function extractClipboardHTML(html) {
  return answer(fragmentOf, html);
}
