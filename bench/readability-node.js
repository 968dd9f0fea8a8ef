#!/usr/bin/env node
// capture-bench's peer: runs the Readability bundle (bench/readability-entry.js as the build bundles
// it) on one HTML file under node and prints the best of RUNS times in milliseconds.
//
//   node bench/readability-node.js BUNDLE.js FILE.html RUNS
'use strict';

const fs = require('fs');
const vm = require('vm');

const [bundlePath, htmlPath, runs = '5'] = process.argv.slice(2);
const context = vm.createContext({ atob: (text) => Buffer.from(text, 'base64').toString('latin1') });
vm.runInContext(fs.readFileSync(bundlePath, 'utf8'), context);
const html = fs.readFileSync(htmlPath, 'utf8');
let best = Infinity;
for (let run = 0; run < Number(runs); ++run) {
  const start = process.hrtime.bigint();
  vm.runInContext('ReadabilityBench.parseAndExtract(html)', Object.assign(context, { html }));
  best = Math.min(best, Number(process.hrtime.bigint() - start) / 1e6);
}
console.log(best.toFixed(3));
