#pragma once
// The Win32 handle behind SerialPort, shared by the port and the receive worker.

#include <windows.h>

#include "seriallink/serial_port.h"

namespace fanbench::seriallink {

struct SerialPort::Native {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

// A deadline on the 32-bit millisecond tick counter, compared unsigned so it survives
// the counter's wrap after 49.7 days.
inline bool tickPassed(DWORD deadline) {
    return static_cast<LONG>(GetTickCount() - deadline) >= 0;
}

std::string win32ErrorText(DWORD error);

}  // namespace fanbench::seriallink
