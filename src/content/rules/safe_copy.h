#pragma once

#include <string>
#include <string_view>

namespace kov {

// The mode bits and the modification time of a file.
struct FileStamp {
    unsigned mode = 0644;
    long long modified = 0;  // seconds since the epoch
    bool valid = false;
};
FileStamp StampOf(const std::string& path);

// Writes data over path through a temporary file and a rename, with the stamp's mode and, when
// keepTime, its modification time. False with the system's text in error.
// Without syncFolder the caller makes the rename durable (SyncFolder), once for many files.
bool WriteStamped(const std::string& path, std::string_view data, const FileStamp& stamp,
                  bool keepTime, std::string& error, bool syncFolder = true);

// Copies from over to the same way, keeping from's mode and modification time, so that a crash
// never leaves a half copy in place of a good file.
bool CopyFileSafely(const std::string& from, const std::string& to, std::string& error,
                    bool syncFolder = true);

}  // namespace kov
