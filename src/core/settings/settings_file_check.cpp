#include "core/settings/settings_file_check.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

namespace kov {

namespace {

// Settings files are small; anything larger is not one.
constexpr off_t kMaxSettingsSize = 4 * 1024 * 1024;

bool IsBinary(std::string_view text) {
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != 0x1a) return true;
    }
    return false;
}

// True when some line is a "[section]"; sets hasContent when any line is not blank or a
// comment.
bool HasSection(std::string_view text, bool& hasContent) {
    hasContent = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos) continue;
        line = line.substr(first);
        if (line.front() == ';' || line.front() == '#') continue;
        hasContent = true;
        if (line.front() == '[' && line.find(']') != std::string_view::npos) return true;
    }
    return false;
}

}  // namespace

std::string SettingsFileProblem(const std::string& path, bool mayCreate, const std::string& kind) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT && mayCreate) return {};
        // Only the settings file is made by --init; other files are the user's to give.
        if (errno == ENOENT) {
            return path + ": No such file or directory" +
                   (kind == "settings file" ? " (--init creates it)" : "");
        }
        return path + ": " + std::strerror(errno);
    }
    if (S_ISDIR(st.st_mode)) return path + ": Is a directory";
    if (!S_ISREG(st.st_mode)) return path + ": not a regular file";
    const std::string notSettings = path + ": not a " + kind;
    if (st.st_size > kMaxSettingsSize) return notSettings + " (too large)";
    std::ifstream in(path, std::ios::binary);
    if (!in) return path + ": " + std::strerror(errno);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return path + ": cannot be read";
    if (IsBinary(text)) return notSettings + " (binary content)";
    bool hasContent = false;
    if (!HasSection(text, hasContent) && hasContent) return notSettings + " (no [section] line)";
    return {};
}

}  // namespace kov
