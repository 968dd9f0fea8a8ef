// Stands in for a browser's process in the tests: its executable is named "chromium", it takes any
// arguments (--remote-debugging-port among them) and listens nowhere. It runs until it is terminated or
// the test that started it ends (whatever its standard input is: a test run with its input closed may
// hand it a closed one), and at most two minutes. It writes one line once it runs.
#include <sys/prctl.h>

#include <unistd.h>
#include <csignal>

int main() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1) return 0;
    ::alarm(120);
    (void)!::write(STDOUT_FILENO, "ready\n", 6);
    for (;;) ::pause();
}
