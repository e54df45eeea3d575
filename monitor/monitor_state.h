#pragma once
// The monitor's program-wide state.

#include <array>
#include <atomic>
#include <cstdint>

namespace fanbench::monitor {

inline constexpr std::array<std::uint32_t, 12> kBaudRateTable = {
    110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

struct MonitorState {
    // Connection: kept for the run only, never written to the settings file.
    int portNumber = 1;
    int baudIndex = 6;  // 9600
    // Settings: written on the window thread, read by the receive thread.
    std::atomic<int> ignoreRotation{1};
    // Bumped when a connection ends, so reports still in flight from it are dropped.
    std::atomic<unsigned> connection{0};
};

}  // namespace fanbench::monitor
