// Turns an element of the DOM into a reading document (text and spans, every position a UTF-16
// offset), in the shapes the EPUB renderer gives a book: a line per block, whose span takes its closing
// line feed; list items marked "1. " or "• " with their depth as level, an item's first block on its
// marker's line and no marker's space left at a line's end; headings with their rank;
// quotes with their depth; preformatted text kept as it is; a plain table of at most 32 columns and
// 2,000 cells laid out a line per cell (every row padded to the same number of lines), any other table
// flattened into lines. Scripts, styles, templates, form controls, ruby annotations and hidden
// elements give nothing; an image gives its alternative text.
//
// The walk keeps its own stack, so no depth of nesting reaches the engine's call stack.

import { ReadingText } from "./reading-text.js";

// The widest grid, and the most cells, that are still laid out cell by cell.
export const MAXIMUM_GRID_COLUMNS = 32;
export const MAXIMUM_GRID_CELLS = 2000;
// A list numbers from a start within this range; an item's own value is clamped into it.
const LIST_NUMBER_BOUND = 1000000;

const ELEMENT = 1;
const TEXT = 3;

function setOf(names) {
  const set = Object.create(null);
  for (const name of names.split(" ")) set[name] = true;
  return set;
}

const SKIPPED = setOf(
  "applet area audio base button canvas datalist embed frame frameset head iframe input link map meta " +
    "noembed noframes noscript object option optgroup param rp rt rtc script select source style svg " +
    "template textarea title track video"
);
const BLOCKS = setOf(
  "address article aside body caption center details dialog dir div dl fieldset figure footer form header " +
    "hgroup html legend li main nav section summary tbody td tfoot th thead tr"
);
const PARAGRAPHS = setOf("p dd dt figcaption");
const CODE_BLOCKS = setOf("pre listing xmp plaintext");
const INLINE_MARKS = { b: "strong", strong: "strong", i: "emphasis", em: "emphasis", code: "code", kbd: "code", samp: "code", tt: "code" };
const LISTS = setOf("ul ol menu");
const HIDING_STYLE = /(?:^|;)\s*(?:display\s*:\s*none|visibility\s*:\s*hidden)\s*(?:!important\s*)?(?:;|$)/i;

function isHidden(element) {
  if (element.hasAttribute("hidden")) return true;
  if ((element.getAttribute("aria-hidden") || "").trim().toLowerCase() === "true") return true;
  const style = element.getAttribute("style");
  return style ? HIDING_STYLE.test(style) : false;
}

// A list number as written: an optional sign and decimal digits, nothing else. (This DOM answers
// undefined for a missing attribute.)
function listNumber(text) {
  if (text == null || !/^[+-]?[0-9]+$/.test(text)) return null;
  return Number(text);
}

function clampListNumber(number) {
  return Math.max(-LIST_NUMBER_BOUND, Math.min(LIST_NUMBER_BOUND, number));
}

function elementChildren(element, names) {
  return element.children.filter((child) => names[child.localName]);
}

const TABLE_STRUCTURE = {
  table: setOf("caption thead tbody tfoot tr colgroup"),
  thead: setOf("tr"),
  tbody: setOf("tr"),
  tfoot: setOf("tr"),
  tr: setOf("td th"),
  colgroup: setOf("col"),
};
const ROW_GROUPS = setOf("thead tbody tfoot tr");
const CELLS = setOf("td th");

// Whether the table has the shape of a plain grid: only the table parts in their places, nothing
// hidden, nothing but white space between the parts, no nested table; captions and cells may hold
// anything else.
function hasSimpleTableStructure(table) {
  const pending = [table];
  while (pending.length) {
    const element = pending.pop();
    if (isHidden(element)) return false;
    const allowed = TABLE_STRUCTURE[element.localName];
    if (!allowed) {
      if (element.getElementsByTagName("table").length) return false;
      continue;
    }
    for (const child of element.childNodes) {
      if (child.nodeType === ELEMENT) {
        if (!allowed[child.localName]) return false;
        pending.push(child);
      } else if (child.nodeType === TEXT && /[^\t\n\f\r ]/.test(child.textContent)) {
        return false;
      }
    }
  }
  return true;
}

function rowsOf(table) {
  const rows = [];
  for (const group of elementChildren(table, ROW_GROUPS)) {
    if (group.localName === "tr") rows.push(group);
    else for (const row of elementChildren(group, { tr: true })) rows.push(row);
  }
  return rows;
}

function spansOneCell(cell) {
  const columns = cell.getAttribute("colspan");
  const rows = cell.getAttribute("rowspan");
  return (columns == null || columns === "1") && (rows == null || rows === "1");
}

// The column count of a table laid out as a grid, or nothing for a table to flatten.
function gridColumns(table) {
  if (!hasSimpleTableStructure(table)) return null;
  const rows = rowsOf(table);
  let columns = 0;
  for (const row of rows) {
    const cells = elementChildren(row, CELLS);
    columns = Math.max(columns, cells.length);
    if (!cells.every(spansOneCell)) return null;
  }
  if (columns < 1 || columns > MAXIMUM_GRID_COLUMNS || rows.length * columns > MAXIMUM_GRID_CELLS) return null;
  return columns;
}

class Converter {
  constructor(limit) {
    this.text = new ReadingText(limit);
    this.spans = [];
    // A dropped blank line takes the ends of the spans over it along.
    this.text.truncated = (length) => this.clipSpans(length);
    this.work = [];
    this.listDepth = 0;
    this.quoteDepth = 0;
    this.preserving = 0;
  }

  // Runs the tasks in order before anything scheduled earlier: each a node to visit or a function.
  schedule(tasks) {
    for (let index = tasks.length - 1; index >= 0; --index) this.work.push(tasks[index]);
  }

  scheduleChildren(element, before, after) {
    const tasks = [];
    if (before) tasks.push(before);
    for (const child of element.childNodes) tasks.push(child);
    if (after) tasks.push(after);
    this.schedule(tasks);
  }

  // An element that produced no text records no span.
  record(kind, start, level) {
    if (start < this.text.length) this.spans.push({ kind, start, end: this.text.length, level });
  }

  clipSpans(length) {
    for (let index = this.spans.length - 1; index >= 0; --index) {
      const span = this.spans[index];
      if (span.end <= length) continue;
      if (span.start >= length) this.spans.splice(index, 1);
      else span.end = length;
    }
  }

  convert(root) {
    this.work.push(root);
    while (this.work.length) {
      const task = this.work.pop();
      if (typeof task === "function") task();
      else this.visit(task);
    }
    this.text.ensureLineBreak();
    return { text: this.text.text(), spans: this.spans };
  }

  visit(node) {
    if (node.nodeType === TEXT) {
      this.text.appendCollapsed(node.textContent, this.preserving > 0);
      return;
    }
    if (node.nodeType !== ELEMENT) return;
    const name = node.localName;
    if (SKIPPED[name] || isHidden(node)) return;

    if (name === "br") {
      this.text.appendLineFeed();
    } else if (name === "hr") {
      this.text.ensureLineBreak();
    } else if (name === "img") {
      this.image(node);
    } else if (LISTS[name]) {
      this.list(node, name === "ol");
    } else if (name === "table") {
      this.table(node);
    } else if (name.length === 2 && name[0] === "h" && name[1] >= "1" && name[1] <= "6") {
      this.block(node, "heading", Number(name[1]));
    } else if (PARAGRAPHS[name]) {
      this.block(node, "paragraph", 0);
    } else if (name === "blockquote") {
      this.quote(node);
    } else if (CODE_BLOCKS[name]) {
      this.codeBlock(node);
    } else if (BLOCKS[name]) {
      this.block(node, null, 0);
    } else {
      this.inline(node, INLINE_MARKS[name]);
    }
  }

  // Right after a list marker a block neither starts nor ends a line of its own
  // (ReadingText.blockBoundary).
  block(element, kind, level) {
    this.text.blockBoundary();
    const start = this.text.length;
    this.scheduleChildren(element, null, () => {
      this.text.blockBoundary();
      if (kind) this.record(kind, start, level);
    });
  }

  quote(element) {
    this.text.blockBoundary();
    const start = this.text.length;
    const depth = ++this.quoteDepth;
    this.scheduleChildren(element, null, () => {
      this.text.blockBoundary();
      this.record("quote", start, depth);
      --this.quoteDepth;
    });
  }

  codeBlock(element) {
    this.text.blockBoundary();
    const start = this.text.length;
    ++this.preserving;
    this.scheduleChildren(element, null, () => {
      --this.preserving;
      this.text.blockBoundary();
      this.record("codeBlock", start, 0);
    });
  }

  // An inline element's span covers its own text, not the space that collapsed white space before it
  // left.
  inline(element, kind) {
    const start = this.text.length;
    this.scheduleChildren(element, null, () => {
      if (kind) this.record(kind, this.text.collapsedSpaces[start] ? start + 1 : start, 0);
    });
  }

  image(element) {
    const alternative = (element.getAttribute("alt") || "").trim();
    if (!alternative) return;
    this.text.flushPendingSpace("［");
    this.text.append("［画像：" + alternative + "］");
  }

  // Items are numbered from the list's start; nested lists are not indented, their depth is carried by
  // the level only. Text directly inside the list, outside its items, is never shown. The item's first
  // block goes on the marker's line, as does the first item of a list that is itself an item's first
  // block.
  list(list, ordered) {
    this.text.blockBoundary();
    const depth = ++this.listDepth;
    const start = listNumber(list.getAttribute("start"));
    let number = start === null ? 1 : clampListNumber(start);
    const tasks = [];
    for (const child of list.children) {
      if (child.localName !== "li") {
        tasks.push(child);
        continue;
      }
      if (isHidden(child)) continue;
      const value = listNumber(child.getAttribute("value"));
      if (value !== null) number = clampListNumber(value);
      const marker = ordered ? number + ". " : "• ";
      let itemStart = 0;
      tasks.push(() => {
        this.text.blockBoundary();
        itemStart = this.text.length;
        this.text.appendMarker(marker);
      });
      for (const node of child.childNodes) tasks.push(node);
      tasks.push(() => {
        this.text.ensureLineBreak();
        this.record("listItem", itemStart, depth);
      });
      ++number;
    }
    tasks.push(() => --this.listDepth);
    this.schedule(tasks);
  }

  table(table) {
    this.text.blockBoundary();
    const columns = gridColumns(table);
    if (columns === null) {
      // Rows and cells still start lines of their own: they are blocks.
      this.scheduleChildren(table, null, () => this.text.blockBoundary());
      return;
    }
    // Captions come first, each on its own line and outside the table's span.
    const tasks = [];
    for (const caption of elementChildren(table, { caption: true })) {
      tasks.push(caption, () => this.text.blockBoundary());
    }
    let tableStart = 0;
    let onMarkerLine = false;
    tasks.push(() => {
      tableStart = this.text.length;
      onMarkerLine = this.text.afterMarker;
    });
    for (const row of rowsOf(table)) {
      const cells = elementChildren(row, CELLS);
      for (let column = 0; column < columns; ++column) {
        const cell = cells[column];
        let cellStart = 0;
        tasks.push(() => (cellStart = this.text.length));
        if (cell) for (const node of cell.childNodes) tasks.push(node);
        // Every cell ends with its own line feed, even when its content already ended a line. A cell's
        // span takes at least its line feed, also when an empty first cell on a list marker's line
        // ended that line in place of the marker's space.
        tasks.push(() => {
          this.text.appendLineFeed();
          const start = Math.min(cellStart, this.text.length - 1);
          this.record(cell && cell.localName === "th" ? "tableHeader" : "tableCell", start, 0);
        });
      }
    }
    tasks.push(() => {
      // The table's span takes that line feed too.
      if (onMarkerLine && this.text.markerLineEnd === tableStart - 1) --tableStart;
      this.record("table", tableStart, columns);
    });
    this.schedule(tasks);
  }
}

// The text and spans of `root` and everything in it; throws TextTooLong once the text would pass
// `limit` units.
export function convertToReadingDocument(root, limit) {
  return new Converter(limit).convert(root);
}
