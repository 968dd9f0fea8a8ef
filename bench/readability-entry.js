// The two files of the Readability package alone, for capture-bench's comparison of the worker's
// script engine with node: JSDOMParser parses a page, Readability extracts its article.
import "../src/PelmoraMac/ArticleExtractor/polyfills.js";
import JSDOMParser from "@mozilla/readability/JSDOMParser.js";
import Readability from "@mozilla/readability/Readability.js";

// The length of the article's text, or -1 without one.
export function parseAndExtract(html) {
  const page = new JSDOMParser().parse(html, "about:blank");
  const article = new Readability(page).parse();
  return article ? article.textContent.length : -1;
}
