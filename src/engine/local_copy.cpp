#include "engine/local_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "core/text/text_util.h"
#include "net/transfer/fetch_plan.h"
#include "platform/file_util.h"

namespace kov {

namespace {

using FolderId = std::pair<dev_t, ino_t>;

constexpr std::string_view kFileScheme = "file://";

std::string StripFileScheme(const std::string& url) {
    return IStartsWith(url, kFileScheme) ? url.substr(kFileScheme.size()) : url;
}

int StopLevel(const LocalCopyContext& context) {
    return context.stopRequest != nullptr ? context.stopRequest->load() : 0;
}

const std::atomic<int>& StopFlag(const LocalCopyContext& context) {
    static const std::atomic<int> never{0};
    return context.stopRequest != nullptr ? *context.stopRequest : never;
}

void Post(const LocalCopyContext& context, int code, std::int64_t param1, std::int64_t param2,
          const std::string& text1 = {}, const std::string& text2 = {}) {
    if (context.sink != nullptr) context.sink->Post(code, param1, param2, text1, text2);
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now; close reports late write errors (NFS, quotas) that must not pass as success.
    int Close() {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 ? 0 : ::close(fd);
    }

private:
    int m_fd;
};

int WriteFailure(int error) {
    return error == ENOSPC || error == EDQUOT ? kResultDiskFull : kResultWriteError;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The folder part of a wildcard path, split where ListMatching splits it (at the last '/').
std::string PatternFolder(const std::string& pattern) {
    const auto slash = pattern.rfind('/');
    return slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
}

int Smallest(bool any, int sofar, int result) {
    return any ? std::min(sofar, result) : result;
}

// targets holds every folder this copy created or filled, so that a target lying inside the
// source is never copied into itself over and over.
int CopyFolderInto(const std::string& source, const std::string& target, LocalCopyContext& context,
                   std::vector<FolderId>& targets) {
    std::vector<std::string> names;
    {
        DIR* dir = ::opendir(source.c_str());
        if (dir == nullptr) {
            context.lastError = errno;
            return kResultRefused;
        }
        while (const dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(std::move(name));
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());

    if (!CreateFolders(target)) return 2;
    struct stat created;
    if (::stat(target.c_str(), &created) == 0) targets.emplace_back(created.st_dev, created.st_ino);

    const std::string from = WithTrailingSlash(source);
    const std::string to = WithTrailingSlash(target);
    int result = kResultOk;
    bool any = false;
    for (const std::string& name : names) {
        if (StopLevel(context) != 0) {
            if (!any) result = kResultStopped;
            break;
        }
        const std::string path = from + name;
        struct stat entry;
        if (::lstat(path.c_str(), &entry) != 0) continue;  // gone meanwhile
        int r;
        if (S_ISDIR(entry.st_mode)) {
            if (!context.subFolders) continue;
            if (std::find(targets.begin(), targets.end(), FolderId(entry.st_dev, entry.st_ino)) !=
                targets.end())
                continue;
            r = CopyFolderInto(path, to + name, context, targets);
        } else {
            // A link counts as the file it points to; links to folders are not followed, so the
            // copy stays inside the source tree and cannot loop. Devices, FIFOs and sockets are
            // not files to download.
            struct stat resolved;
            if (S_ISLNK(entry.st_mode) &&
                (::stat(path.c_str(), &resolved) != 0 || !S_ISREG(resolved.st_mode)))
                continue;
            if (!S_ISLNK(entry.st_mode) && !S_ISREG(entry.st_mode)) continue;
            r = CopyLocalFile(path, to + name, context);
        }
        result = Smallest(any, result, r);
        any = true;
    }
    return result;
}

}  // namespace

int CopyLocalFile(const std::string& sourceUrlOrPath, const std::string& target,
                  LocalCopyContext& context) {
    const std::string source = StripFileScheme(sourceUrlOrPath);
    context.lastError = 0;
    auto finish = [&](int result) {
        Post(context, kEventFileResult, result, context.lastError, sourceUrlOrPath, target);
        return result;
    };

    // Non-blocking so that a FIFO cannot hang the job; anything but a regular file is refused.
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in.valid()) {
        context.lastError = errno;
        return finish(kResultRefused);
    }
    struct stat src;
    if (::fstat(in.get(), &src) != 0) {
        context.lastError = errno;
        return finish(kResultRefused);
    }
    if (!S_ISREG(src.st_mode)) {
        context.lastError = S_ISDIR(src.st_mode) ? EISDIR : EINVAL;
        return finish(kResultRefused);
    }

    const std::int64_t expected = src.st_size;
    std::int64_t offset = 0;
    struct stat existing;
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // Opening the source itself as the target would truncate it.
        if (SameFile(existing, src)) return finish(kResultSkipped);
        // Only a shorter copy carrying the source's time is a prefix of it; anything else would
        // splice two different files together.
        const FetchPlan plan =
            PlanFetch(context.updateMode, {true, existing.st_size, existing.st_mtime},
                      {true, static_cast<std::uint64_t>(expected), true, src.st_mtime}, {});
        if (plan.action == FetchAction::Skip) return finish(kResultSkipped);
        if (plan.action == FetchAction::Resume) offset = plan.fileOffset;
    }
    if (StopLevel(context) >= 2) return finish(kResultStopped);

    Post(context, kEventFileStarted, expected, offset, sourceUrlOrPath, target);
    if (!FolderOf(target).empty()) CreateFolders(FolderOf(target));
    // No O_TRUNC: the identity check below must come before anything is cut off.
    Fd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!out.valid()) {
        context.lastError = errno;
        return finish(WriteFailure(errno));
    }
    struct stat opened;
    if (::fstat(out.get(), &opened) != 0 || ::fcntl(out.get(), F_SETFL, 0) != 0) {
        context.lastError = errno;
        return finish(kResultWriteError);
    }
    // The path may have been switched to the source since the check above.
    if (SameFile(opened, src)) return finish(kResultSkipped);
    if (S_ISREG(opened.st_mode) && ::ftruncate(out.get(), static_cast<off_t>(offset)) != 0) {
        context.lastError = errno;
        return finish(kResultWriteError);
    }
    if (offset > 0) {
        if (::lseek(out.get(), static_cast<off_t>(offset), SEEK_SET) < 0 ||
            ::lseek(in.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
            context.lastError = errno;
            return finish(kResultWriteError);
        }
        Post(context, kEventResumed, offset, expected);
    }

    std::vector<char> own;
    if (context.buffer == nullptr || context.buffer->empty()) own.resize(kBulkPacketSize);
    std::vector<char>& buffer = own.empty() ? *context.buffer : own;
    TrafficMeter& meter = context.meter != nullptr ? *context.meter : GlobalTrafficMeter();

    int result = kResultOk;
    std::int64_t copied = offset;
    while (copied < expected) {
        if (StopLevel(context) >= 2) {
            result = kResultStopped;
            break;
        }
        const std::size_t want =
            std::min({meter.PacketSize(true), buffer.size(),
                      static_cast<std::size_t>(std::min<std::int64_t>(
                          expected - copied, static_cast<std::int64_t>(kBulkPacketSize)))});
        const ssize_t n = ::read(in.get(), buffer.data(), want);
        if (n < 0) {
            if (errno == EINTR) continue;
            context.lastError = errno;
            result = kResultReadError;
            break;
        }
        if (n == 0) {  // the source shrank while we copied it
            result = kResultBroken;
            break;
        }
        if (!WriteAll(out.get(), std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
            context.lastError = errno;
            result = WriteFailure(errno);
            break;
        }
        copied += n;
        const bool metered =
            MeterBlock(meter, static_cast<std::uint64_t>(n), true, StopFlag(context));
        Post(context, kEventBlock, n, expected);
        if (!metered) {
            result = kResultStopped;
            break;
        }
    }

    // Stamped whatever the outcome: what was written is a prefix of this source, and the time
    // is what lets the next run resume it. Devices as targets cannot take a time; that is fine.
    const struct timespec times[2] = {src.st_mtim, src.st_mtim};
    ::futimens(out.get(), times);
    if (out.Close() != 0 && result == kResultOk) {
        context.lastError = errno;
        result = WriteFailure(errno);
    }
    return finish(result);
}

int CopyLocalFolder(const std::string& source, const std::string& target,
                    LocalCopyContext& context) {
    std::vector<FolderId> targets;
    return CopyFolderInto(StripFileScheme(source), target, context, targets);
}

int CopyFileUrlPass(const std::string& url, const std::string& localPath, LocalCopyContext& context,
                    bool& anySuccess) {
    const std::string path = StripFileScheme(url);
    const std::vector<FolderEntry> entries = ListMatching(path);
    if (entries.empty()) {
        // Reported like a missing single file, so that the log says why nothing came.
        context.lastError = ENOENT;
        Post(context, kEventFileResult, kResultRefused, ENOENT, url, localPath);
        return kResultRefused;
    }

    const std::string from = PatternFolder(path);
    const std::string to = FolderOf(localPath);
    int result = kResultOk;
    bool any = false;
    for (const FolderEntry& entry : entries) {
        if (StopLevel(context) != 0) {
            if (!any) result = kResultStopped;
            break;
        }
        const int r = entry.isFolder ? CopyLocalFolder(from + entry.name, to + entry.name, context)
                                     : CopyLocalFile(from + entry.name, to + entry.name, context);
        if (r <= 0) anySuccess = true;
        result = Smallest(any, result, r);
        any = true;
    }
    return result;
}

}  // namespace kov
