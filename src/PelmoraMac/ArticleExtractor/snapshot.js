// The page script of a browser snapshot. Sent to the browser's active tab followed by a call
// `RSVPSnapshot.snapshot(true)` (page HTML wanted) or `RSVPSnapshot.snapshot(false)`; the value of that
// call, the value of the whole program, is the JSON text of the snapshot:
//   { "status": "ok", "url": the page's address, "documentID": the loaded document's identity,
//     "selection": the text the user has selected in the page, "" when nothing is,
//     "html": the page's HTML, when wanted and nothing is selected }
// or, in place of it:
//   { "status": "protectedField", "url": … } when the focused element is a password field: nothing of
//     the page is read then, whatever is selected in it;
//   { "status": "selectionUnknown", "url": … } when the focus is inside a frame of another origin, whose
//     focused element and selection the page cannot tell;
//   { "status": "tooLong", "url": … } when the selection has more than 20,000 UTF-16 units (the most
//     a selection may hold: it is not shipped, and past a bound it is not even built);
//   { "status": "htmlTooLarge", "url": … } when the HTML is wanted, nothing is selected and it has more
//     than 2,000,000 UTF-16 units (the most the extractor takes: it is not shipped);
//   { "status": "unavailable" } when the page cannot be read.
//
// The selection is the one the user sees: in a focused text field or text area, the part of its value
// between its selection's ends; elsewhere the document's selection as text. Focus is followed through open
// shadow roots and frames of the page's own origin.
//
// It runs in an isolated world of the page's main frame: it shares the document with the page but not
// the page's globals, so the page can neither see it nor replace the built-ins it uses. The document's
// identity is its time origin, which is the same in every world of one document and new with each
// load (a navigation or a reload replaces the document). Declared with var, so that the script can run
// again in the same world.
var RSVPSnapshot = (function () {
  var HTML_LIMIT = 2000000;
  var SELECTION_LIMIT = 20000;
  // Frames and shadow roots followed at most, one inside the other.
  var NESTING_LIMIT = 32;
  // The input types whose value a selection can cover.
  var TEXT_INPUTS = { text: true, search: true, url: true, tel: true };

  // The element's name in lower case, in HTML and XHTML documents alike.
  function nameOf(element) {
    return String(element.localName || "").toLowerCase();
  }

  function inputType(element) {
    return String(element.type || "").toLowerCase();
  }

  function isPasswordField(element) {
    return nameOf(element) === "input" && inputType(element) === "password";
  }

  function isTextControl(element) {
    var name = nameOf(element);
    return name === "textarea" || (name === "input" && TEXT_INPUTS[inputType(element)] === true);
  }

  // The focused element and its document: through open shadow roots and frames of the same origin.
  // No element when the focus is inside a frame whose document this page cannot reach.
  function focus() {
    var doc = document;
    var element = doc.activeElement;
    for (var depth = 0; element && depth < NESTING_LIMIT; depth++) {
      if (element.shadowRoot && element.shadowRoot.activeElement) {
        element = element.shadowRoot.activeElement;
        continue;
      }
      if (nameOf(element) !== "iframe" && nameOf(element) !== "frame") break;
      var inner = null;
      try {
        inner = element.contentDocument;
      } catch (error) {
        inner = null;
      }
      if (!inner) return { reachable: false };
      doc = inner;
      element = inner.activeElement;
    }
    return { reachable: true, document: doc, element: element };
  }

  // The layout's collapsible white space (tab, line feed, form feed, carriage return, space): a run of it
  // may show as one character or none. Every other character of a rendered text node shows in a
  // selection's text.
  var COLLAPSIBLE = { 9: true, 10: true, 12: true, 13: true, 32: true };
  // Elements whose text children are not shown as the page's text: a form control shows its value.
  var UNSHOWN_TEXT = { textarea: true, select: true, option: true, optgroup: true };
  var SHOW_TEXT = 4;

  // How a text node's parent shows its text: 0 not at all (hidden, in a form control), 1 with its white
  // space collapsed, 2 with it kept. Known once per element.
  function showing(element, known) {
    var cached = known.get(element);
    if (cached !== undefined) return cached;
    var how = 0;
    if (element && !UNSHOWN_TEXT[nameOf(element)]) {
      var rendered =
        typeof element.checkVisibility === "function"
          ? element.checkVisibility({ visibilityProperty: true })
          : element.getClientRects().length > 0;
      if (rendered) {
        var view = element.ownerDocument.defaultView || window;
        var style = view.getComputedStyle(element);
        var kept = style.whiteSpaceCollapse === "preserve" || style.whiteSpaceCollapse === "break-spaces" ||
          /^(pre|pre-wrap|break-spaces)$/.test(style.whiteSpace);
        how = kept ? 2 : 1;
      }
    }
    known.set(element, how);
    return how;
  }

  // The characters of data[from, to) that show in a selection's text, counted up to one past `budget`.
  function shownCharacters(data, from, to, how, budget) {
    if (how === 2) return to - from;
    var count = 0;
    for (var index = from; index < to && count <= budget; index++) {
      if (!COLLAPSIBLE[data.charCodeAt(index)]) count++;
    }
    return count;
  }

  // A bound from below of the length of the range's text, counted up to one past `budget` without building
  // the text: that text holds every character of the rendered text nodes the range covers but collapsible
  // white space, so those are counted; text that may not show (hidden, or in a form control) is not.
  function shownLength(range, budget, known) {
    var root = range.commonAncestorContainer;
    if (root.nodeType === 3) {
      var shown = showing(root.parentElement, known);
      return shown === 0 ? 0 : shownCharacters(root.data, range.startOffset, range.endOffset, shown, budget);
    }
    var walker = (root.ownerDocument || root).createTreeWalker(root, SHOW_TEXT);
    var count = 0;
    for (var node = walker.nextNode(); node && count <= budget; node = walker.nextNode()) {
      if (!range.intersectsNode(node)) {
        if (range.comparePoint(node, 0) > 0) break;
        continue;
      }
      var how = showing(node.parentElement, known);
      if (how === 0) continue;
      var from = node === range.startContainer ? range.startOffset : 0;
      var to = node === range.endContainer ? range.endOffset : node.data.length;
      count += shownCharacters(node.data, from, to, how, budget - count);
    }
    return count;
  }

  // The selected text; null when it is longer than SELECTION_LIMIT, which is told before the text is
  // built: building it costs the page time in proportion to what is selected (over a second for millions
  // of characters in nested blocks), while the count stops past the limit.
  function selectedText(focused) {
    var element = focused.element;
    if (element && isTextControl(element)) {
      var start = element.selectionStart;
      var end = element.selectionEnd;
      if (typeof start !== "number" || typeof end !== "number" || end <= start) return "";
      if (end - start > SELECTION_LIMIT) return null;
      return String(element.value).substring(start, end);
    }
    var view = focused.document.defaultView;
    var selection = view && view.getSelection ? view.getSelection() : null;
    if (!selection) return "";
    var known = new Map();
    var count = 0;
    for (var index = 0; index < selection.rangeCount && count <= SELECTION_LIMIT; index++) {
      count += shownLength(selection.getRangeAt(index), SELECTION_LIMIT - count, known);
    }
    if (count > SELECTION_LIMIT) return null;
    return String(selection);
  }

  function snapshot(wantsHTML) {
    try {
      var url = String(location.href);
      var focused = focus();
      if (!focused.reachable) return JSON.stringify({ status: "selectionUnknown", url: url });
      if (focused.element && isPasswordField(focused.element)) {
        return JSON.stringify({ status: "protectedField", url: url });
      }
      var selection = selectedText(focused);
      if (selection === null || selection.length > SELECTION_LIMIT) {
        return JSON.stringify({ status: "tooLong", url: url });
      }
      var result = { status: "ok", url: url, documentID: String(performance.timeOrigin), selection: selection };
      if (wantsHTML && selection.length === 0) {
        var root = document.documentElement;
        var html = root ? String(root.outerHTML) : "";
        if (html.length > HTML_LIMIT) return JSON.stringify({ status: "htmlTooLarge", url: url });
        result.html = html;
      }
      return JSON.stringify(result);
    } catch (error) {
      return JSON.stringify({ status: "unavailable" });
    }
  }

  return { snapshot: snapshot };
})();
