#pragma once
// Debug-trace points: compiled into debug builds only, where they print to standard
// error when FANBENCH_TRACE is set in the environment.

namespace fanbench {

#ifdef NDEBUG
inline constexpr bool kDebugTraceBuild = false;
#else
inline constexpr bool kDebugTraceBuild = true;
#endif

void writeDebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

template <typename... Args>
void debugTrace(const char* format, Args... args) {
    if constexpr (kDebugTraceBuild) {
        if constexpr (sizeof...(Args) == 0) {
            writeDebugTrace("%s", format);
        } else {
            writeDebugTrace(format, args...);
        }
    }
}

}  // namespace fanbench
