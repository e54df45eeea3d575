#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "seriallink/port_map.h"

namespace fanbench::seriallink {

std::string portMapDirectory() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = std::string(home) + "/.config";
    } else {
        base = ".config";
    }
    return base + "/fanbench/ports";
}

std::optional<std::string> portDevicePath(int portNumber) {
    if (portNumber < 1) return std::nullopt;
    // An entry in the map wins even when it dangles: the user then sees which link failed.
    std::string mapped = portMapDirectory() + "/com" + std::to_string(portNumber);
    struct stat st {};
    if (::lstat(mapped.c_str(), &st) == 0) return mapped;
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

}  // namespace fanbench::seriallink
