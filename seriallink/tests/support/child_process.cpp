#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

namespace fanbench::testsupport {

namespace {

void readInto(int& fd, std::string& out) {
    if (fd < 0) return;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
        out.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

std::string programPath(const std::string& name) {
    return std::string(FANBENCH_BIN_DIR) + "/" + name;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           Input input) {
    int outPipe[2];
    int errPipe[2];
    int inPipe[2] = {-1, -1};
    int ptyMaster = -1;
    int ptySlave = -1;
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (input == Input::Pipe && ::pipe2(inPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (input == Input::Terminal &&
        ::openpty(&ptyMaster, &ptySlave, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }

    std::vector<char*> argv;
    std::string prog = program;
    argv.push_back(prog.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        int in = -1;
        if (input == Input::Null) in = ::open("/dev/null", O_RDONLY);
        if (input == Input::Pipe) in = inPipe[0];
        if (input == Input::Terminal) {
            ::setsid();
            in = ptySlave;
            ::ioctl(in, TIOCSCTTY, 0);
        }
        ::dup2(in, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::execv(prog.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    if (input == Input::Pipe) {
        ::close(inPipe[0]);
        inputFd_ = inPipe[1];
    }
    if (input == Input::Terminal) {
        ::close(ptySlave);
        inputFd_ = ptyMaster;
        ::fcntl(ptyMaster, F_SETFD, FD_CLOEXEC);
    }
    ::fcntl(outFd_, F_SETFL, O_NONBLOCK);
    ::fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {inputFd_, outFd_, errFd_}) {
        if (fd >= 0) ::close(fd);
    }
}

void ChildProcess::type(const std::string& keys) const {
    [[maybe_unused]] const ssize_t n = ::write(inputFd_, keys.data(), keys.size());
}

void ChildProcess::closeInput() {
    if (inputFd_ >= 0) ::close(inputFd_);
    inputFd_ = -1;
}

void ChildProcess::closeOutput() {
    if (outFd_ >= 0) ::close(outFd_);
    outFd_ = -1;
}

void ChildProcess::signal(int signalNumber) const {
    ::kill(pid_, signalNumber);
}

void ChildProcess::pump(int timeoutMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0) return;
    if (fds[0].revents != 0) readInto(outFd_, result_.out);
    if (fds[1].revents != 0) readInto(errFd_, result_.err);
}

bool ChildProcess::waitFor(const std::string& stream, const std::string& text,
                           std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (stream.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline || (outFd_ < 0 && errFd_ < 0)) return false;
        pump(10);
    }
    return true;
}

ChildResult ChildProcess::finish(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    bool reaped = false;
    while (!reaped || outFd_ >= 0 || errFd_ >= 0) {
        if (!reaped && ::waitpid(pid_, &status, WNOHANG) == pid_) reaped = true;
        if (std::chrono::steady_clock::now() > deadline) {
            if (!reaped) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                reaped = true;
            }
            while (outFd_ >= 0 || errFd_ >= 0) pump(50);
            break;
        }
        pump(reaped ? 50 : 5);
    }
    pid_ = -1;
    if (WIFEXITED(status)) result_.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.killedBy = WTERMSIG(status);
    return result_;
}

}  // namespace fanbench::testsupport
