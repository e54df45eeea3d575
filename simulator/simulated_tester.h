#pragma once
// The fan tester's behaviour on the master side of a pseudo-terminal: takes command
// bytes, sends a report every interval, and injects the faults it was asked for.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <random>
#include <span>

#include "protocol/report.h"
#include "simulator/fan_model.h"
#include "simulator/sim_options.h"

namespace fanbench::simulator {

class SimulatedTester {
  public:
    SimulatedTester(const SimOptions& options, int masterFd, std::FILE* log);

    // Serves until `stop` becomes true or the hang-up fault fires.
    void run(const std::atomic<bool>& stop);

    void takeCommands(std::span<const std::uint8_t> bytes);

  private:
    void sendReport();
    void writeAll(std::span<const std::uint8_t> bytes);

    SimOptions options_;
    int masterFd_;
    std::FILE* log_;
    FanModel fan_;
    std::mt19937 random_;
    std::uint8_t fanTypeCode_;
    int shownDuty_ = 0;
    int pendingDuty_ = 0;
    int lagLeft_ = 0;
    long reportsSent_ = 0;
};

}  // namespace fanbench::simulator
