#!/usr/bin/env node
// Checks our BudouX segmentation against the reference parser of the pinned npm package on real
// Japanese: the paragraphs of an EPUB book, one per line.
//
//   node budoux-oracle.js SEGMENT_BENCH EPUB PROJECT_ROOT   (exit 77: skipped, with the reason)
//
// The reference parser counts UTF-16 units where we count scalars and never splits inside a Character
// (extended grapheme cluster); the two agree on lines in which every UTF-16 unit is a Character of its
// own, so only such lines are compared. A phrase that shows nothing (a run of ideographic spaces between
// two of the parser's breaks) is no chunk of ours: it joins the phrase before it, or at the start of the
// line the one after it, in the reference's list too. Every compared line holds Japanese, so the whole file goes
// through the phrase model: each line's phrases come back with its line feed on the last one.
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const kSkip = 77;
// Fewer lines than this means the extraction went wrong, not that the parsers agree.
const kMinimumLines = 500;

function skip(reason) {
  console.log(`SKIPPED: ${reason}`);
  process.exit(kSkip);
}

function decodeEntities(text) {
  return text.replace(/&(#x[0-9a-fA-F]+|#[0-9]+|amp|lt|gt|quot|apos);/g, (entity, body) => {
    if (body[0] === '#') {
      const code = body[1] === 'x' ? parseInt(body.slice(2), 16) : parseInt(body.slice(1), 10);
      return String.fromCodePoint(code);
    }
    return { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" }[body];
  });
}

// The text of every paragraph and heading of the book's XHTML documents, ruby readings left out.
function paragraphs(epub) {
  const unzip = (args) => childProcess.execFileSync('unzip', args, { encoding: 'utf8', maxBuffer: 64 << 20 });
  let names;
  try {
    names = unzip(['-Z1', epub]).split('\n').filter((name) => name.endsWith('.xhtml')).sort();
  } catch (error) {
    skip(`unzip cannot list ${epub}: ${error.message}`);
  }
  const result = [];
  for (const name of names) {
    const xhtml = unzip(['-p', epub, name]);
    const body = xhtml.replace(/<!--[\s\S]*?-->/g, '').replace(/^[\s\S]*?<body[^>]*>/, '');
    for (const match of body.matchAll(/<(p|h[1-6])\b[^>]*>([\s\S]*?)<\/\1\s*>/g)) {
      const text = decodeEntities(match[2]
        .replace(/<rt\b[^>]*>[\s\S]*?<\/rt\s*>/g, '')
        .replace(/<rp\b[^>]*>[\s\S]*?<\/rp\s*>/g, '')
        .replace(/<[^>]*>/g, ''))
        .replace(/\s*\n\s*/g, '');  // line breaks of the markup, not of the text
      if (text.trim() !== '') result.push(text);
    }
  }
  return result;
}

const kJapanese = /[\u3040-\u30FF\u3400-\u9FFF\uFF66-\uFF9D]/;
const graphemes = new Intl.Segmenter('ja', { granularity: 'grapheme' });

// White space (ideographic spaces included), control and format characters only: nothing to see.
const kShowsNothing = /^[\s\p{Cc}\p{Cf}]*$/u;

function withoutInvisiblePhrases(phrases) {
  const joined = [];
  let pending = '';
  for (const phrase of phrases) {
    if (!kShowsNothing.test(phrase)) {
      joined.push(pending + phrase);
      pending = '';
    } else if (joined.length) {
      joined[joined.length - 1] += phrase;
    } else {
      pending += phrase;
    }
  }
  if (pending) joined.push(pending);
  return joined;
}

function isComparable(line) {
  if (!kJapanese.test(line) || /[\uD800-\uDFFF\u000A-\u000D\u0085\u2028\u2029]/.test(line)) return false;
  if (/\p{M}/u.test(line)) return false;
  let count = 0;
  for (const _ of graphemes.segment(line)) ++count;
  return count === line.length;
}

function compare(segmentBench, epub, root) {
  if (!fs.existsSync(epub)) skip(`shared test data ${epub} is not present beside the project`);
  const budoux = path.resolve(root, 'node_modules', 'budoux');
  if (!fs.existsSync(budoux)) skip(`the npm package budoux is not installed in ${root} (run scripts/install-deps)`);
  // The parser and the model alone, not the package's entry point, which pulls in its DOM helpers.
  const { Parser } = require(path.join(budoux, 'dist', 'parser.js'));
  const parser = new Parser(require(path.join(budoux, 'dist', 'data', 'models', 'ja.js')).model);

  const lines = paragraphs(epub).filter(isComparable);
  if (lines.length < kMinimumLines) {
    console.error(`only ${lines.length} comparable lines came out of ${epub}`);
    process.exit(1);
  }
  const directory = fs.mkdtempSync(path.join(os.tmpdir(), 'budoux-oracle-'));
  try {
    const file = path.join(directory, 'lines.txt');
    fs.writeFileSync(file, lines.join('\n') + '\n', 'utf8');
    const output = childProcess.execFileSync(segmentBench, ['--chunks', file], { encoding: 'utf8', maxBuffer: 256 << 20 });
    const ours = JSON.parse(output.trim()).chunks;

    // The reference's phrases of every line, each line's last with its line feed.
    const theirs = [];
    for (const line of lines) {
      const phrases = parser.parse(line);
      phrases[phrases.length - 1] += '\n';
      theirs.push(...phrases);
    }
    // Phrases that show nothing join their neighbours across lines, as ours do over the whole text.
    const joined = withoutInvisiblePhrases(theirs);
    const differs = joined.findIndex((phrase, index) => phrase !== ours[index]);
    if (differs >= 0 || ours.length !== joined.length) {
      const at = differs >= 0 ? differs : Math.min(ours.length, joined.length);
      // The line that holds the start of the first phrase that differs.
      let offset = joined.slice(0, at).join('').length;
      let line = 0;
      while (line < lines.length - 1 && offset >= lines[line].length + 1) offset -= lines[line++].length + 1;
      console.error(`line: ${lines[line]}\n  reference: ${JSON.stringify(joined.slice(Math.max(at - 3, 0), at + 4))}\n` +
                    `  ours:      ${JSON.stringify(ours.slice(Math.max(at - 3, 0), at + 4))}`);
      process.exit(1);
    }
    const position = joined.length;
    console.log(`${lines.length} lines, ${position} phrases: the same as the reference parser`);
  } finally {
    fs.rmSync(directory, { recursive: true, force: true });
  }
}

const args = process.argv.slice(2);
if (args.length !== 3) {
  console.error('usage: budoux-oracle.js SEGMENT_BENCH EPUB PROJECT_ROOT');
  process.exit(2);
}
compare(...args);
