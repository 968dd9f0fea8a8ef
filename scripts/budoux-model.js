#!/usr/bin/env node
// Converts the Japanese phrase model of the pinned npm package "budoux" into the JSON file that the
// segmenter loads from its resources: one object whose keys are feature names and whose values map a
// string of one to three characters to an integer weight.
//
//   node scripts/budoux-model.js MODEL.js OUTPUT.json SHA256
//
// MODEL.js is the package's dist/data/models/ja.js. The output is written only when its SHA-256 equals
// the pinned digest, so a changed package never slips into a build unnoticed.
'use strict';

const crypto = require('crypto');
const fs = require('fs');
const path = require('path');

function fail(message) {
  console.error(`budoux-model: ${message}`);
  process.exit(1);
}

const [modelPath, outputPath, expectedDigest] = process.argv.slice(2);
if (!modelPath || !outputPath || !expectedDigest) {
  fail('usage: budoux-model.js MODEL.js OUTPUT.json SHA256');
}
if (!fs.existsSync(modelPath)) {
  fail(`${modelPath} is missing: run scripts/install-deps (npm ci) to install the pinned npm packages`);
}

const model = require(path.resolve(modelPath)).model;
if (model === null || typeof model !== 'object' || Array.isArray(model)) {
  fail(`${modelPath} does not export a model object`);
}
for (const [feature, weights] of Object.entries(model)) {
  if (weights === null || typeof weights !== 'object' || Array.isArray(weights)) {
    fail(`feature ${feature} is not an object of weights`);
  }
  for (const [key, weight] of Object.entries(weights)) {
    if (!Number.isSafeInteger(weight)) fail(`weight ${feature}/${key} is not an integer`);
  }
}
if (Object.keys(model).length === 0) fail('the model has no feature');

const text = JSON.stringify(model);
const digest = crypto.createHash('sha256').update(text, 'utf8').digest('hex');
if (digest !== expectedDigest.toLowerCase()) {
  fail(`the converted model has SHA-256 ${digest}, but ${expectedDigest} is pinned. ` +
       'The npm package "budoux" changed: check the new model, then pin its digest in src/ReaderText/CMakeLists.txt.');
}

fs.mkdirSync(path.dirname(outputPath), { recursive: true });
const temporary = `${outputPath}.tmp`;
fs.writeFileSync(temporary, text, 'utf8');
fs.renameSync(temporary, outputPath);
