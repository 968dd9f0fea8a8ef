#pragma once

#include <QString>

#include <sys/types.h>
#include <utility>

namespace tavrine {

// The two loopback addresses a browser listens on: 127.0.0.1, or ::1 when another program holds
// 127.0.0.1 on the browser's port (Chromium falls back to it then).
enum class LoopbackAddress { ipv4, ipv6 };

// Who answers a connection to a loopback address on a port.
enum class LoopbackListener {
    none,     // nothing listens there
    owned,    // the process listens there, and nobody else does
    foreign,  // another process listens there (too), or who does cannot be told
};

// The listener that a connection to 127.0.0.1:`port` (or [::1]:`port`) reaches, as the kernel's socket
// tables in `processRoot`/net/tcp and tcp6 show it: the listening sockets bound to that very address
// (127.0.0.1 or ::ffff:127.0.0.1; ::1) when there are any, else those bound to every address (0.0.0.0
// or ::; ::). They are
// the process's when each of them is one of its open files (the socket's inode among the links of
// `processRoot`/<pid>/fd); where the process's files cannot be read (another user's process), when each
// belongs to the process's user. Tells nothing about what happens after a connection: it is checked
// before one is made, so that nothing is sent to a listener that is not the browser.
LoopbackListener loopbackListenerOwnership(const QString& processRoot, pid_t pid, quint16 port,
                                           LoopbackAddress address = LoopbackAddress::ipv4);

// Where a connection to `port` reaches the process alone: 127.0.0.1 when the process is the listener
// there, else ::1 when it is there (owned). Otherwise nothing is to be sent to the port: foreign when
// another process listens on either address, none when nothing does.
std::pair<LoopbackListener, LoopbackAddress> loopbackRoute(const QString& processRoot, pid_t pid, quint16 port);

}  // namespace tavrine
