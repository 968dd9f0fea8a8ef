// The page script of a browser snapshot. Sent to the browser's active tab followed by a call
// `RSVPSnapshot.snapshot(true)` (page HTML wanted) or `RSVPSnapshot.snapshot(false)`; the value of that
// call, the value of the whole program, is the JSON text of the snapshot:
//   { "status": "ok", "url": the page's address, "documentID": the loaded document's identity,
//     "html": the page's HTML when wanted }
// or { "status": "htmlTooLarge", "url": … } when the HTML has more than 2,000,000 UTF-16 units (the
// most the extractor takes: it is not shipped), or { "status": "unavailable" } when the page cannot be
// read.
//
// It runs in an isolated world of the page's main frame: it shares the document with the page but not
// the page's globals, so the page can neither see it nor replace the built-ins it uses. The document's
// identity is its time origin, which is the same in every world of one document and new with each
// load (a navigation or a reload replaces the document). Declared with var, so that the script can run
// again in the same world.
var RSVPSnapshot = (function () {
  var HTML_LIMIT = 2000000;

  function snapshot(wantsHTML) {
    try {
      var url = String(location.href);
      var result = { status: "ok", url: url, documentID: String(performance.timeOrigin) };
      if (wantsHTML) {
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

  return { snapshot: snapshot };
})();
