// The page script of a browser snapshot. Sent to the browser's active tab followed by a call
// `RSVPSnapshot.snapshot(true)` (page HTML wanted) or `RSVPSnapshot.snapshot(false)`; the value of that
// call, the value of the whole program, is the JSON text of the snapshot:
//   { "status": "ok", "url": the page's address, "documentID": the loaded document's identity,
//     "html": the page's HTML when wanted }
// or { "status": "htmlTooLarge", "url": … } when the HTML has more than 2,000,000 UTF-16 units (the
// most the extractor takes), or { "status": "unavailable" } when the page cannot be read.
//
// Declared with var, so that the script can run again in the same page. It runs among the page's own
// scripts: it reads what it needs once, at the start of the call.
var RSVPSnapshot = (function () {
  var HTML_LIMIT = 2000000;
  var IDENTITY = "__readerSnapshotDocumentID";

  // A random token kept on the document: the same for every snapshot of one loaded document, another
  // after a navigation or a reload, which replace the document.
  function documentID(page) {
    var existing = Object.getOwnPropertyDescriptor(page, IDENTITY);
    if (existing && typeof existing.value === "string") return existing.value;
    var token = "";
    for (var index = 0; index < 4; index += 1) {
      token += Math.floor(Math.random() * 0x100000000).toString(16);
    }
    token += "-" + Date.now().toString(16);
    Object.defineProperty(page, IDENTITY, { value: token, enumerable: false });
    return token;
  }

  function snapshot(wantsHTML) {
    var stringify = JSON.stringify;
    try {
      var page = document;
      var url = String(location.href);
      var result = { status: "ok", url: url, documentID: documentID(page) };
      if (wantsHTML) {
        var root = page.documentElement;
        var html = root ? String(root.outerHTML) : "";
        if (html.length > HTML_LIMIT) return stringify({ status: "htmlTooLarge", url: url });
        result.html = html;
      }
      return stringify(result);
    } catch (error) {
      return stringify({ status: "unavailable" });
    }
  }

  return { snapshot: snapshot };
})();
