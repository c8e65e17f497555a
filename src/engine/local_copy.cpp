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
#include "net/transfer/transfer_pump.h"
#include "platform/file_util.h"
#include "platform/unique_fd.h"

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

// The opened source must be a regular file; src receives its state.
int CheckSource(const UniqueFd& in, struct stat& src, LocalCopyContext& context) {
    if (!in.Valid() || ::fstat(in.Get(), &src) != 0) {
        context.lastError = errno;
        return kResultRefused;
    }
    if (!S_ISREG(src.st_mode)) {
        context.lastError = S_ISDIR(src.st_mode) ? EISDIR : EINVAL;
        return kResultRefused;
    }
    return kResultOk;
}

// What an existing target means: skipped (the source itself, or kept by the update mode), or
// resumed from offset.
int PlanTarget(const std::string& target, const struct stat& src, const LocalCopyContext& context,
               std::int64_t& offset) {
    struct stat existing;
    if (::stat(target.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) return kResultOk;
    // Opening the source itself as the target would truncate it.
    if (SameFile(existing, src)) return kResultSkipped;
    // Only a shorter copy carrying the source's time is a prefix of it; anything else would
    // splice two different files together.
    const bool incomplete = LeftUnfinished(context.updateMode, target);
    const FetchPlan plan =
        PlanFetch(context.updateMode, {true, existing.st_size, existing.st_mtime, incomplete},
                  {true, static_cast<std::uint64_t>(src.st_size), true, src.st_mtime}, {});
    if (plan.action == FetchAction::Skip) return kResultSkipped;
    if (plan.action == FetchAction::Resume) offset = plan.fileOffset;
    return kResultOk;
}

// The opened target, cut to offset and positioned there.
int OpenTarget(const UniqueFd& out, const struct stat& src, std::int64_t offset,
               LocalCopyContext& context) {
    if (!out.Valid()) {
        context.lastError = errno;
        return WriteFailure(errno);
    }
    struct stat opened;
    if (::fstat(out.Get(), &opened) != 0 || ::fcntl(out.Get(), F_SETFL, 0) != 0) {
        context.lastError = errno;
        return kResultWriteError;
    }
    // The path may have been switched to the source since it was planned.
    if (SameFile(opened, src)) return kResultSkipped;
    if ((S_ISREG(opened.st_mode) && ::ftruncate(out.Get(), static_cast<off_t>(offset)) != 0) ||
        (offset > 0 && ::lseek(out.Get(), static_cast<off_t>(offset), SEEK_SET) < 0)) {
        context.lastError = errno;
        return kResultWriteError;
    }
    return kResultOk;
}

// The rest of the source, metered as local traffic.
int CopyBlocks(int in, int out, std::int64_t rest, std::int64_t size, LocalCopyContext& context) {
    std::vector<char> own;
    if (context.buffer == nullptr || context.buffer->empty()) own.resize(kBulkPacketSize);
    std::vector<char>& buffer = own.empty() ? *context.buffer : own;
    TrafficMeter& meter = context.meter != nullptr ? *context.meter : GlobalTrafficMeter();
    TransferPump pump({context.sink, meter, StopFlag(context), {}, true, buffer});
    int readError = 0;
    TransferPump::ReadingSource source([&](char* data, std::size_t count) -> long {
        ssize_t n;
        do {
            n = ::read(in, data, count);
        } while (n < 0 && errno == EINTR);
        if (n < 0) readError = errno;
        return n;
    });
    // A source that shrinks or grows while it is copied gives a broken copy.
    const TransferPump::Outcome moved = pump.Run(source, out, {rest, true, size});
    if (moved.end == TransferPump::End::ReadFailed) {
        context.lastError = readError;
        return kResultReadError;
    }
    if (moved.end == TransferPump::End::WriteFailed) context.lastError = moved.error;
    return moved.result;
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
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat src;
    const int readable = CheckSource(in, src, context);
    if (readable != kResultOk) return finish(readable);
    std::int64_t offset = 0;
    const int planned = PlanTarget(target, src, context, offset);
    if (planned != kResultOk) return finish(planned);
    if (StopLevel(context) >= 2) return finish(kResultStopped);

    const std::int64_t expected = src.st_size;
    Post(context, kEventFileStarted, expected, offset, sourceUrlOrPath, target);
    if (!FolderOf(target).empty()) CreateFolders(FolderOf(target));
    // No O_TRUNC: the identity check in OpenTarget must come before anything is cut off.
    UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    const int opened = OpenTarget(out, src, offset, context);
    if (opened != kResultOk) return finish(opened);
    if (offset > 0) {
        if (::lseek(in.Get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
            context.lastError = errno;
            return finish(kResultWriteError);
        }
        Post(context, kEventResumed, offset, expected);
    }
    // Until the copy is whole the target carries a mark, so that a run that keeps existing
    // files finishes a copy that a crash or a stop cut short instead of keeping it.
    MarkIncomplete(out.Get());
    int result = CopyBlocks(in.Get(), out.Get(), expected - offset, expected, context);
    if (result == kResultOk) ClearIncomplete(out.Get());
    // Stamped whatever the outcome: what was written is a prefix of this source, and the time
    // is what lets the next run resume it. Devices as targets cannot take a time; that is fine.
    const struct timespec times[2] = {src.st_mtim, src.st_mtim};
    ::futimens(out.Get(), times);
    if (!out.Close() && result == kResultOk) {
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
