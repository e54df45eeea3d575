#pragma once
// The sweep's keyboard and termination signals: waits for q/Q, a signal or a timeout.
// While it exists, a terminal on standard input delivers keys at once, unechoed.

#include <chrono>
#include <functional>

namespace fanbench::sweep {

class Console {
  public:
    enum class Wake { Timeout, QuitKey, Signal };

    explicit Console(int inputFd = 0);
    ~Console();  // restores the terminal and the signal dispositions
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Returns at once on q/Q (other keys are consumed) or a signal; input that has
    // ended is not read again.
    Wake wait(std::chrono::milliseconds timeout);

    int caughtSignal() const;

    // Ends a wait in progress (or the next one) early; safe from any thread.
    void wake();

    // Runs `start` with the termination signals blocked, so threads it starts leave
    // them to the thread that waits here.
    static bool withSignalsBlocked(const std::function<bool()>& start);

  private:
    struct State;
    State* state_;
};

}  // namespace fanbench::sweep
