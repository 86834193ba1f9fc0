#include "platform/TerminationSignals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/Trace.h"

namespace quillon {
namespace {

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

void EndProcessNow(int status) {
    std::fflush(nullptr);
    ::_exit(status);
}

TerminationSignals::TerminationSignals() {
    sigset_t set = EndingSignals();
    sigset_t before;
    if (pthread_sigmask(SIG_BLOCK, &set, &before) != 0) {
        Trace("*** Signale nicht blockiert: sie beenden das Programm sofort\n");
        return;
    }
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (signalFd_ >= 0 && stopFd_ >= 0) {
        try {
            watcher_ = std::thread([this] { Watch(); });
            return;
        } catch (const std::system_error&) {
        }
    }
    Trace("*** Kein W\344chter f\374r Signale (%s): sie beenden das Programm sofort\n", std::strerror(errno));
    for (int* fd : {&signalFd_, &stopFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (watcher_.joinable()) {
        uint64_t one = 1;
        while (::write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
        watcher_.join();
    }
    for (int fd : {signalFd_, stopFd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void TerminationSignals::SetHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
    if (handler_) {
        for (int signal : kept_) {
            handler_(signal);
        }
        kept_.clear();
    }
}

void TerminationSignals::Watch() {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Trace("*** Signal-W\344chter: poll gescheitert: %s\n", std::strerror(errno));
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        signalfd_siginfo info;
        ssize_t got = ::read(signalFd_, &info, sizeof info);
        if (got != static_cast<ssize_t>(sizeof info)) {
            continue;  // EINTR or EAGAIN: poll again
        }
        int signal = static_cast<int>(info.ssi_signo);
        // The handler runs under the lock, so that SetHandler can promise that an old one has ended.
        std::lock_guard lock(mutex_);
        if (handler_) {
            handler_(signal);
        } else {
            kept_.push_back(signal);
        }
    }
}

}  // namespace quillon
