// SPDX-License-Identifier: MIT
#include "platform/qt/file_lookup.h"

#include <filesystem>
#include <optional>
#include <system_error>

namespace velmora::qt {
namespace fs = std::filesystem;
namespace {

// The position after the UTF-8 character at i, so that "?" stands for a character, not a byte.
std::size_t nextCharacter(std::string_view text, std::size_t i) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    return i;
}

// Dot files are the hidden files here.
bool isOrdinaryFile(const fs::path& path, const std::string& name) {
    if (name.empty() || name.front() == '.') return false;
    std::error_code error;
    return fs::is_regular_file(path, error);  // follows links; false on any error
}

}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::optional<std::size_t> starP;  // just after the last "*" seen
    std::size_t starN = 0;             // where that "*" began matching in name
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n = nextCharacter(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starP) {  // let the last "*" take one more character and try again
            p = *starP;
            n = starN = nextCharacter(name, starN);
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string findFirstFile(const std::string& path) {
    if (path.empty()) return "";
    const fs::path full(path);
    const std::string pattern = full.filename().string();
    if (pattern.find_first_of("*?") == std::string::npos)
        return isOrdinaryFile(full, pattern) ? pattern : "";

    const fs::path folder = full.has_parent_path() ? full.parent_path() : fs::path(".");
    std::string first;
    std::error_code error;  // a missing or unreadable folder simply holds nothing
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if ((first.empty() || name < first) && wildcardMatch(pattern, name) &&
            isOrdinaryFile(it->path(), name))
            first = std::move(name);
    }
    return first;
}

}  // namespace velmora::qt
