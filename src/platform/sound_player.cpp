#include "platform/sound_player.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/run_command.h"

namespace kov {

namespace {

// The first of the players found on PATH, "" when none is.
std::string Player() {
    const char* path = std::getenv("PATH");
    std::string folders = path && *path ? path : "/usr/bin:/bin";
    for (const char* name : {"paplay", "aplay"}) {
        std::size_t start = 0;
        while (start <= folders.size()) {
            std::size_t end = folders.find(':', start);
            if (end == std::string::npos) end = folders.size();
            const std::string candidate = folders.substr(start, end - start) + "/" + name;
            if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
            start = end + 1;
        }
    }
    return {};
}

// The path as one word for /bin/sh.
std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

}  // namespace

bool PlaySoundFile(const std::string& path) {
    if (path.empty()) return false;
    const std::string player = Player();
    if (player.empty()) return false;
    return StartCommand(Quoted(player) + " " + Quoted(path) + " >/dev/null 2>&1");
}

}  // namespace kov
