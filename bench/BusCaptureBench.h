#pragma once

namespace tavrine::bench {

// Times the capture hot key, pressed through XTest, with a browser in front that is read over the
// accessibility bus alone: Debian's Firefox ESR (a fresh profile that puts its pages on the bus), then
// Debian's chromium started with --force-renderer-accessibility only (no remote debugging, no consent); a
// paragraph of Japanese with marks shown in the clear triple-clicked, from the key's release to the player's
// first chunk, the capture wired as in the application; 20 rounds, one JSON line for each browser. Needs an
// X11 display with a window manager and a session bus (capture-bench runs itself under scripts/with-xvfb
// --openbox); starts the accessibility bus itself. 0 when it ran; a browser that is missing is skipped.
int runBusCaptureBench();

}  // namespace tavrine::bench
