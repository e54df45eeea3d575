#pragma once
// Which device a COM number stands for on this platform.

#include <optional>
#include <string>

namespace fanbench::seriallink {

// The device path that COM `portNumber` opens; nothing for numbers below 1.
std::optional<std::string> portDevicePath(int portNumber);

// Where the user's own COM-number mapping lives (may not exist).
std::string portMapDirectory();

}  // namespace fanbench::seriallink
