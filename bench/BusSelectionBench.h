#pragma once

namespace tavrine::bench {

// Times the reading of a selected paragraph of 200 and of 2,000 links over the accessibility bus, as the
// selection reader follows each link's object replacement character: Debian's chromium shown with its
// renderer's accessibility forced, the paragraph triple-clicked, the user's consent to ask the page not
// given (so the bus is read); then how long a page of 20,000 links in 200 paragraphs, all selected, takes
// to end under the capture's deadline; 5 rounds each, one JSON line for each page. Needs an X11 display with
// a window manager and a session bus (capture-bench runs itself under scripts/with-xvfb --openbox); starts
// the accessibility bus itself. 0 when it ran; skipped without chromium.
int runBusSelectionBench();

}  // namespace tavrine::bench
