#pragma once
// Runs a program of ours as a child with captured output, for end-to-end tests.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace fanbench::testsupport {

struct ChildResult {
    int exitStatus = -1;  // exit code, or -1 when killed by a signal
    int killedBy = 0;
    std::string out;
    std::string err;
};

class ChildProcess {
  public:
    enum class Input { Null, Pipe, Terminal };

    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 Input input = Input::Null);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Keys for a Pipe or Terminal input.
    void type(const std::string& keys) const;
    void closeInput();
    void closeOutput();  // the reader of standard output goes away
    void signal(int signalNumber) const;
    pid_t pid() const { return pid_; }
    int terminalFd() const { return inputFd_; }

    // Waits up to `limit` for standard error to contain `text` (output keeps being read).
    bool waitForError(const std::string& text, std::chrono::milliseconds limit) {
        return waitFor(result_.err, text, limit);
    }
    bool waitForOutput(const std::string& text, std::chrono::milliseconds limit) {
        return waitFor(result_.out, text, limit);
    }
    // Collects all output and the exit status; kills the child after `limit`.
    ChildResult finish(std::chrono::milliseconds limit);

  private:
    void pump(int timeoutMs);
    bool waitFor(const std::string& stream, const std::string& text,
                 std::chrono::milliseconds limit);

    pid_t pid_ = -1;
    int inputFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    ChildResult result_;
};

// Path of a built program, from the FANBENCH_BIN_DIR the test was compiled with.
std::string programPath(const std::string& name);

}  // namespace fanbench::testsupport
