#include "platform/Terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace quillon {

bool IsTerminal(StandardStream stream) {
    return ::isatty(static_cast<int>(stream)) == 1;
}

int TerminalColumns(StandardStream stream) {
    winsize size{};
    if (::ioctl(static_cast<int>(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

InputResult ReadInputLine(int64_t timeoutMilliseconds, std::string& line) {
    using Steady = std::chrono::steady_clock;
    line.clear();
    Steady::time_point end = Steady::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        int wait = -1;
        if (timeoutMilliseconds >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Steady::now()).count();
            if (left <= 0) {
                return InputResult::kTimedOut;
            }
            wait = left > 1'000'000'000 ? 1'000'000'000 : static_cast<int>(left);
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        int ready = ::poll(&input, 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return InputResult::kClosed;
        }
        if (ready == 0) {
            continue;  // the deadline is checked at the top
        }
        char c;
        ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return InputResult::kClosed;
        }
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return InputResult::kLine;
        }
        line += c;
    }
}

}  // namespace quillon
