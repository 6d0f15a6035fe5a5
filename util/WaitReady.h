#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include <poll.h>

/// Waits until fd is ready for events (POLLIN, POLLOUT) or the deadline passes; true when
/// ready. An error or hang-up on the descriptor counts as ready: the next call on it
/// reports what happened. Interrupted waits go on until the deadline.
inline bool WaitReady(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(
                                   deadline - std::chrono::steady_clock::now())
                                   .count();
        if (remaining <= 0)
            return false;
        pollfd entry{fd, events, 0};
        const int ready =
            ::poll(&entry, 1, static_cast<int>(std::min<long long>(remaining, INT_MAX)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}
