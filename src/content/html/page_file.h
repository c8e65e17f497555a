#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace kov {

// A saved page or style sheet read whole, and written back over itself through a temporary
// file and a rename (a crash or a full disk never leaves half a page). It keeps its times
// exactly: the job marks a page it rewrites once, so that a page written several times does
// not drift away from the server's time.
class PageFile {
public:
    // False when the file cannot be read.
    bool Load(const std::string& path);
    // False when it could not be written; the file then stays as it was.
    bool Save(const std::string& text) const;

    std::string text;

private:
    std::string m_path;
    std::time_t m_accessTime = 0;
    std::time_t m_modifyTime = 0;
    unsigned m_mode = 0644;
};

}  // namespace kov
