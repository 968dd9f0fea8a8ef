#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <utility>

namespace tavrine {

// Owns an open file descriptor and closes it on every path; a failing close after reading loses nothing.
// A negative descriptor (a failed open) is held as it is and closes nothing. Moving hands the descriptor
// over: the one moved from then holds none.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// One read(2) of up to maxBytes, retried when a signal interrupts it; -1 on failure with errno set.
inline ssize_t readSome(int fd, char* buffer, size_t maxBytes) {
    ssize_t count;
    do {
        count = ::read(fd, buffer, maxBytes);
    } while (count < 0 && errno == EINTR);
    return count;
}

}  // namespace tavrine
