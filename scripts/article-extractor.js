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
//
// Readability writes the whole article as HTML into one log message even when it logs nothing, which
// on a page of 2,000,000 characters costs a tenth of the extraction: the bundle writes it only when
// debugging, as the package's other such messages are; the build fails when the package no longer has
// exactly that message.
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

// The bundler drops the libraries' comments, their licence headers with them: the bundle opens with
// those notices (the texts are in resources/ArticleExtractor/LICENSE, compiled in beside it).
const banner = `/*
 * Bundled with Tavrine's own code (see ":/ArticleExtractor/LICENSE" for the full texts):
 * - Readability.js (npm package "@mozilla/readability"): Copyright (c) 2010 Arc90 Inc.
 *   Licensed under the Apache License, Version 2.0.
 * - JSDOMParser.js (npm package "@mozilla/readability"): This Source Code Form is subject to the
 *   terms of the Mozilla Public License, v. 2.0. If a copy of the MPL was not distributed with this
 *   file, You can obtain one at http://mozilla.org/MPL/2.0/.
 * - The HTML decoder of the npm package "entities": Copyright (c) Felix Böhm. All rights reserved.
 *   Licensed under the BSD 2-Clause License.
 */`;

const unguardedLog = '    this.log("Grabbed: " + articleContent.innerHTML);\n';

const quietReadability = {
  name: 'quiet-readability',
  setup(build) {
    build.onLoad({ filter: /[\\/]@mozilla[\\/]readability[\\/]Readability\.js$/ }, async (args) => {
      const source = await fs.promises.readFile(args.path, 'utf8');
      if (source.split(unguardedLog).length !== 2) {
        fail(`${args.path} no longer writes the grabbed article into a log message as expected`);
      }
      return {
        contents: source.replace(unguardedLog, '    if (this._debug) {\n  ' + unguardedLog + '    }\n'),
        loader: 'js',
      };
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
    banner: { js: banner },
    inject: [path.join(__dirname, '..', 'src', 'PelmoraMac', 'ArticleExtractor', 'environment.js')],
    plugins: [domPrototypes, quietReadability],
    logLevel: 'warning',
  })
  .catch(() => process.exit(1));
