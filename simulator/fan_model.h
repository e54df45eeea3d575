#pragma once
// A plausible fan on the tester: what tach count it reports for a duty.

#include <cstdint>
#include <random>

namespace fanbench::simulator {

enum class FanKind { FourPin, ThreePin };

struct FanSpec {
    FanKind kind = FanKind::FourPin;
    int minRpm = 600;  // a 4-pin fan keeps turning at 0 % duty
    int maxRpm = 2400;
    int noiseCounts = 1;  // +- tach counts of jitter (1 count = 30 rpm)
};

class FanModel {
  public:
    FanModel(FanSpec fan, std::uint32_t seed);

    // Tach count (pulses per second, two per revolution) for a report at `dutyIndex`.
    std::uint64_t tachCount(int dutyIndex);

  private:
    FanSpec spec_;
    std::mt19937 random_;
};

}  // namespace fanbench::simulator
