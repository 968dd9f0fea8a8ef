// Stands in for a browser's process in the tests: its executable is named "chromium", it takes any
// arguments (--remote-debugging-port among them) and listens nowhere; it ends when its input closes.
#include <unistd.h>

int main() {
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
