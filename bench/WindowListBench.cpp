// window-list-bench: the frame of another process's front window among 50 client windows, the query a
// capture hot key makes before the capture starts. Runs itself on a private X server with openbox
// (scripts/with-xvfb --openbox); prints one JSON line:
//   {"windows":50,"frontWindowFrameMs":<median of 20>}
#include "PelmoraMac/X11/X11Desktop.h"
#include "support/CheckoutPaths.h"

#include <xcb/xcb.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kWindows = 50;
constexpr int kRounds = 20;

// A client of its own: maps `count` top-level windows, says so on `ready`, and lives until `done` closes.
[[noreturn]] void showWindows(int count, int ready, int done) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) std::_Exit(1);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const char name[] = "_NET_WM_PID";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    const std::uint32_t pid = std::uint32_t(::getpid());
    for (int i = 0; i < count; ++i) {
        const xcb_window_t window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, std::int16_t(20 + 10 * i),
                          std::int16_t(20 + 10 * i), 300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0,
                          nullptr);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(connection, window);
    }
    std::free(atom);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    char byte = 1;
    if (::write(ready, &byte, 1) != 1) std::_Exit(1);
    while (::read(done, &byte, 1) > 0) {
    }
    xcb_disconnect(connection);
    std::_Exit(0);
}

struct Client {
    pid_t pid;
    int done;
};

Client startClient(int count) {
    int ready[2];
    int done[2];
    if (::pipe(ready) != 0 || ::pipe(done) != 0) std::exit(1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        ::close(done[1]);
        showWindows(count, ready[1], done[0]);
    }
    ::close(ready[1]);
    ::close(done[0]);
    char byte = 0;
    if (::read(ready[0], &byte, 1) != 1) std::exit(1);
    ::close(ready[0]);
    return {pid, done[1]};
}

}  // namespace

int main(int argc, char** argv) {
    // On a private server of its own, so the figures compare run after run.
    if (!std::getenv("TAVRINE_WINDOW_LIST_BENCH_SERVER")) {
        ::setenv("TAVRINE_WINDOW_LIST_BENCH_SERVER", "1", 1);
        const QByteArray withXvfb = tavrine::test::inCheckoutEncoded(TAVRINE_WITH_XVFB);
        const char* arguments[] = {withXvfb.constData(), "--openbox", argv[0], nullptr};
        ::execv(withXvfb.constData(), const_cast<char* const*>(arguments));
        std::perror("window-list-bench: with-xvfb");
        return 1;
    }
    (void)argc;

    // The measured process's one window lies at the back, under the 49 of another client.
    const Client target = startClient(1);
    const Client others = startClient(kWindows - 1);

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) return 1;
    const tavrine::X11Desktop desktop(connection);
    // Until the window manager lists every window.
    for (int i = 0; i < 500 && !desktop.frontWindowFrame(target.pid); ++i) ::usleep(10'000);
    ::usleep(300'000);
    if (!desktop.frontWindowFrame(target.pid)) {
        std::fprintf(stderr, "window-list-bench: the window was not found\n");
        return 1;
    }

    std::vector<double> milliseconds;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const auto frame = desktop.frontWindowFrame(target.pid);
        const auto end = std::chrono::steady_clock::now();
        if (!frame) return 1;
        milliseconds.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const double median = (milliseconds[kRounds / 2 - 1] + milliseconds[kRounds / 2]) / 2;
    std::printf("{\"windows\":%d,\"frontWindowFrameMs\":%.3f}\n", kWindows, median);
    std::fflush(stdout);

    xcb_disconnect(connection);
    // Each client holds the other's pipe too, so neither would see its pipe end.
    for (const Client& client : {target, others}) {
        ::kill(client.pid, SIGTERM);
        ::waitpid(client.pid, nullptr, 0);
    }
    return 0;
}
