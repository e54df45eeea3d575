#include "seriallink/debug_trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace fanbench {

void writeDebugTrace(const char* format, ...) {
    static const bool enabled = std::getenv("FANBENCH_TRACE") != nullptr;
    if (!enabled) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace fanbench
