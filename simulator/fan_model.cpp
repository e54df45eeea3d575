#include "simulator/fan_model.h"

#include <algorithm>
#include <cmath>

namespace fanbench::simulator {

FanModel::FanModel(FanSpec fan, std::uint32_t seed) : spec_(fan), random_(seed) {}

std::uint64_t FanModel::tachCount(int dutyIndex) {
    const double duty = std::clamp(dutyIndex, 0, 20) / 20.0;
    std::uniform_int_distribution<int> noise(-spec_.noiseCounts, spec_.noiseCounts);
    if (spec_.kind == FanKind::ThreePin && dutyIndex < 20) {
        // PWM on a 3-pin fan's supply chops its tach signal too: low, erratic readings.
        std::uniform_int_distribution<int> erratic(0, 6);
        return static_cast<std::uint64_t>(erratic(random_));
    }
    // Speed rises a little faster than linearly at low duty, as real fans do.
    const double rpm = spec_.minRpm + (spec_.maxRpm - spec_.minRpm) * std::pow(duty, 0.85);
    const long counts = std::lround(rpm / 30.0) + noise(random_);
    return static_cast<std::uint64_t>(std::max(0L, counts));
}

}  // namespace fanbench::simulator
