#pragma once
// The few system calls of the serial link go through this table, so a test can make
// them fail (EINTR, EAGAIN, EIO, short writes) without hardware.

#include <poll.h>
#include <sys/types.h>

#include <cstddef>

namespace fanbench::seriallink::posix {

struct Calls {
    ssize_t (*read)(int fd, void* buffer, std::size_t count);
    ssize_t (*write)(int fd, const void* buffer, std::size_t count);
    int (*poll)(struct pollfd* fds, nfds_t count, int timeoutMs);
};

// The table in use. Tests replace entries before any thread uses them and restore them.
Calls& calls();
Calls systemCalls();

}  // namespace fanbench::seriallink::posix
