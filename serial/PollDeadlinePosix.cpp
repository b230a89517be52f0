#include "PollDeadline.h"

#include <poll.h>

#include <cerrno>
#include <climits>

PollResult PollUntil(int fd, short events, std::optional<std::chrono::steady_clock::time_point> deadline) {
    using namespace std::chrono;
    PollResult result;
    for (;;) {
        int timeout = -1;
        if (deadline) {
            const auto left = *deadline - steady_clock::now();
            if (left <= steady_clock::duration::zero()) {
                timeout = 0;
            } else {
                // Round up: waking a little early would only poll again.
                const auto ms = ceil<milliseconds>(left).count();
                timeout = ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
            }
        }
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, timeout);
        if (n > 0) {
            result.revents = p.revents;
            return result;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            result.error = errno;
            return result;
        }
        if (deadline && steady_clock::now() >= *deadline) {
            result.timedOut = true;
            return result;
        }
    }
}
