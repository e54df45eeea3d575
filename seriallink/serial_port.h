#pragma once
// The one serial connection to the fan tester: open by COM number with fixed line
// settings (8N1, raw), bounded writes, close.

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace fanbench::seriallink {

enum class PortSharing {
    Shared,     // other shared openers may use the port at the same time
    Exclusive,  // nobody else may open it while we hold it
};

// Why the last open failed, for the user: the device tried and the system's reason.
struct OpenFailure {
    std::string device;  // empty when no device was tried (port number <= 0)
    std::string reason;
};

class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens COM `portNumber`; false on failure, with lastFailure() saying why.
    bool open(int portNumber, int baudRate, PortSharing sharing);
    bool isOpen() const;
    void close();

    // Sends all bytes or gives up 3000 ms after issuing. The outcome is not reported.
    // Safe from two threads: one write's bytes never interleave with another's.
    void write(std::span<const std::uint8_t> bytes);

    const OpenFailure& lastFailure() const { return lastFailure_; }
    const std::string& devicePath() const { return devicePath_; }

    struct Native;  // the platform's handle, shared with the receive worker of that platform
    const Native& native() const { return *native_; }

  private:
    std::unique_ptr<Native> native_;
    std::mutex writeMutex_;
    OpenFailure lastFailure_;
    std::string devicePath_;
};

}  // namespace fanbench::seriallink
