#pragma once

#include <QString>

namespace tavrine::bench {

// Times the clipboard hot key to the player's first chunk, 10 rounds each of 5,000 units of text and of
// 200,000 bytes of HTML, and prints a JSON line for each; needs the X11 platform. 0 when it ran.
int runHotKeyBench(const QString& workerExecutable);

}  // namespace tavrine::bench
