// Owns an X11 selection (CLIPBOARD, or PRIMARY with --primary) for the selection tests, serving it the
// way one kind of real program does:
//   selection-owner STYLE [--primary]
// STYLE is one of
//   mute          takes the selection at once, writes "ready" and never answers a request (a hung program);
//   every-target  answers TARGETS with its one format and every other target, TIMESTAMP included, with its
//                 data, typed as its format (as xclip does). Data larger than the largest request the
//                 server takes, divided by four, goes incrementally with no size announced, one transfer
//                 at a time: requests that come meanwhile are never answered, a requestor that leaves the
//                 transfer unfinished holds it up for good, and an error (a piece written to a requestor's
//                 window that is gone) ends the program with status 3;
//   incremental   answers TARGETS and its format, refuses TIMESTAMP and every other target, and sends data
//                 of more than 4,000 bytes incrementally, its size announced, several transfers at once,
//                 each given up when its requestor's window goes;
//   timestamp     answers TARGETS, TIMESTAMP (the server time at which it took the selection, an INTEGER
//                 of format 32) and its format, refuses the rest, and sends data of more than 16,384
//                 bytes incrementally as incremental does;
//   bare          answers its format alone, whole, and refuses TARGETS, TIMESTAMP and the rest.
// Each line "FORMAT FILE" on its standard input takes the selection anew with the file's bytes offered as
// FORMAT (a target name such as text/html or UTF8_STRING) and writes "ready" once it owns it, at a server
// time later than its last take. Another
// line from an every-target owner whose incremental transfer is still unfinished writes "unfinished" and
// ends with status 3. It ends with status 0 when its input closes.
#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

enum class Style { mute, everyTarget, incremental, timestamp, bare };

using Event = std::unique_ptr<xcb_generic_event_t, decltype(&std::free)>;

// An incremental transfer under way: the next piece goes when the requestor deletes the last one.
struct Transfer {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::string data;
    std::size_t sent = 0;
    bool ended = false;
};

class Owner {
public:
    Owner(Style style, bool primary) : m_style(style) {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection)) std::exit(1);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const std::uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, events);
        m_selection = primary ? std::uint32_t(XCB_ATOM_PRIMARY) : atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_timestamp = atom("TIMESTAMP");
        m_incremental = atom("INCR");
        switch (style) {
        // xclip's own measure: the largest request in units of four bytes, divided by four, taken as bytes.
        case Style::everyTarget: m_piece = xcb_get_maximum_request_length(m_connection) / 4; break;
        case Style::incremental: m_piece = 4'000; break;
        case Style::timestamp: m_piece = 16'384; break;
        case Style::mute: break;
        case Style::bare: m_piece = std::string::npos; break;
        }
    }

    // The connection is closed at the end, so that a leak check at exit finds nothing of it.
    ~Owner() { xcb_disconnect(m_connection); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    int run() {
        if (m_style == Style::mute) take();
        pollfd descriptors[2] = {{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0},
                                 {.fd = xcb_get_file_descriptor(m_connection), .events = POLLIN, .revents = 0}};
        std::string input;
        while (true) {
            while (auto event = Event(xcb_poll_for_event(m_connection), &std::free)) handle(event.get());
            if (xcb_connection_has_error(m_connection)) return 1;
            if (::poll(descriptors, 2, -1) < 0) return 1;
            if (descriptors[0].revents == 0) continue;
            char buffer[4096];
            const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (count <= 0) return 0;
            input.append(buffer, std::size_t(count));
            for (auto end = input.find('\n'); end != std::string::npos; end = input.find('\n')) {
                const std::string line = input.substr(0, end);
                input.erase(0, end + 1);
                offer(line);
            }
        }
    }

private:
    xcb_atom_t atom(const std::string& name) {
        auto* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, std::uint16_t(name.size()), name.c_str()), nullptr);
        if (!reply) std::exit(1);
        const xcb_atom_t value = reply->atom;
        std::free(reply);
        return value;
    }

    void say(const char* line) {
        std::printf("%s\n", line);
        std::fflush(stdout);
    }

    void offer(const std::string& line) {
        if (m_style == Style::everyTarget && !m_transfers.empty()) {
            say("unfinished");
            std::exit(3);
        }
        std::istringstream words(line);
        std::string format;
        std::string path;
        words >> format >> path;
        std::ifstream file(path, std::ios::binary);
        m_data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        m_format = atom(format);
        take();
    }

    // Asks the server for its time through a change of a property of our own; the selection is taken
    // with that time once the change is reported.
    void take() {
        xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                            nullptr);
        xcb_flush(m_connection);
        m_awaitingTime = true;
    }

    void handle(const xcb_generic_event_t* event) {
        switch (event->response_type & 0x7f) {
        case 0:
            // An error: with xclip's library, the end of the program.
            if (m_style == Style::everyTarget) {
                say("died");
                std::exit(3);
            }
            break;
        case XCB_PROPERTY_NOTIFY: {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (notify->window == m_window && m_awaitingTime) {
                // A take within the server millisecond of the last one could not be told from it by anyone:
                // a person never copies twice in a millisecond. Ask for the time again until it has moved.
                if (m_takenAt != XCB_CURRENT_TIME && notify->time <= m_takenAt) {
                    ::usleep(1'000);
                    take();
                    break;
                }
                m_awaitingTime = false;
                m_takenAt = notify->time;
                xcb_set_selection_owner(m_connection, m_window, m_selection, m_takenAt);
                auto* owner = xcb_get_selection_owner_reply(
                    m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr);
                if (!owner || owner->owner != m_window) std::exit(1);
                std::free(owner);
                say("ready");
            } else if (notify->state == XCB_PROPERTY_DELETE) {
                sendNextPiece(notify->window, notify->atom);
            }
            break;
        }
        case XCB_DESTROY_NOTIFY: {
            const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
            std::erase_if(m_transfers, [&](const auto& entry) { return entry.first.first == destroyed->window; });
            break;
        }
        case XCB_SELECTION_REQUEST:
            if (m_style == Style::mute) break;
            if (m_style == Style::everyTarget && !m_transfers.empty()) break;
            answer(*reinterpret_cast<const xcb_selection_request_event_t*>(event));
            break;
        default: break;
        }
    }

    void answer(const xcb_selection_request_event_t& request) {
        const xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
        bool given = true;
        if (request.target == m_targets && m_style != Style::bare) {
            std::vector<xcb_atom_t> targets{m_targets};
            if (m_style == Style::timestamp) targets.push_back(m_timestamp);
            targets.push_back(m_format);
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                std::uint32_t(targets.size()), targets.data());
        } else if (request.target == m_timestamp && m_style == Style::timestamp) {
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER, 32,
                                1, &m_takenAt);
        } else if (request.target == m_format || m_style == Style::everyTarget) {
            send(request.requestor, property);
        } else {
            given = false;
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = given ? property : xcb_atom_t(XCB_ATOM_NONE);
        xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<char*>(&notify));
        xcb_flush(m_connection);
    }

    // The data whole, or the announcement of an incremental transfer.
    void send(xcb_window_t requestor, xcb_atom_t property) {
        if (m_data.size() <= m_piece) {
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, m_format, 8,
                                std::uint32_t(m_data.size()), m_data.data());
            return;
        }
        std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        if (m_style != Style::everyTarget) events |= XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, &events);
        const auto size = std::uint32_t(m_data.size());
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, m_incremental, 32,
                            m_style == Style::everyTarget ? 0 : 1, &size);
        m_transfers[{requestor, property}] = Transfer{.type = m_format, .data = m_data};
    }

    void sendNextPiece(xcb_window_t requestor, xcb_atom_t property) {
        const auto found = m_transfers.find({requestor, property});
        if (found == m_transfers.end()) return;
        Transfer& transfer = found->second;
        const std::size_t size = std::min(m_piece, transfer.data.size() - transfer.sent);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, transfer.type, 8,
                            std::uint32_t(size), transfer.data.data() + transfer.sent);
        xcb_flush(m_connection);
        transfer.sent += size;
        // The empty piece that ends the transfer has gone.
        if (size == 0) m_transfers.erase(found);
    }

    Style m_style;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_selection = XCB_ATOM_NONE;
    xcb_atom_t m_targets = XCB_ATOM_NONE;
    xcb_atom_t m_timestamp = XCB_ATOM_NONE;
    xcb_atom_t m_incremental = XCB_ATOM_NONE;
    xcb_atom_t m_format = XCB_ATOM_NONE;
    std::string m_data;
    std::size_t m_piece = 0;
    bool m_awaitingTime = false;
    xcb_timestamp_t m_takenAt = XCB_CURRENT_TIME;
    std::map<std::pair<xcb_window_t, xcb_atom_t>, Transfer> m_transfers;
};

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, Style> styles{{"mute", Style::mute},
                                              {"every-target", Style::everyTarget},
                                              {"incremental", Style::incremental},
                                              {"timestamp", Style::timestamp},
                                              {"bare", Style::bare}};
    const auto style = argc > 1 ? styles.find(argv[1]) : styles.end();
    if (style == styles.end()) {
        std::fprintf(stderr, "usage: selection-owner mute|every-target|incremental|timestamp|bare [--primary]\n");
        return 2;
    }
    const bool primary = argc > 2 && std::strcmp(argv[2], "--primary") == 0;
    return Owner(style->second, primary).run();
}
