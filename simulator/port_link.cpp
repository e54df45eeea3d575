#include "simulator/port_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "seriallink/port_map.h"

namespace fanbench::simulator {

namespace fs = std::filesystem;

PortLink::~PortLink() {
    remove();
}

bool PortLink::publish(int comPort, const std::string& device, std::string& error) {
    const std::string dir = seriallink::portMapDirectory();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    const std::string link = dir + "/com" + std::to_string(comPort);
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        struct stat target {};
        if (::stat(link.c_str(), &target) == 0) {
            error = link + " already exists (COM" + std::to_string(comPort) +
                    " is taken); choose another --com";
            return false;
        }
        ::unlink(link.c_str());  // dangling: its tester is gone
    }
    if (::symlink(device.c_str(), link.c_str()) != 0) {
        error = "cannot create " + link + ": " + std::strerror(errno);
        return false;
    }
    path_ = link;
    device_ = device;
    return true;
}

void PortLink::remove() {
    if (path_.empty()) return;
    std::error_code ec;
    if (fs::is_symlink(path_, ec) && fs::read_symlink(path_, ec) == device_) {
        ::unlink(path_.c_str());
    }
    path_.clear();
}

}  // namespace fanbench::simulator
