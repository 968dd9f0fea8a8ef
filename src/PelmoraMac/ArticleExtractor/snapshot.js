// The page script of a browser snapshot. Sent to the browser's active tab followed by a call
// `RSVPSnapshot.snapshot(true)` (page HTML wanted) or `RSVPSnapshot.snapshot(false)`; the value of that
// call, the value of the whole program, is the JSON text of the snapshot:
//   { "status": "ok", "url": the page's address, "documentID": the loaded document's identity,
//     "selection": the text the user has selected in the page, "" when nothing is,
//     "html": the page's HTML, when wanted and nothing is selected }
// or, in place of it:
//   { "status": "protectedField", "url": … } when the focused element is a password field, or a text
//     field or editing host that the page masks (its computed -webkit-text-security is not "none", or its
//     autocomplete names a password), when the document's selection takes in an editing host whose
//     autocomplete names a password, when the selection holds nothing but text the page masks, or when the
//     focus cannot be followed to its element: nothing of the page is read then, whatever is selected in it;
//   { "status": "noBodyCandidate", "url": … } when the HTML is wanted and the focus is in a text field or
//     editing host with nothing selected: a caret in a field asks for no article;
//   { "status": "tooLong", "url": … } when the selection has more than 20,000 UTF-16 units (the most
//     a selection may hold: it is not shipped, and past a bound it is not even built);
//   { "status": "htmlTooLarge", "url": … } when the HTML is wanted, nothing is selected and it has more
//     than 2,000,000 UTF-16 units (the most the extractor takes: it is not shipped);
//   { "status": "unavailable" } when the page cannot be read.
//
// The selection is the one the user sees: in a focused text field or text area, the part of its value
// between its selection's ends; elsewhere the document's selection as text, each block of the page (a
// heading, a paragraph, a <div>, a list item, a table row) apart from the next by a blank line, each line
// that a <br> or preformatted text ends a line, and the items a flex or grid line draws side by side in
// one line. Called alone, the script
// follows the focus through open shadow roots and frames of the page's own origin, at most 32 of them one
// inside the other; a focus it cannot follow (a frame of another origin, deeper nesting) is refused.
//
// Nothing the page masks is read, and everything it shows in the clear is, every character of it. The browser
// gives masked text in a selection as the character it draws in its place (a bullet, white bullet or square
// for -webkit-text-security's disc, circle and square), one per grapheme of the text: such runs are left
// out, each where the masked text stands, found by counting these characters in the text shown in the clear
// around it, so that the same characters written in the page stay. Where the selection's text holds more of
// them than the page's text accounts for (text masked where this script cannot see, slotted into a closed
// shadow root), none of them can be told for the page's own: every one is left out then, as over the
// accessibility bus. The HTML carries neither the text of an element
// whose computed -webkit-text-security is not "none" (its own or inherited), nor text slotted into an open
// shadow root where it is drawn masked, nor the value written into a password field, a field drawn masked
// or one whose autocomplete names a password, nor the text of a text area or editing host so named, nor the
// source written into a frame (srcdoc), which may hold any of these.
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
  // What the browser draws in place of each character of masked text, by the computed
  // -webkit-text-security that masks it.
  var MASK_CHARACTERS = { disc: "\u2022", circle: "\u25E6", square: "\u25A0" };
  // Every character the browser draws in place of masked text.
  var DRAWN_MASK = /[\u2022\u25E6\u25A0]/g;
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

  function namesPassword(element) {
    var tokens = String(attribute(element, "autocomplete") || "").toLowerCase().split(/\s+/);
    for (var index = 0; index < tokens.length; index++) {
      if (PASSWORD_TOKENS[tokens[index]] === true) return true;
    }
    return false;
  }

  // How the page draws the element's text: "none" in the clear, else the masking it draws in its place
  // ("disc", "circle", "square").
  function securityOf(element) {
    var view = element.ownerDocument && element.ownerDocument.defaultView;
    var computed = view && typeof view.getComputedStyle === "function" ? view.getComputedStyle(element) : null;
    return computed ? String(computed.getPropertyValue("-webkit-text-security") || "none") : "none";
  }

  // A field whose text the page hides as it hides a password's: drawn masked, or marked as a password.
  function isMasked(element) {
    var name = nameOf(element);
    if (name !== "input" && name !== "textarea" && element.isContentEditable !== true) return false;
    return namesPassword(element) || securityOf(element) !== "none";
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
  var SHOW_ELEMENT = 1;

  // How a text node shows: not at all (how 0: hidden, in a form control), with its white space collapsed (1)
  // or kept (2); and the masking character drawn in place of each of its characters ("" for none). Its style
  // is its parent's, or that of the slot of an open shadow root that shows it. Known once per parent or slot.
  var HIDDEN = { how: 0, mask: "" };
  function showing(node, known) {
    var element = node.parentElement;
    var slot = element && element.shadowRoot ? node.assignedSlot : null;
    // A shadow host's own text shows only through a slot.
    if (element && element.shadowRoot && !slot) return HIDDEN;
    var source = slot || element;
    var cached = known.get(source);
    if (cached !== undefined) return cached;
    var shown = HIDDEN;
    if (element && !UNSHOWN_TEXT[nameOf(element)]) {
      var rendered =
        typeof element.checkVisibility === "function"
          ? element.checkVisibility({ visibilityProperty: true })
          : element.getClientRects().length > 0;
      if (rendered) {
        var view = element.ownerDocument.defaultView || window;
        var style = view.getComputedStyle(source);
        var kept = style.whiteSpaceCollapse === "preserve" || style.whiteSpaceCollapse === "break-spaces" ||
          /^(pre|pre-wrap|break-spaces)$/.test(style.whiteSpace);
        var security = String(style.getPropertyValue("-webkit-text-security") || "none");
        shown = { how: kept ? 2 : 1, mask: security === "none" ? "" : MASK_CHARACTERS[security] || "\u2022" };
      }
    }
    known.set(source, shown);
    return shown;
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

  // How many masking characters a masked part of a text node shows: one per grapheme, as the browser draws
  // them; none for white space that does not show (between blocks).
  var graphemes = typeof Intl === "object" && typeof Intl.Segmenter === "function"
    ? new Intl.Segmenter(undefined, { granularity: "grapheme" })
    : null;
  function maskedLength(node, from, to) {
    var data = node.data.substring(from, to);
    if (!/\S/.test(data)) {
      var whole = node.ownerDocument.createRange();
      whole.selectNodeContents(node);
      if (whole.getClientRects().length === 0) return 0;
    }
    if (!graphemes) return Array.from(data).length;
    var count = 0;
    var segments = graphemes.segment(data)[Symbol.iterator]();
    while (!segments.next().done) count++;
    return count;
  }

  function drawnMasksIn(data) {
    var found = data.match(DRAWN_MASK);
    return found ? found.length : 0;
  }

  // A bound from below of the length of the range's text, counted up to one past `budget` without building
  // the text: that text holds every character of the rendered text nodes the range covers but collapsible
  // white space, so those are counted; text that may not show (hidden, or in a form control) is not, nor
  // masked text, which is left out of it. Each shown node adds to `parts`, in the order of the text: a masked
  // one its masking character and how many it shows, one in the clear how many masking characters it holds.
  function shownLength(range, budget, known, parts) {
    var root = range.commonAncestorContainer;
    var walker = root.nodeType === 3 ? null : (root.ownerDocument || root).createTreeWalker(root, SHOW_TEXT);
    var next = function () {
      return walker ? walker.nextNode() : null;
    };
    var count = 0;
    for (var node = walker ? next() : root; node && count <= budget; node = next()) {
      if (walker && !range.intersectsNode(node)) {
        if (range.comparePoint(node, 0) > 0) break;
        continue;
      }
      var shown = showing(node, known);
      if (shown.how === 0) continue;
      var from = node === range.startContainer ? range.startOffset : 0;
      var to = node === range.endContainer ? range.endOffset : node.data.length;
      if (shown.mask) {
        parts.push({ mask: shown.mask, length: maskedLength(node, from, to) });
        continue;
      }
      parts.push({ mask: "", length: drawnMasksIn(node.data.substring(from, to)) });
      count += shownCharacters(node.data, from, to, shown.how, budget - count);
    }
    return count;
  }

  // Where the masked parts of `parts` stand in the selection's text: [start, end) of each run, found by
  // passing, before each, the masking characters that the parts in the clear before it hold. Null when the
  // text does not hold the runs, or holds masking characters the parts do not account for.
  function maskedRuns(text, parts) {
    var runs = [];
    var at = 0;
    var pending = 0;
    var nextDrawn = function () {
      DRAWN_MASK.lastIndex = at;
      var found = DRAWN_MASK.exec(text);
      return found ? found.index : -1;
    };
    for (var index = 0; index < parts.length; index++) {
      var part = parts[index];
      if (!part.mask) {
        pending += part.length;
        continue;
      }
      if (part.length === 0) continue;
      for (; pending > 0; pending--) {
        at = nextDrawn();
        if (at < 0) return null;
        at++;
      }
      var start = nextDrawn();
      if (start < 0 || start + part.length > text.length) return null;
      for (var offset = start; offset < start + part.length; offset++) {
        if (text.charAt(offset) !== part.mask) return null;
      }
      runs.push([start, start + part.length]);
      at = start + part.length;
    }
    var rest = drawnMasksIn(text.substring(at));
    return rest === pending ? runs : null;
  }

  // Every masking character of the text, as runs.
  function everyDrawnMask(text) {
    var runs = [];
    DRAWN_MASK.lastIndex = 0;
    for (var found = DRAWN_MASK.exec(text); found; found = DRAWN_MASK.exec(text)) {
      runs.push([found.index, found.index + 1]);
    }
    return runs;
  }

  // The text without the runs (in the order of the text). White space around a run left out becomes one
  // space inside a line and nothing at its ends; runs with only white space between them are one.
  function withoutRuns(text, runs) {
    var blank = function (character) {
      return character === " " || character === "\t";
    };
    var lineEnd = function (character) {
      return character === "\n" || character === "\r";
    };
    var kept = "";
    var at = 0;
    for (var index = 0; index < runs.length; index++) {
      var start = runs[index][0];
      var end = runs[index][1];
      while (index + 1 < runs.length && /^[ \t]*$/.test(text.substring(end, runs[index + 1][0]))) {
        end = runs[++index][1];
      }
      var from = start;
      while (from > at && blank(text.charAt(from - 1))) from--;
      var to = end;
      while (to < text.length && blank(text.charAt(to))) to++;
      var before = from > 0 ? text.charAt(from - 1) : "\n";
      var after = to < text.length ? text.charAt(to) : "\n";
      kept += text.substring(at, from);
      if ((from < start || to > end) && !lineEnd(before) && !lineEnd(after)) kept += " ";
      at = to;
    }
    return kept + text.substring(at);
  }

  // White space in a selection's text: what the layout collapses, and the no-break space, which a selection's
  // text may give as a space.
  function spaceLike(character) {
    return character === " " || character === "\t" || character === "\n" || character === "\r" ||
      character === "\f" || character === "\u00A0";
  }

  // The parts of a ruby annotation, which stay in the line they annotate whatever display they are given.
  var RUBY_PARTS = { ruby: true, rb: true, rt: true, rp: true, rtc: true };

  // Whether a container lays its children out in its own line: a grid, or a flex container in a row.
  function laysOutInLine(style) {
    var display = String(style.display);
    if (display.indexOf("grid") >= 0) return true;
    return display.indexOf("flex") >= 0 && String(style.flexDirection).indexOf("column") < 0;
  }

  // The block whose lines an element's text is shown in: the nearest element from `element` up whose display
  // is neither inline-level, ruby nor "contents", and that is no item of a flex row or a grid, whatever
  // display the browser gives such an item. Known once per element, in `blocks`; each element's style is
  // read once, in `styles`.
  function blockOf(element, blocks, styles) {
    var styleOf = function (at) {
      var style = styles.get(at);
      if (style === undefined) {
        var computed = (at.ownerDocument.defaultView || window).getComputedStyle(at);
        style = { display: String(computed.display), inLine: laysOutInLine(computed) };
        styles.set(at, style);
      }
      return style;
    };
    var path = [];
    var found = null;
    for (var at = element; at; ) {
      var known = blocks.get(at);
      if (known !== undefined) {
        found = known;
        break;
      }
      path.push(at);
      var parent = at.parentElement || (at.parentNode && at.parentNode.host) || null;
      var inLine = /^(inline|ruby|contents)/.test(styleOf(at).display) || RUBY_PARTS[nameOf(at)] === true ||
        (parent !== null && styleOf(parent).inLine);
      if (!inLine) {
        found = at;
        break;
      }
      at = parent;
    }
    for (var index = 0; index < path.length; index++) blocks.set(path[index], found);
    return found;
  }

  // Whether two characters of text nodes (each a node and an offset) are drawn side by side in one line, with
  // no more room between them than a quarter of their height: two items of a flex row, say, that the
  // browser's text parts with a line feed.
  function sideBySide(before, after) {
    var rectOf = function (place) {
      var range = place.node.ownerDocument.createRange();
      range.setStart(place.node, place.offset);
      range.setEnd(place.node, place.offset + 1);
      return range.getBoundingClientRect();
    };
    var left = rectOf(before);
    var right = rectOf(after);
    var height = Math.min(left.height, right.height);
    if (!(height > 0)) return false;
    var sameLine = Math.abs((left.top + left.bottom) / 2 - (right.top + right.bottom) / 2) < height / 2;
    var gap = right.left - left.right;
    return sameLine && gap > -height / 4 && gap < height / 4;
  }

  // The selection's text with the page's blocks and lines as the page shows them. Where the browser ends a
  // heading, a <div>, a list item or a table row with one line feed (a paragraph with two), a second is added,
  // so that each block is a paragraph; a line that a <br> or preformatted text ends keeps its one; and a line
  // feed the browser puts between two items that one line of a flex container or a grid draws side by side
  // (a <b> in a flex paragraph) is taken out. The text is followed node by node, each shown text node's
  // characters found in it in order, to tell what stands between two of them; where the text and the nodes
  // part ways (a transformed case, text of a shadow tree), the text is given back as it is.
  function withBlocksApart(text, selection, known) {
    var blocks = new Map();
    var styles = new Map();
    // Line feeds to double (1) or to take out (0), at their places in the text, in order.
    var edits = [];
    var at = 0;
    // The block of the last text node followed, where its last character stands, and whether a <br> came
    // after it.
    var previous = null;
    var previousEnd = null;
    var broken = false;
    for (var index = 0; index < selection.rangeCount; index++) {
      var range = selection.getRangeAt(index);
      var root = range.commonAncestorContainer;
      var walker =
        root.nodeType === 3 ? null : (root.ownerDocument || root).createTreeWalker(root, SHOW_TEXT | SHOW_ELEMENT);
      for (var node = walker ? walker.nextNode() : root; node; node = walker ? walker.nextNode() : null) {
        // Of the elements, only a <br> counts.
        if (node.nodeType === 1 && nameOf(node) !== "br") continue;
        if (walker && !range.intersectsNode(node)) {
          if (range.comparePoint(node, 0) > 0) break;
          continue;
        }
        if (node.nodeType === 1) {
          broken = true;
          continue;
        }
        var shown = showing(node, known);
        if (shown.how === 0) continue;
        var data = node.data;
        var from = node === range.startContainer ? range.startOffset : 0;
        var to = node === range.endContainer ? range.endOffset : data.length;
        // What the node shows: its masking characters, or its characters less the white space that collapses,
        // with their offsets.
        var characters = [];
        var offsets = [];
        if (shown.mask) {
          for (var count = maskedLength(node, from, to); count > 0; count--) characters.push(shown.mask);
        } else {
          for (var offset = from; offset < to; offset++) {
            var character = data.charAt(offset);
            if (shown.how === 2 || !spaceLike(character)) {
              characters.push(character);
              offsets.push(offset);
            }
          }
        }
        if (characters.length === 0) continue;
        // The white space before the node's first character, and its line feeds.
        var lineEnds = [];
        while (at < text.length && text.charAt(at) !== characters[0] && spaceLike(text.charAt(at))) {
          if (text.charAt(at) === "\n") lineEnds.push(at);
          at++;
        }
        var block = blockOf(node.parentElement || node.parentNode.host || null, blocks, styles);
        var start = offsets.length > 0 ? { node: node, offset: offsets[0] } : null;
        if (previous !== null && lineEnds.length > 0) {
          if (block !== previous) {
            if (lineEnds.length === 1) edits.push([lineEnds[0], 1]);
          } else if (!broken && previousEnd && start && sideBySide(previousEnd, start)) {
            for (var end = 0; end < lineEnds.length; end++) edits.push([lineEnds[end], 0]);
          }
        }
        previous = block;
        previousEnd = offsets.length > 0 ? { node: node, offset: offsets[offsets.length - 1] } : null;
        broken = false;
        for (var next = 0; next < characters.length; next++) {
          if (shown.how !== 2 || shown.mask) {
            while (at < text.length && text.charAt(at) !== characters[next] && spaceLike(text.charAt(at))) at++;
          }
          if (text.charAt(at) !== characters[next]) return text;
          at++;
        }
      }
    }
    var apart = "";
    var kept = 0;
    for (var place = 0; place < edits.length; place++) {
      apart += text.substring(kept, edits[place][0]) + (edits[place][1] === 1 ? "\n\n" : "");
      kept = edits[place][0] + 1;
    }
    return apart + text.substring(kept);
  }

  // The selected text, with what the page masks left out (`masked` tells whether anything was); null when it
  // is longer than SELECTION_LIMIT, which is told before the text is built: building it costs the page time in
  // proportion to what is selected (over a second for millions of characters in nested blocks), while the
  // count stops past the limit.
  function selectedText(focused) {
    var element = focused.element;
    var text = "";
    var parts = [];
    if (element && isTextControl(element)) {
      var start = element.selectionStart;
      var end = element.selectionEnd;
      if (typeof start === "number" && typeof end === "number" && end > start) {
        if (end - start > SELECTION_LIMIT) return null;
        text = String(element.value).substring(start, end);
      }
      return { text: text, masked: false };
    }
    var view = focused.document.defaultView;
    var selection = view && view.getSelection ? view.getSelection() : null;
    if (selection) {
      var known = new Map();
      var count = 0;
      for (var index = 0; index < selection.rangeCount && count <= SELECTION_LIMIT; index++) {
        count += shownLength(selection.getRangeAt(index), SELECTION_LIMIT - count, known, parts);
      }
      if (count > SELECTION_LIMIT) return null;
      text = withBlocksApart(String(selection), selection, known);
    }
    var runs = maskedRuns(text, parts) || everyDrawnMask(text);
    return { text: runs.length > 0 ? withoutRuns(text, runs) : text, masked: runs.length > 0 };
  }

  // Whether the document's selection takes in an editing host whose autocomplete names a password: unless
  // the page masks it, its text would be read in the clear with the rest.
  function coversPasswordHost(doc) {
    var view = doc.defaultView;
    var selection = view && view.getSelection ? view.getSelection() : null;
    if (!selection || selection.isCollapsed !== false || typeof doc.querySelectorAll !== "function") return false;
    var hosts = doc.querySelectorAll("[contenteditable][autocomplete]");
    for (var index = 0; index < hosts.length; index++) {
      if (hosts[index].isContentEditable && selection.containsNode(hosts[index], true) && namesPassword(hosts[index])) {
        return true;
      }
    }
    return false;
  }

  // What the focused element gives, read in its own frame's world; with no element, the document's
  // selection. A selection of nothing but masked text is a protected field's.
  function readFocused(focused) {
    var element = focused.element;
    if (element && isProtected(element)) return { status: "protectedField" };
    if (!(element && isTextControl(element)) && coversPasswordHost(focused.document)) {
      return { status: "protectedField" };
    }
    var selected = selectedText(focused);
    if (selected === null || selected.text.length > SELECTION_LIMIT) return { status: "tooLong" };
    if (selected.masked && !/\S/.test(selected.text)) return { status: "protectedField" };
    return { status: "ok", selection: selected.text, textInput: element ? isTextInput(element) : false };
  }

  // What leaves the copy of an element in the page's HTML.
  var DROP_TEXT = 1;
  var DROP_ALL_TEXT = 2;
  var DROP_VALUE = 3;
  var DROP_SOURCE = 4;
  var DROP_SLOTTED = 5;
  var SHOW_TEXTS = 4 | 8;

  function hasText(element) {
    for (var child = element.firstChild; child; child = child.nextSibling) {
      if ((child.nodeType === 3 || child.nodeType === 4) && child.length > 0) return true;
    }
    return false;
  }

  // The indexes among the host's children of its text that an open shadow root shows masked.
  function maskedSlotted(host) {
    var indexes = [];
    var index = 0;
    for (var child = host.firstChild; child; child = child.nextSibling, index++) {
      if (child.nodeType !== 3 || child.length === 0) continue;
      var slot = child.assignedSlot;
      if (slot && securityOf(slot) !== "none") indexes.push(index);
    }
    return indexes;
  }

  function drop(element, what, indexes) {
    if (what === DROP_VALUE) {
      element.removeAttribute("value");
    } else if (what === DROP_SOURCE) {
      element.removeAttribute("srcdoc");
    } else if (what === DROP_ALL_TEXT) {
      var walker = element.ownerDocument.createTreeWalker(element, SHOW_TEXTS);
      for (var text = walker.nextNode(); text; text = walker.nextNode()) text.data = "";
    } else {
      var children = element.childNodes;
      for (var index = 0; index < children.length; index++) {
        var child = children[index];
        if ((child.nodeType === 3 || child.nodeType === 4) && (what === DROP_TEXT || indexes.indexOf(index) >= 0)) {
          child.data = "";
        }
      }
    }
  }

  // The document's HTML without what the page masks (see above). Each element's computed style is read once,
  // in document order; a page with nothing to leave out (most) is serialised as it is, any other as an inert
  // copy (a document without a window, where no script of the page runs and nothing loads) with the things
  // to leave out taken out of it: the copy's elements are the page's in the same order.
  function pageHTML(doc) {
    var root = doc.documentElement;
    if (!root) return "";
    var named = new Set();
    var fields = doc.querySelectorAll("[autocomplete]");
    for (var field = 0; field < fields.length; field++) {
      if (namesPassword(fields[field])) named.add(fields[field]);
    }
    var drops = [];
    // A document without a window has no computed style to tell what it masks.
    var view = doc.defaultView;
    if (!view) throw new Error("no window");
    var elements = doc.getElementsByTagName("*");
    for (var index = 0; index < elements.length; index++) {
      var element = elements[index];
      var masked = view.getComputedStyle(element).getPropertyValue("-webkit-text-security") !== "none";
      var name = element.localName;
      if (name === "input") {
        if ((masked || inputType(element) === "password" || named.has(element)) && element.hasAttribute("value")) {
          drops.push([index, DROP_VALUE]);
        }
        continue;
      }
      if (named.size > 0 && named.has(element) && (name === "textarea" || element.isContentEditable === true)) {
        drops.push([index, DROP_ALL_TEXT]);
      } else if (masked && hasText(element)) {
        drops.push([index, DROP_TEXT]);
      }
      if ((name === "iframe" || name === "frame") && element.hasAttribute("srcdoc")) drops.push([index, DROP_SOURCE]);
      if (element.shadowRoot) {
        var slotted = maskedSlotted(element);
        if (slotted.length > 0) drops.push([index, DROP_SLOTTED, slotted]);
      }
    }
    if (drops.length === 0) return String(root.outerHTML);
    var inert = doc.contentType === "text/html"
      ? doc.implementation.createHTMLDocument("")
      : doc.implementation.createDocument(null, null, null);
    var copy = inert.importNode(root, true);
    var copies = copy.getElementsByTagName("*");
    for (var step = 0; step < drops.length; step++) {
      var at = drops[step][0];
      drop(at === 0 ? copy : copies[at - 1], drops[step][1], drops[step][2]);
    }
    return String(copy.outerHTML);
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
        var html = pageHTML(document);
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
