// The two files of the Readability package alone, for capture-bench's comparison of the worker's
// script engine with node: JSDOMParser parses a page, Readability extracts its article.
import "../src/PelmoraMac/ArticleExtractor/polyfills.js";
import JSDOMParser from "@mozilla/readability/JSDOMParser.js";
import Readability from "@mozilla/readability/Readability.js";

// The length of the article's text; -1 without an article, -2 when the package gives up on the page
// (JSDOMParser reads only well-formed markup), which takes the same work in either engine.
export function parseAndExtract(html) {
  try {
    const page = new JSDOMParser().parse(html, "about:blank");
    const article = new Readability(page).parse();
    return article ? article.textContent.length : -1;
  } catch (error) {
    return -2;
  }
}

// What JSDOMParser complained about while parsing the page.
export function parseErrors(html) {
  const parser = new JSDOMParser();
  parser.parse(html, "about:blank");
  return parser.errorState;
}
