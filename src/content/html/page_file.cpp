#include "content/html/page_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>
#include <string_view>

#include "platform/atomic_file_writer.h"
#include "platform/file_util.h"
#include "platform/unique_fd.h"

namespace kov {

namespace {

// The rest of an open file into text, which already holds room for what fstat said it holds
// and a byte more, so that the read that finds the end needs no larger copy of the page: read
// straight into place, and still whole when the file has grown since.
bool ReadInto(int fd, std::string& text) {
    std::size_t have = 0;
    for (;;) {
        if (have == text.size()) text.resize(text.size() + 65536);
        const ssize_t n = ::read(fd, text.data() + have, text.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    text.resize(have);
    return true;
}

}  // namespace

bool PageFile::Load(const std::string& path) {
    // Not blocking: a FIFO in a page's place is refused below instead of waited on.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::string content;
    content.reserve(PageRoom(static_cast<std::size_t>(st.st_size) + 1));
    content.resize(static_cast<std::size_t>(st.st_size) + 1);
    if (!ReadInto(fd.Get(), content)) return false;
    m_path = path;
    m_accessTime = st.st_atime;
    m_modifyTime = st.st_mtime;
    m_mode = st.st_mode & 07777;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    text = std::move(content);
    return true;
}

bool PageFile::Save(const std::string& newText) const {
    const int inPlace = SaveInPlace(newText);
    return inPlace < 0 ? SaveReplacing(newText) : inPlace == 1;
}

// A new file and a rename cost a rip more than the writing itself (the file system allocates
// and frees an inode and flushes the replaced file), so the page's own file is reused. Room is
// reserved before the first byte is written: a full disk refuses here, with the page intact.
int PageFile::SaveInPlace(const std::string& newText) const {
    UniqueFd fd(::open(m_path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        st.st_dev != m_device || st.st_ino != m_inode)
        return -1;
    const auto size = static_cast<off_t>(newText.size());
    // A file size limit would cut the write short in the middle of the page.
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 ||
        (limit.rlim_cur != RLIM_INFINITY && newText.size() > limit.rlim_cur))
        return -1;
    if (size > st.st_size && ::fallocate(fd.Get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0)
        return errno == ENOSPC || errno == EDQUOT ? 0 : -1;
    const timespec times[2] = {{m_accessTime, 0}, {m_modifyTime, 0}};
    // Written, yet the text may have come out short: the whole page again the other way.
    if (!WriteAll(fd.Get(), newText) || (size < st.st_size && ::ftruncate(fd.Get(), size) != 0))
        return -1;
    const bool ok = ::futimens(fd.Get(), times) == 0;
    return fd.Close() && ok ? 1 : 0;
}

int PageFile::RemoveLeftovers(const std::vector<std::string>& pages) {
    // The names SaveReplacing makes temporaries of (cut to 200 bytes), by folder.
    std::map<std::string, std::set<std::string, std::less<>>> names;
    for (const std::string& page : pages) {
        const std::size_t slash = page.rfind('/');
        const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
        names[page.substr(0, nameStart)].insert(page.substr(nameStart, 200));
    }
    int removed = 0;
    for (const auto& [folder, ours] : names) {
        removed += RemoveStaleTemporaries(
            folder, [&ours = ours](std::string_view name) { return ours.contains(name); });
    }
    return removed;
}

// Unlike settings, a page can be fetched again: it is not synced to the disk before the rename,
// which would cost a disk flush per page of a rip. The rename still never leaves half a page.
bool PageFile::SaveReplacing(const std::string& newText) const {
    const std::size_t slash = m_path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // Cut so that a name near the 255-byte limit still leaves room for the temporary one.
    std::string temp =
        m_path.substr(0, nameStart) + "." + m_path.substr(nameStart, 200) + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.Valid()) return false;
    // Mode and times on the new file before it takes the page's place: one rename, no look-up
    // of the path afterwards.
    const timespec times[2] = {{m_accessTime, 0}, {m_modifyTime, 0}};
    bool ok = WriteAll(fd.Get(), newText) && ::fchmod(fd.Get(), static_cast<mode_t>(m_mode)) == 0 &&
              ::futimens(fd.Get(), times) == 0;
    ok = fd.Close() && ok;
    if (!ok || ::rename(temp.c_str(), m_path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace kov
