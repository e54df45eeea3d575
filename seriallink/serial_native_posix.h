#pragma once
// The POSIX handle behind SerialPort, shared by the port and the receive worker.

#include "seriallink/serial_port.h"

namespace fanbench::seriallink {

struct SerialPort::Native {
    int fd = -1;
    bool exclusive = false;
};

}  // namespace fanbench::seriallink
