// What Readability calls that the worker's script engine lacks.

if (!String.prototype.matchAll) {
  // The matches of a global regular expression, as an iterator; enough for Readability's title
  // handling, which spreads it into an array.
  Object.defineProperty(String.prototype, "matchAll", {
    configurable: true,
    writable: true,
    value: function matchAll(pattern) {
      const flags = pattern.flags.indexOf("g") >= 0 ? pattern.flags : pattern.flags + "g";
      const expression = new RegExp(pattern.source, flags);
      const matches = [];
      let match;
      while ((match = expression.exec(this)) !== null) {
        matches.push(match);
        if (match[0] === "") expression.lastIndex += 1;
      }
      return matches[Symbol.iterator]();
    },
  });
}
