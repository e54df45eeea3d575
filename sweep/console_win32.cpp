#include <conio.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "sweep/console.h"

namespace fanbench::sweep {

namespace {

// Ctrl-C, Ctrl-Break and closing the console take the same shutdown as Q; the status
// is then 128 + the matching signal number (SIGINT 2, SIGBREAK 21, SIGHUP 1).
std::atomic<int> gCaught{0};
std::atomic<bool> gQuitKey{false};
HANDLE gWake = nullptr;
HANDLE gShutdownDone = nullptr;

BOOL WINAPI onConsoleControl(DWORD type) {
    int number = 0;
    switch (type) {
        case CTRL_C_EVENT:
            number = 2;
            break;
        case CTRL_BREAK_EVENT:
            number = 21;
            break;
        default:
            number = 1;
            break;  // close, logoff, shutdown
    }
    int expected = 0;
    gCaught.compare_exchange_strong(expected, number);
    SetEvent(gWake);
    // For a closing console the process ends when we return: give the shutdown time.
    if (number == 1 && gShutdownDone != nullptr) WaitForSingleObject(gShutdownDone, 4000);
    return TRUE;
}

}  // namespace

struct Console::State {
    HANDLE input = nullptr;
    bool console = false;
};

// A pipe or file on standard input is read by a thread of its own with plain blocking
// reads, which every kind of handle supports; it ends at the end of input.
void readKeys(HANDLE input) {
    char keys[64];
    DWORD got = 0;
    while (ReadFile(input, keys, sizeof keys, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (keys[i] == 'q' || keys[i] == 'Q') {
                gQuitKey = true;
                SetEvent(gWake);
            }
        }
    }
}

Console::Console(int) : state_(new State) {
    state_->input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    state_->console = GetConsoleMode(state_->input, &mode) != 0;
    gCaught = 0;
    gQuitKey = false;
    gWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!state_->console && state_->input != nullptr && state_->input != INVALID_HANDLE_VALUE) {
        // It may sit in a read when the program ends; the process exit ends it.
        std::thread(readKeys, state_->input).detach();
    }
    gShutdownDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

Console::~Console() {
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    SetEvent(gShutdownDone);
    delete state_;
}

int Console::caughtSignal() const {
    return gCaught.load();
}

void Console::wake() {
    SetEvent(gWake);
}

bool Console::withSignalsBlocked(const std::function<bool()>& start) {
    return start();
}

Console::Wake Console::wait(std::chrono::milliseconds timeout) {
    // Keys are looked at every 10 ms; the wake event ends the wait at once.
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(timeout.count());
    for (;;) {
        if (gCaught.load() != 0) return Wake::Signal;
        if (gQuitKey.load()) return Wake::QuitKey;
        if (state_->console) {
            while (_kbhit()) {
                const int key = _getch();
                if (key == 'q' || key == 'Q') return Wake::QuitKey;
            }
        }
        const LONG left = static_cast<LONG>(deadline - GetTickCount());
        if (left <= 0) return Wake::Timeout;
        if (WaitForSingleObject(gWake, left < 10 ? static_cast<DWORD>(left) : 10) ==
            WAIT_OBJECT_0) {
            if (gCaught.load() != 0) return Wake::Signal;
            return gQuitKey.load() ? Wake::QuitKey : Wake::Timeout;
        }
    }
}

}  // namespace fanbench::sweep
