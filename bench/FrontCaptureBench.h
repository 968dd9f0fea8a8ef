#pragma once

namespace tavrine::bench {

// Times the capture hot key (Meta+Ctrl+Alt+R) to the player's first chunk with Debian's chromium in
// front, started with remote debugging and again with its renderer's accessibility forced: 10 rounds of
// a triple-clicked paragraph, then 10 of the page's article with nothing selected; one JSON line for
// each. The capture is wired as the application wires it (applicationCaptureFunctions, the user's consent
// given), the workers are this executable. Needs an X11 display with a window manager and a session bus
// (capture-bench runs itself under scripts/with-xvfb --openbox); starts the accessibility bus itself. 0
// when it ran; skipped without chromium.
int runFrontCaptureBench();

}  // namespace tavrine::bench
