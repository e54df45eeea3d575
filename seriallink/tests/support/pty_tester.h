#pragma once
// Test side of a serial line: a raw pseudo-terminal whose master plays the fan tester
// and whose slave is published as COM<n> in a temporary port map.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/report.h"

namespace fanbench::testsupport {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Points XDG_CONFIG_HOME at a fresh temporary folder for the object's lifetime.
class TempConfigHome {
  public:
    TempConfigHome();
    ~TempConfigHome();
    const std::string& path() const { return path_; }
    std::string portMapDir() const { return path_ + "/fanbench/ports"; }

  private:
    std::string path_;
    std::string saved_;
    bool hadSaved_ = false;
};

class PtyTester {
  public:
    enum class Line { Raw, Cooked };  // Cooked: the terminal defaults a new pty starts with
    explicit PtyTester(Line line = Line::Raw);
    ~PtyTester();
    PtyTester(const PtyTester&) = delete;
    PtyTester& operator=(const PtyTester&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    int slaveFd() const { return slave_; }

    // Publishes the slave as COM<n> in the current XDG_CONFIG_HOME's port map.
    void linkAs(int comPort) const;
    // Publishes the slave at an exact path, for example a wine prefix's dosdevices/com3.
    void linkAt(const std::string& path) const;

    void send(std::span<const std::uint8_t> bytes) const;
    // Like send(), but gives up after `limit` or on an error instead of throwing: for
    // floods and for reports that may race a closing port.
    bool trySend(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit) const;
    void sendReport(const protocol::FanReport& report) const;

    // Bytes the host sent, waiting up to `timeout` for at least `count` of them.
    Bytes receive(std::size_t count, std::chrono::milliseconds timeout = 3000ms) const;
    // Everything that arrives within `quiet` of silence.
    Bytes drain(std::chrono::milliseconds quiet = 100ms) const;

    // Fills the line from the host to the tester until it takes no more, as a tester
    // that stops reading would: the host's next write then waits.
    void stopReading() const;

    // The device disappears: the master closes, as when a USB adapter is pulled.
    void hangUp();
    // Drops the slave side we hold, so the line goes down when the host closes too.
    void releaseSlave();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace fanbench::testsupport
