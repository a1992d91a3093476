#include "platform/stopsignal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <mutex>

namespace {

volatile std::sig_atomic_t gRequested = 0;
int gWake[2] = {-1, -1};
std::once_flag gPipeOnce;

void MakePipe() {
    std::call_once(gPipeOnce, [] {
        if (::pipe2(gWake, O_CLOEXEC | O_NONBLOCK) != 0) gWake[0] = gWake[1] = -1;
    });
}

void Wake() {
    if (gWake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t w = ::write(gWake[1], &byte, 1);
    }
}

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    gRequested = 1;
    Wake();
    errno = saved;
}

void Drain() {
    char buffer[32];
    while (gWake[0] >= 0 && ::read(gWake[0], buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

void StopSignal_Install() {
    MakePipe();
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void StopSignal_Raise() {
    MakePipe();
    gRequested = 1;
    Wake();
}

void StopSignal_Reset() {
    MakePipe();
    Drain();
    gRequested = 0;
}

bool StopSignal_Requested() {
    return gRequested != 0;
}

int StopSignal_WaitFd() {
    MakePipe();
    return gWake[0];
}

bool StopSignal_SleepUntil(std::chrono::steady_clock::time_point deadline) {
    MakePipe();
    using namespace std::chrono;
    for (;;) {
        if (gRequested != 0) return true;
        const auto left = deadline - steady_clock::now();
        if (left <= steady_clock::duration::zero()) return false;
        const auto ns = duration_cast<nanoseconds>(left).count();
        timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd fd{gWake[0], POLLIN, 0};
        const int ready = ::ppoll(&fd, gWake[0] >= 0 ? 1 : 0, &timeout, nullptr);
        if (ready > 0) Drain();
        // EINTR and a woken pipe both loop back to check the request and the time left.
    }
}
