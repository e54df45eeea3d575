#include <string>

#include "seriallink/port_map.h"

namespace fanbench::seriallink {

std::string portMapDirectory() {
    return {};
}  // COM n is the system's own COM n

std::optional<std::string> portDevicePath(int portNumber) {
    if (portNumber < 1) return std::nullopt;
    return "\\\\.\\COM" + std::to_string(portNumber);
}

}  // namespace fanbench::seriallink
