#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "sweep/console.h"

namespace fanbench::sweep {

namespace {

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

volatile std::sig_atomic_t gCaughtSignal = 0;
int gSignalPipeWrite = -1;

extern "C" void onTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    if (gCaughtSignal == 0) gCaughtSignal = signalNumber;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipeWrite, &byte, 1);
    errno = savedErrno;
}

// Signals kept off other threads. SIGPIPE is not among them: it goes to the thread
// whose write failed, and a blocked one would never be seen.
sigset_t redirectedSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
    return set;
}

}  // namespace

struct Console::State {
    int inputFd;
    bool inputOpen = true;
    bool terminalChanged = false;
    termios savedTerminal{};
    int signalPipe[2] = {-1, -1};
    struct sigaction savedActions[std::size(kHandledSignals)]{};
};

Console::Console(int inputFd) : state_(new State{inputFd}) {
    if (::isatty(inputFd) == 1 && ::tcgetattr(inputFd, &state_->savedTerminal) == 0) {
        termios raw = state_->savedTerminal;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);  // ISIG stays: Ctrl-C still works
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        state_->terminalChanged = ::tcsetattr(inputFd, TCSANOW, &raw) == 0;
    }
    if (::pipe2(state_->signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        gCaughtSignal = 0;
        gSignalPipeWrite = state_->signalPipe[1];
        struct sigaction action {};
        action.sa_handler = onTerminationSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kHandledSignals); ++i) {
            ::sigaction(kHandledSignals[i], &action, &state_->savedActions[i]);
        }
    }
}

Console::~Console() {
    if (state_->signalPipe[0] >= 0) {
        for (std::size_t i = 0; i < std::size(kHandledSignals); ++i) {
            ::sigaction(kHandledSignals[i], &state_->savedActions[i], nullptr);
        }
        gSignalPipeWrite = -1;
        ::close(state_->signalPipe[0]);
        ::close(state_->signalPipe[1]);
    }
    if (state_->terminalChanged) ::tcsetattr(state_->inputFd, TCSANOW, &state_->savedTerminal);
    delete state_;
}

int Console::caughtSignal() const {
    return gCaughtSignal;
}

void Console::wake() {
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(state_->signalPipe[1], &byte, 1);
}

Console::Wake Console::wait(std::chrono::milliseconds timeout) {
    if (gCaughtSignal != 0) return Wake::Signal;
    pollfd fds[2] = {{state_->signalPipe[0], POLLIN, 0},
                     {state_->inputOpen ? state_->inputFd : -1, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(timeout.count()));
    if (gCaughtSignal != 0) return Wake::Signal;
    if (ready <= 0) return Wake::Timeout;
    if ((fds[0].revents & POLLIN) != 0) {
        char drained[16];
        while (::read(state_->signalPipe[0], drained, sizeof drained) > 0) {
        }
        return Wake::Timeout;
    }
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) return Wake::Timeout;

    char keys[64];
    const ssize_t n = ::read(state_->inputFd, keys, sizeof keys);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return Wake::Timeout;
    if (n <= 0) {
        state_->inputOpen = false;  // end of input: no more keys, and no spinning on it
        return Wake::Timeout;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (keys[i] == 'q' || keys[i] == 'Q') return Wake::QuitKey;
    }
    return Wake::Timeout;
}

bool Console::withSignalsBlocked(const std::function<bool()>& start) {
    const sigset_t set = redirectedSet();
    sigset_t saved;
    ::pthread_sigmask(SIG_BLOCK, &set, &saved);
    const bool result = start();
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return result;
}

}  // namespace fanbench::sweep
