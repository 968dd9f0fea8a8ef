#pragma once

namespace tavrine::bench {

// capture-bench's paste line, run on a private X server with openbox (capture-bench starts itself there
// with --paste): the real tavrine with fresh user folders and a trace file, the clipboard owned by xclip,
// Ctrl+Shift+V pressed in the reader window 10 times for each clipboard (1 KiB of text, pages of 1 KiB and
// 1 MiB), and the time from the menu command to the first paint with the imported reading's first
// phrase, from the application's own time marks. Prints a JSON line for each clipboard; 0 when it ran.
int runPasteBench();

}  // namespace tavrine::bench
