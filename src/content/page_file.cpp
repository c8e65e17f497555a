#include "content/page_file.h"

#include <sys/stat.h>

#include "platform/atomic_file_writer.h"
#include "platform/file_util.h"

namespace kov {

bool PageFile::Load(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::optional<std::string> content = ReadFile(path);
    if (!content) return false;
    m_path = path;
    m_accessTime = st.st_atime;
    m_modifyTime = st.st_mtime;
    m_mode = st.st_mode & 07777;
    text = std::move(*content);
    return true;
}

bool PageFile::Save(const std::string& newText) const {
    AtomicFileWriter writer;
    if (!writer.Open(m_path, m_mode)) return false;
    writer.Write(newText);
    if (!writer.Commit()) return false;
    SetFileTimes(m_path, m_accessTime, m_modifyTime + kRewrittenShift);
    return true;
}

}  // namespace kov
