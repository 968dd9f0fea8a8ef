#pragma once

#include <QString>

#include <chrono>
#include <cstdint>

struct xcb_connection_t;

namespace tavrine {
class X11Keymap;
}

namespace tavrine::bench {

// Presses Ctrl, Meta, Alt and the key of `letter` (a keysym: 'r', 'v') through XTest, releases the letter
// and returns when that release was sent, then releases the modifiers.
std::chrono::steady_clock::time_point pressHotKeyChord(xcb_connection_t* connection, const X11Keymap& keymap,
                                                       std::uint32_t letter);

// Times the clipboard hot key to the player's first chunk, 10 rounds each of 5,000 units of text and of
// 200,000 bytes of HTML, and prints a JSON line for each; needs the X11 platform. 0 when it ran.
int runHotKeyBench(const QString& workerExecutable);

// Owns the clipboard as another application would, until its input closes: "text" (5,000 units of
// Japanese), "html" (200,000 bytes of HTML as a page copies it, with a short text), or "mute" (owns it
// and never answers). Writes "ready" once it owns it.
int runClipboardOwner(const QStringList& arguments);

// Times reading the clipboard, owned by another process, into a snapshot: the way the application read
// it before (QClipboard on the main thread, which waits for the owner) beside the way it reads it now (a
// connection of its own on a pool thread, the main thread free), 10 rounds each of the text and the
// HTML, and once against an owner that never answers; prints a JSON line for each.
void runClipboardReadBench(const QString& executable);

}  // namespace tavrine::bench
