#include "content/rules/safe_copy.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/atomic_file_writer.h"
#include "platform/file_util.h"

namespace kov {

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return stamp;
    stamp.mode = st.st_mode & 07777;
    stamp.modified = st.st_mtime;
    stamp.valid = true;
    return stamp;
}

bool WriteStamped(const std::string& path, std::string_view data, const FileStamp& stamp,
                  bool keepTime, std::string& error, bool syncFolder) {
    AtomicFileWriter writer;
    writer.SetFolderSync(syncFolder);
    if (writer.Open(path, stamp.mode)) {
        writer.Write(data);
        if (writer.Commit()) {
            if (keepTime && stamp.valid) {
                const auto t = static_cast<std::time_t>(stamp.modified);
                SetFileTimes(path, t, t);
            }
            return true;
        }
    }
    error = path + ": " + writer.Error();
    return false;
}

bool CopyFileSafely(const std::string& from, const std::string& to, std::string& error,
                    bool syncFolder) {
    const std::optional<std::string> data = ReadFile(from);
    if (!data) {
        error = from + ": " + std::strerror(errno);
        return false;
    }
    return WriteStamped(to, *data, StampOf(from), true, error, syncFolder);
}

}  // namespace kov
