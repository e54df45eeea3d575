#pragma once
// A small INI ("profile") file layer with the semantics of the Windows profile
// functions: case-insensitive section and key names, blanks around names and values
// ignored, and writes that change one value and keep every other line as it was.

#include <string>

namespace fanbench::monitor {

// The integer of `key` in `section`: leading decimal digits (with an optional sign),
// 0 when the value has none, `fallback` when the file, section, key or value is missing.
int readProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int fallback);

// Sets `key` in `section` to `value`, adding the section or key when missing. The file
// is replaced atomically (temporary file, then rename); false when that failed, in
// which case the old file is untouched.
bool writeProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace fanbench::monitor
