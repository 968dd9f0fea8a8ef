// The growing text of a reading document with its white-space state, in the shapes of the EPUB
// renderer: outside preformatted text a run of white space, also across element boundaries, becomes at
// most one space, and no space starts the text or follows a line feed or another space. White space is
// exactly tab, line feed, form feed, carriage return and space: a no-break space is part of a word.
//
// One rule more than there: a collapsed run between two East Asian wide characters leaves nothing,
// since Chinese and Japanese put no spaces between words and the line breaks of the HTML source are
// not the author's. Hangul is not among them: Korean separates its words with spaces.
//
// A line that holds nothing but white space, no-break and ideographic spaces included (what a spacer
// paragraph or a table cell of &nbsp; leaves), shows nothing: its characters are dropped when the line
// ends, as if it had been empty. A block's empty line is then no line at all; a br's or a table cell's
// stays an empty line. Lines inside preformatted text are kept as they are.
//
// A list item's marker and the item's first block share a line: right after a marker, the boundary of
// a block does not end the line. A line that ends right after a marker loses the marker's space, so
// that no line ends in a space.

export class TextTooLong extends Error {}

const WHITE_SPACE = /[\t\n\f\r ]+/g;
// A character that is not white space in Unicode's sense (no-break spaces are white space here).
const VISIBLE = /[^\t\n\v\f\r \u0085\u00a0\u1680\u2000-\u200a\u2028\u2029\u202f\u205f\u3000]/;

function isWide(code) {
  return (
    (code >= 0x2e80 && code <= 0x303e) ||
    (code >= 0x3041 && code <= 0x33ff && !(code >= 0x3130 && code <= 0x318f)) ||
    (code >= 0x3400 && code <= 0x4dbf) ||
    (code >= 0x4e00 && code <= 0x9fff) ||
    (code >= 0xa000 && code <= 0xa4cf) ||
    (code >= 0xf900 && code <= 0xfaff) ||
    (code >= 0xfe10 && code <= 0xfe19) ||
    (code >= 0xfe30 && code <= 0xfe6f) ||
    (code >= 0xff01 && code <= 0xff9f) ||
    (code >= 0xffe0 && code <= 0xffe6) ||
    (code >= 0x1b000 && code <= 0x1b16f) ||
    (code >= 0x20000 && code <= 0x3fffd)
  );
}

function firstCodePoint(text) {
  return text.codePointAt(0);
}

function lastCodePoint(text) {
  const last = text.charCodeAt(text.length - 1);
  if (last >= 0xdc00 && last <= 0xdfff && text.length > 1) return text.codePointAt(text.length - 2);
  return last;
}

export class ReadingText {
  // `limit`: the most UTF-16 units; a piece that would go beyond it throws TextTooLong.
  constructor(limit) {
    this.limit = limit;
    this.pieces = [];
    this.length = 0;
    this.last = "";
    this.pendingSpace = false;
    // Offsets at which a collapsed run left its one space: an inline element that starts there begins
    // after it.
    this.collapsedSpaces = Object.create(null);
    // Nothing has been appended since a list marker.
    this.afterMarker = false;
    // The offset of the last line feed that took a marker's space's place, or -1.
    this.markerLineEnd = -1;
    // Where the current line starts, and whether it holds anything but white space so far.
    this.lineStart = 0;
    this.lineVisible = false;
    // Told the new length when the end of the text is cut off, so that spans can follow.
    this.truncated = null;
  }

  text() {
    return this.pieces.join("");
  }

  append(piece) {
    if (!piece) return;
    // Right after a marker the last piece is the marker: its space goes when the line ends there.
    const dropsMarkerSpace = this.afterMarker && piece[0] === "\n";
    const kept = this.length - (dropsMarkerSpace ? 1 : 0);
    if (piece.length > this.limit - kept) throw new TextTooLong();
    if (dropsMarkerSpace) {
      this.pieces[this.pieces.length - 1] = this.last.slice(0, -1);
      this.length = kept;
      this.markerLineEnd = kept;
    }
    const lineFeed = piece.lastIndexOf("\n");
    if (lineFeed >= 0) {
      this.lineStart = this.length + lineFeed + 1;
      this.lineVisible = VISIBLE.test(piece.slice(lineFeed + 1));
    } else if (!this.lineVisible) {
      this.lineVisible = VISIBLE.test(piece);
    }
    this.pieces.push(piece);
    this.length += piece.length;
    this.last = piece;
    this.afterMarker = false;
  }

  // Cuts the current line off when it holds only white space: the text ends with its line feed again.
  dropBlankLine() {
    if (this.length === this.lineStart || this.lineVisible) return;
    const end = this.length;
    while (this.length > this.lineStart) {
      const piece = this.pieces.pop();
      this.length -= piece.length;
      if (this.length < this.lineStart) {
        this.pieces.push(piece.slice(0, this.lineStart - this.length));
        this.length = this.lineStart;
      }
    }
    this.last = this.pieces.length ? this.pieces[this.pieces.length - 1] : "";
    for (let offset = this.lineStart; offset < end; ++offset) delete this.collapsedSpaces[offset];
    if (this.truncated) this.truncated(this.length);
  }

  // A list item's marker, which ends in a space.
  appendMarker(marker) {
    this.append(marker);
    this.afterMarker = true;
  }

  // The space that white space seen before asks for, when `next` (the text about to follow, if known)
  // allows it.
  flushPendingSpace(next) {
    const due = this.pendingSpace && this.length > 0 && !this.last.endsWith(" ") && !this.last.endsWith("\n");
    this.pendingSpace = false;
    if (!due) return;
    if (next && isWide(lastCodePoint(this.last)) && isWide(firstCodePoint(next))) return;
    this.collapsedSpaces[this.length] = true;
    this.append(" ");
  }

  appendCollapsed(text, preserving) {
    if (preserving) {
      this.append(text);
      return;
    }
    WHITE_SPACE.lastIndex = 0;
    let index = 0;
    for (;;) {
      const space = WHITE_SPACE.exec(text);
      const end = space ? space.index : text.length;
      if (end > index) {
        const word = text.slice(index, end);
        this.flushPendingSpace(word);
        this.append(word);
      }
      if (!space) return;
      this.pendingSpace = true;
      index = end + space[0].length;
    }
  }

  ensureLineBreak() {
    this.pendingSpace = false;
    this.dropBlankLine();
    if (this.length === 0 || this.last.endsWith("\n")) return;
    this.append("\n");
  }

  // Where a block starts or ends: ensureLineBreak, except right after a marker, where only the pending
  // space is forgotten and the line goes on: an item's first block shares its marker's line, and a
  // block that showed nothing there ends nothing.
  blockBoundary() {
    if (this.afterMarker) this.pendingSpace = false;
    else this.ensureLineBreak();
  }

  // A line feed even when the line has ended: the empty lines of br and of table cells.
  appendLineFeed() {
    this.pendingSpace = false;
    this.dropBlankLine();
    this.append("\n");
  }
}
