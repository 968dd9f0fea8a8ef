// The page script of a browser snapshot. Sent to the browser's active tab followed by a call
// `RSVPSnapshot.snapshot(true)` (page HTML wanted) or `RSVPSnapshot.snapshot(false)`; the value of that
// call, the value of the whole program, is the JSON text of the snapshot:
//   { "status": "ok", "url": the page's address, "documentID": the loaded document's identity,
//     "selection": the text the user has selected in the page, "" when nothing is,
//     "html": the page's HTML, when wanted and nothing is selected }
// or, in place of it:
//   { "status": "protectedField", "url": … } when the focused element is a password field, or a text
//     field or editing host that the page masks (its computed -webkit-text-security is not "none", or its
//     autocomplete names a password), when the document's selection takes in an editing host so masked, or
//     when the focus cannot be followed to its element: nothing of the page is read then, whatever is
//     selected in it;
//   { "status": "noBodyCandidate", "url": … } when the HTML is wanted and the focus is in a text field or
//     editing host with nothing selected: a caret in a field asks for no article;
//   { "status": "tooLong", "url": … } when the selection has more than 20,000 UTF-16 units (the most
//     a selection may hold: it is not shipped, and past a bound it is not even built);
//   { "status": "htmlTooLarge", "url": … } when the HTML is wanted, nothing is selected and it has more
//     than 2,000,000 UTF-16 units (the most the extractor takes: it is not shipped);
//   { "status": "unavailable" } when the page cannot be read.
//
// The selection is the one the user sees: in a focused text field or text area, the part of its value
// between its selection's ends; elsewhere the document's selection as text. Called alone, the script
// follows the focus through open shadow roots and frames of the page's own origin, at most 32 of them one
// inside the other; a focus it cannot follow (a frame of another origin, deeper nesting) is refused.
//
// The browser's side goes further, since it sees what the page's script cannot (closed shadow roots,
// frames of other origins, each with a world of its own), in three steps:
//   `RSVPSnapshot.focus(start, budget)`: the element where the focus ends, followed from `start` (a
//     shadow root; the document when none) through at most `budget` levels; null when nothing in `start`
//     has the focus, the string "tooDeep" when the focus goes deeper. `RSVPSnapshot.levels()` tells how
//     many levels the last call followed;
//   `RSVPSnapshot.read(element)`, in the world of the element's frame: what the focused element (or, with
//     none, the document) gives: { status: "ok" | "protectedField" | "tooLong", selection, textInput };
//   `RSVPSnapshot.snapshot(wantsHTML, reading)`, in the main frame's world: the snapshot, with that reading.
//
// It runs in isolated worlds (the main frame's, and a frame's of its own): they share the document with the
// page but not the page's globals, so the page can neither see it nor replace the built-ins it uses. The
// document's identity is its time origin, which is the same in every world of one document and new with
// each load (a navigation or a reload replaces the document). Declared with var, so that the script can run
// again in the same world.
var RSVPSnapshot = (function () {
  var HTML_LIMIT = 2000000;
  var SELECTION_LIMIT = 20000;
  // Frames and shadow roots followed at most, one inside the other.
  var NESTING_LIMIT = 32;
  // The input types whose value a selection can cover.
  var TEXT_INPUTS = { text: true, search: true, url: true, tel: true };
  // The input types in which a person types text (a caret stands in them).
  var TYPED_INPUTS = { text: true, search: true, url: true, tel: true, email: true, number: true, password: true };
  // The autocomplete tokens of a field that holds a password.
  var PASSWORD_TOKENS = { "current-password": true, "new-password": true };
  // The elements whose document is a frame's.
  var FRAME_OWNERS = { iframe: true, frame: true };
  var followedLevels = 0;

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

  // A field a person types in: a text area, a text input of any kind, an editing host.
  function isTextInput(element) {
    var name = nameOf(element);
    if (name === "textarea" || (name === "input" && TYPED_INPUTS[inputType(element) || "text"] === true)) return true;
    return element.isContentEditable === true;
  }

  function attribute(element, name) {
    return typeof element.getAttribute === "function" ? element.getAttribute(name) : null;
  }

  // A field whose text the page hides as it hides a password's: drawn masked, or marked as a password.
  function isMasked(element) {
    var name = nameOf(element);
    if (name !== "input" && name !== "textarea" && element.isContentEditable !== true) return false;
    var tokens = String(attribute(element, "autocomplete") || "").toLowerCase().split(/\s+/);
    for (var index = 0; index < tokens.length; index++) {
      if (PASSWORD_TOKENS[tokens[index]] === true) return true;
    }
    var view = element.ownerDocument && element.ownerDocument.defaultView;
    var computed = view && typeof view.getComputedStyle === "function" ? view.getComputedStyle(element) : null;
    var security = computed ? String(computed.getPropertyValue("-webkit-text-security") || "none") : "none";
    return security !== "none";
  }

  function isProtected(element) {
    return isPasswordField(element) || isMasked(element);
  }

  // The document of a frame owner that this world can enter; null for one of another origin (or none).
  function frameDocument(element) {
    try {
      return element.contentDocument || null;
    } catch (error) {
      return null;
    }
  }

  // The element that has the focus, from `start` (a shadow root; the document when none) on, through open
  // shadow roots and frames of this origin: { reachable, element, document }. Not reachable past `budget`
  // levels (then without an element), nor at a frame this world cannot enter (then with the frame's element).
  function walk(start, budget) {
    var doc = start ? start.ownerDocument : document;
    var element = (start || doc).activeElement;
    for (followedLevels = 0; element; followedLevels++) {
      var root = element.shadowRoot;
      var inner = null;
      if (!root || !root.activeElement) {
        if (FRAME_OWNERS[nameOf(element)] !== true) break;
        inner = frameDocument(element);
        if (!inner) return { reachable: false, element: element, document: doc };
      }
      if (followedLevels >= budget) return { reachable: false, element: null, document: doc };
      if (inner) {
        doc = inner;
        element = inner.activeElement;
      } else {
        element = root.activeElement;
      }
    }
    return { reachable: true, element: element, document: doc };
  }

  function focus(start, budget) {
    var focused = walk(start, typeof budget === "number" ? budget : NESTING_LIMIT);
    if (!focused.reachable && !focused.element) return "tooDeep";
    return focused.element || null;
  }

  function levels() {
    return followedLevels;
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

  // Whether the document's selection takes in an editing host that the page masks: its text would be read
  // in the clear with the rest.
  function coversMaskedHost(doc) {
    var view = doc.defaultView;
    var selection = view && view.getSelection ? view.getSelection() : null;
    if (!selection || selection.isCollapsed !== false || typeof doc.querySelectorAll !== "function") return false;
    var hosts = doc.querySelectorAll("[contenteditable]");
    for (var index = 0; index < hosts.length; index++) {
      if (hosts[index].isContentEditable && selection.containsNode(hosts[index], true) && isMasked(hosts[index])) {
        return true;
      }
    }
    return false;
  }

  // What the focused element gives, read in its own frame's world; with no element, the document's
  // selection.
  function readFocused(focused) {
    var element = focused.element;
    if (element && isProtected(element)) return { status: "protectedField" };
    if (!(element && isTextControl(element)) && coversMaskedHost(focused.document)) return { status: "protectedField" };
    var selection = selectedText(focused);
    if (selection === null || selection.length > SELECTION_LIMIT) return { status: "tooLong" };
    return { status: "ok", selection: selection, textInput: element ? isTextInput(element) : false };
  }

  function read(element) {
    return readFocused({ element: element || null, document: element ? element.ownerDocument : document });
  }

  function snapshot(wantsHTML, reading) {
    try {
      var url = String(location.href);
      if (reading === undefined) {
        var focused = walk(null, NESTING_LIMIT);
        reading = focused.reachable ? readFocused(focused) : { status: "protectedField" };
      }
      if (!reading || reading.status !== "ok") {
        return JSON.stringify({ status: reading ? String(reading.status) : "unavailable", url: url });
      }
      var selection = String(reading.selection);
      if (selection.length > SELECTION_LIMIT) return JSON.stringify({ status: "tooLong", url: url });
      if (wantsHTML && selection.length === 0 && reading.textInput === true) {
        return JSON.stringify({ status: "noBodyCandidate", url: url });
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

  return { snapshot: snapshot, focus: focus, levels: levels, read: read };
})();
