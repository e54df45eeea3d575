#include "monitor/profile_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

namespace fanbench::monitor {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// One line of the file, its ending kept apart so the file can be rebuilt byte for byte.
struct Line {
    std::string text;
    std::string ending;
};

struct Document {
    std::string bom;
    std::vector<Line> lines;
    std::string newline = "\n";  // what new lines get: the file's first ending, if any
};

Document parse(const std::string& content) {
    Document doc;
    std::string_view rest = content;
    if (rest.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        doc.bom = kUtf8Bom;
        rest.remove_prefix(kUtf8Bom.size());
    }
    bool endingSeen = false;
    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        Line line;
        if (nl == std::string_view::npos) {
            line.text = rest;
            rest = {};
        } else {
            const bool crlf = nl > 0 && rest[nl - 1] == '\r';
            line.text = rest.substr(0, crlf ? nl - 1 : nl);
            line.ending = crlf ? "\r\n" : "\n";
            rest.remove_prefix(nl + 1);
            if (!endingSeen) doc.newline = line.ending;
            endingSeen = true;
        }
        doc.lines.push_back(std::move(line));
    }
    return doc;
}

std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

// Where `key` of `section` is: the section's header line, its last content line and
// the key's line (npos where missing).
struct Location {
    std::size_t header = std::string::npos;
    std::size_t lastInSection = std::string::npos;
    std::size_t keyLine = std::string::npos;
};

Location locate(const Document& doc, std::string_view section, std::string_view key) {
    Location where;
    bool inSection = false;
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const std::string_view text = doc.lines[i].text;
        if (const auto name = sectionName(text)) {
            if (where.header != std::string::npos) break;  // the first matching section counts
            inSection = sameName(*name, section);
            if (inSection) where.header = where.lastInSection = i;
            continue;
        }
        if (!inSection) continue;
        if (!trim(text).empty()) where.lastInSection = i;
        const std::string_view t = trim(text);
        if (t.empty() || t.front() == ';') continue;
        const std::size_t eq = t.find('=');
        if (eq != std::string_view::npos && sameName(trim(t.substr(0, eq)), key)) {
            where.keyLine = i;
            break;
        }
    }
    return where;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string valueOf(std::string_view line) {
    std::string_view v = trim(line.substr(line.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

int leadingInteger(const std::string& value) {
    errno = 0;
    const long n = std::strtol(value.c_str(), nullptr, 10);
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

}  // namespace

int readProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int fallback) {
    const std::optional<std::string> content = readFile(path);
    if (!content) return fallback;
    const Document doc = parse(*content);
    const Location where = locate(doc, section, key);
    if (where.keyLine == std::string::npos) return fallback;
    const std::string value = valueOf(doc.lines[where.keyLine].text);
    if (value.empty()) return fallback;
    return leadingInteger(value);
}

bool writeProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
    const std::optional<std::string> content = readFile(path);
    Document doc = parse(content.value_or(""));
    const Location where = locate(doc, section, key);

    if (where.keyLine != std::string::npos) {
        std::string& text = doc.lines[where.keyLine].text;
        text = text.substr(0, text.find('=') + 1) + value;
    } else {
        if (!doc.lines.empty() && doc.lines.back().ending.empty())
            doc.lines.back().ending = doc.newline;
        Line keyLine{key + "=" + value, doc.newline};
        if (where.header != std::string::npos) {
            doc.lines.insert(doc.lines.begin() + static_cast<long>(where.lastInSection) + 1,
                             keyLine);
        } else {
            doc.lines.push_back({"[" + section + "]", doc.newline});
            doc.lines.push_back(keyLine);
        }
    }

    std::string out = doc.bom;
    for (const Line& line : doc.lines) out += line.text + line.ending;

    namespace fs = std::filesystem;
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(out.data(), static_cast<std::streamsize>(out.size()));
        file.flush();
        if (!file) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code renameError;
    fs::rename(temporary, path, renameError);
    if (renameError) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

}  // namespace fanbench::monitor
