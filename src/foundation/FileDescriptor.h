#pragma once

#include <utility>

#include <unistd.h>

namespace morvane {

// An open file descriptor, closed when it goes (none when negative).
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    // Hands the descriptor over: it is no longer closed here.
    int release() { return std::exchange(m_fd, -1); }
    // Closes the one held now, if any, and holds fd instead.
    void reset(int fd = -1)
    {
        if (const int old = std::exchange(m_fd, fd); old >= 0)
            ::close(old);
    }

private:
    int m_fd;
};

} // namespace morvane
