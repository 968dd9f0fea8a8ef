#!/usr/bin/env node
// Bundles the capture extractor (src/PelmoraMac/ArticleExtractor/extractor.js and what it imports,
// Readability and its DOM among them, from the pinned npm packages) into one script for the program's
// resources: an IIFE that defines the global RAVOVodeved (or GLOBAL) with the entry's exports, its
// syntax lowered for the worker's script engine.
//
//   node scripts/article-extractor.js ENTRY.js OUTPUT.js [GLOBAL]
//
// The engine (Qt 6.4's) does not honour `__proto__: parent` in an object literal (it makes an own
// property of that name), and JSDOMParser builds its node prototypes that way. The bundle sets those
// prototypes with Object.setPrototypeOf instead; the build fails when the package no longer has
// exactly the four literals this expects.
'use strict';

const fs = require('fs');
const path = require('path');

function fail(message) {
  console.error(`article-extractor: ${message}`);
  process.exit(1);
}

const [entry, output, globalName = 'RAVOVodeved'] = process.argv.slice(2);
if (!entry || !output) fail('usage: article-extractor.js ENTRY.js OUTPUT.js [GLOBAL]');

let esbuild;
try {
  esbuild = require('esbuild');
} catch (error) {
  fail('esbuild is missing: run scripts/install-deps (npm ci) to install the pinned npm packages');
}

const prototypeLiteral = /^(\s*)(Comment|Text|Document|Element)\.prototype = \{\n\s*__proto__: Node\.prototype,\n/gm;
const attachAnchor = '  // Attach the standard DOM types to the global scope';

const domPrototypes = {
  name: 'dom-prototypes',
  setup(build) {
    build.onLoad({ filter: /[\\/]@mozilla[\\/]readability[\\/]JSDOMParser\.js$/ }, async (args) => {
      let source = await fs.promises.readFile(args.path, 'utf8');
      const patched = new Set();
      source = source.replace(prototypeLiteral, (match, indent, type) => {
        patched.add(type);
        return `${indent}${type}.prototype = {\n`;
      });
      if (patched.size !== 4 || !source.includes(attachAnchor)) {
        fail(`${args.path} does not build its node prototypes as expected (found ${[...patched].join(', ')})`);
      }
      source = source.replace(
        attachAnchor,
        '  [Comment, Text, Document, Element].forEach(function (type) {\n' +
          '    Object.setPrototypeOf(type.prototype, Node.prototype);\n' +
          '  });\n\n' +
          attachAnchor
      );
      return { contents: source, loader: 'js' };
    });
  },
};

esbuild
  .build({
    entryPoints: [entry],
    outfile: output,
    bundle: true,
    format: 'iife',
    globalName,
    target: 'es2016',
    charset: 'utf8',
    legalComments: 'inline',
    inject: [path.join(__dirname, '..', 'src', 'PelmoraMac', 'ArticleExtractor', 'environment.js')],
    plugins: [domPrototypes],
    logLevel: 'warning',
  })
  .catch(() => process.exit(1));
