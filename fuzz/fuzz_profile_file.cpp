// Fuzz target: the profile file reader and writer on arbitrary file contents. A write
// must make the key read back and must keep every byte outside the key's line.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "monitor/profile_file.h"

namespace {
void check(bool condition) {
    if (!condition) std::abort();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace fanbench::monitor;
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("fanbench-fuzz-" + std::to_string(::getpid()) + ".ini"))
                                        .string();
    const std::string before(reinterpret_cast<const char*>(data), size);
    { std::ofstream(path, std::ios::binary) << before; }

    readProfileInt(path, "Setting", "IgnoreRotation", 1);
    check(writeProfileString(path, "Setting", "IgnoreRotation", "0"));
    check(readProfileInt(path, "Setting", "IgnoreRotation", 1) == 0);
    check(writeProfileString(path, "Setting", "IgnoreRotation", "1"));
    check(readProfileInt(path, "Setting", "IgnoreRotation", 7) == 1);
    // Content before the first section header is never touched.
    const std::string after = slurp(path);
    const std::size_t header = before.find('[');
    const std::size_t keep = header == std::string::npos ? 0 : before.rfind('\n', header);
    if (keep != std::string::npos && keep > 0) check(after.compare(0, keep, before, 0, keep) == 0);
    std::filesystem::remove(path);
    return 0;
}
