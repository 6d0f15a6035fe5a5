#pragma once

#include <utility>

#include <unistd.h>

/// Owns one POSIX descriptor (a socket or a file) and closes it when it goes out of scope.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }

    /// Closes now and reports whether the close itself succeeded (delayed write errors).
    bool Close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }
    /// Closes now, ignoring the outcome.
    void Reset() { Close(); }
    /// Gives the descriptor up to a new owner without closing it.
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};
