#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace kov {

// A saved page or style sheet read whole, and written back over itself. The file it was read
// from is overwritten in place once the room for the new text is reserved: no new file, no
// rename, and a full disk never leaves half a page (the file then stays as it was). A file
// that has changed its identity since, has other names, or lives where room cannot be
// reserved is replaced through a temporary file and a rename instead. It keeps its times
// exactly: the job marks a page it rewrites once, so that a page written several times does
// not drift away from the server's time.
// The room a page's text of size bytes is read into and rewritten in: the passes of a rip,
// each writing the page anew, then take turns with buffers large enough and ask for no fresh
// memory, which the system would first have to clear.
inline std::size_t PageRoom(std::size_t size) {
    return size + size / 8 + 1024;
}

class PageFile {
public:
    // False when the file cannot be read.
    bool Load(const std::string& path);
    // False when it could not be written; the file then stays as it was.
    bool Save(const std::string& text) const;
    // The times a save gives the file, when they were changed on the disk since the load.
    void SetTimes(std::time_t accessTime, std::time_t modifyTime) {
        m_accessTime = accessTime;
        m_modifyTime = modifyTime;
    }

    std::string text;

    // Removes what a save cut short by a kill left beside these pages (its temporary files),
    // with one look at each of their folders; how many went.
    static int RemoveLeftovers(const std::vector<std::string>& pages);

private:
    // -1: not written at all (the other way may still work), 0: failed, 1: written.
    int SaveInPlace(const std::string& newText) const;
    bool SaveReplacing(const std::string& newText) const;

    std::string m_path;
    std::time_t m_accessTime = 0;
    std::time_t m_modifyTime = 0;
    unsigned m_mode = 0644;
    // The file read: written in place only while it is the same one.
    unsigned long long m_device = 0, m_inode = 0;
};

}  // namespace kov
