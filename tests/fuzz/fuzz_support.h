#pragma once

// What the fuzz targets share: the check that stops a run on a broken invariant, the prompter
// that answers nothing, and a scratch folder on tmpfs for parsers that only read files.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "core/prompter.h"

namespace kov::fuzz {

// Stops the run with the broken rule, so that a finding names what failed.
inline void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Check(a == b) that shows the first line where the two texts part.
inline void CheckSame(std::string_view a, std::string_view b, const char* what) {
    if (a == b) return;
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    const std::size_t newline = a.substr(0, at).rfind('\n');
    const std::size_t from = newline == std::string_view::npos ? 0 : newline + 1;
    const auto line = [from](std::string_view text) {
        const std::string_view rest = text.substr(from);
        return rest.substr(0, std::min<std::size_t>(rest.find('\n'), 160));
    };
    const std::string_view one = line(a);
    const std::string_view two = line(b);
    std::fprintf(stderr, "first:  %.*s\nsecond: %.*s\n", static_cast<int>(one.size()), one.data(),
                 static_cast<int>(two.size()), two.data());
    Check(false, what);
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The first line of the input and the rest after it.
inline std::pair<std::string_view, std::string_view> SplitFirstLine(std::string_view text) {
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) return {text, {}};
    return {text.substr(0, newline), text.substr(newline + 1)};
}

inline bool HasControl(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

class SilentPrompter : public Prompter {
public:
    void Inform(const std::string&) override {}
    bool Ask(const std::string&, bool defaultAnswer) override { return defaultAnswer; }
};

// A folder of this process in /dev/shm (memory, not disk), made once, with a trailing '/'.
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string path = "/dev/shm/kov-fuzz-" + std::to_string(::getpid()) + "/";
        std::string command = "mkdir -p " + path;
        Check(std::system(command.c_str()) == 0, "scratch folder");
        std::atexit([] {
            const std::string remove = "rm -rf /dev/shm/kov-fuzz-" + std::to_string(::getpid());
            (void)std::system(remove.c_str());
        });
        return path;
    }();
    return folder;
}

// A folder of that name in the scratch folder, with a trailing '/'.
inline std::string ScratchSubfolder(const std::string& name) {
    const std::string path = ScratchFolder() + name + "/";
    Check(::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST, "scratch subfolder");
    return path;
}

inline void WriteWhole(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    Check(static_cast<bool>(out), "scratch file written");
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kov::fuzz
