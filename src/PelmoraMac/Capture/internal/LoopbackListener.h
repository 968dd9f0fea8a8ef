#pragma once

#include <QString>

#include <sys/types.h>

namespace tavrine {

// Who answers a connection to 127.0.0.1 on a port.
enum class LoopbackListener {
    none,     // nothing listens there
    owned,    // the process listens there, and nobody else does
    foreign,  // another process listens there (too), or who does cannot be told
};

// The listener that a connection to 127.0.0.1:`port` reaches, as the kernel's socket tables in
// `processRoot`/net/tcp and tcp6 show it: the listening sockets bound to that very address (127.0.0.1,
// or ::ffff:127.0.0.1) when there are any, else those bound to every address (0.0.0.0, ::). They are
// the process's when each of them is one of its open files (the socket's inode among the links of
// `processRoot`/<pid>/fd); where the process's files cannot be read (another user's process), when each
// belongs to the process's user. Tells nothing about what happens after a connection: it is checked
// before one is made, so that nothing is sent to a listener that is not the browser.
LoopbackListener loopbackListenerOwnership(const QString& processRoot, pid_t pid, quint16 port);

}  // namespace tavrine
