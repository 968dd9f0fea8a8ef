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
//     a selection may hold: it is not shipped);
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

  function selectedText(focused) {
    var element = focused.element;
    if (element && isTextControl(element)) {
      var start = element.selectionStart;
      var end = element.selectionEnd;
      if (typeof start !== "number" || typeof end !== "number" || end <= start) return "";
      return String(element.value).substring(start, end);
    }
    var view = focused.document.defaultView;
    var selection = view && view.getSelection ? view.getSelection() : null;
    return selection ? String(selection) : "";
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
      if (selection.length > SELECTION_LIMIT) return JSON.stringify({ status: "tooLong", url: url });
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
