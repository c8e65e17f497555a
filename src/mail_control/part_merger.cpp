#include "mail_control/part_merger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/language/message_table.h"
#include "core/prompter.h"
#include "mail_control/distributed_download.h"
#include "platform/atomic_file_writer.h"
#include "platform/file_util.h"
#include "platform/unique_fd.h"

namespace kov {

namespace {

// Big blocks: a merge of gigabytes in 1 KB steps would spend its time in system calls.
constexpr std::size_t kBlock = 1 << 20;

std::string Failure(EventCode text, const std::string& path) {
    return GetString(text) + " - " + path;
}

// Only regular files are parts: a link could pull in any file of the system, a FIFO or a
// device would block or never end.
std::string NotAPart(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return "a symbolic link, not a part file";
    if (S_ISDIR(st.st_mode)) return "a folder, not a part file";
    return "not a regular file";
}

}  // namespace

namespace {

// Every part is looked at before anything is written: a missing part or one of the wrong
// length would otherwise give a whole file that is silently corrupt. The error, "" when all
// parts are there; total gets their size.
std::string CheckParts(const MergeRequest& request, std::int64_t& total) {
    for (std::int32_t n = 1; n <= request.partCount; ++n) {
        const std::string part = PartFilePath(request.localPath, n);
        struct stat st {};
        if (::lstat(part.c_str(), &st) != 0) {
            return Failure(EventCode::FileReadError, part) + ": " + std::strerror(errno);
        }
        if (!S_ISREG(st.st_mode))
            return Failure(EventCode::FileReadError, part) + ": " + NotAPart(st);
        const PortionRange range = PortionOf(request.fileSize, request.partCount, n);
        if (request.fileSize > 0 && st.st_size != range.length) {
            return Failure(EventCode::FileReadError, part) + " (" + std::to_string(st.st_size) +
                   " bytes, the portion has " + std::to_string(range.length) + ")";
        }
        total += st.st_size;
    }
    return {};
}

// A part that changed while it was copied must not slip through either.
std::string CopiedSizeError(const MergeRequest& request, const std::string& target,
                            std::int64_t bytes, std::int64_t total) {
    if (bytes == total && (request.fileSize <= 0 || bytes == request.fileSize)) return {};
    return target + ": merged " + std::to_string(bytes) + " bytes, expected " +
           std::to_string(request.fileSize > 0 ? request.fileSize : total);
}

// Whether every part went.
bool DeleteParts(const MergeRequest& request) {
    bool deleted = true;
    for (std::int32_t n = 1; n <= request.partCount; ++n)
        deleted = ::unlink(PartFilePath(request.localPath, n).c_str()) == 0 && deleted;
    return deleted;
}

}  // namespace

MergeResult MergeParts(const MergeRequest& request, Prompter& prompter,
                       const std::function<void(int percent)>& progress,
                       const std::function<bool()>& stop) {
    MergeResult result;
    const std::string target = request.target.empty() ? request.localPath : request.target;
    if (request.partCount < 1) {
        result.error = "no parts to merge";
        return result;
    }
    std::int64_t total = 0;
    result.error = CheckParts(request, total);
    if (!result.error.empty()) return result;
    AtomicFileWriter out;
    if (!out.Open(target, 0644)) {
        result.error = GetString(EventCode::MkDirError) + " - " + target + ": " + out.Error();
        return result;
    }
    std::vector<char> block(kBlock);
    struct stat lastPart {};
    int shown = -1;
    for (std::int32_t n = 1; n <= request.partCount; ++n) {
        const std::string part = PartFilePath(request.localPath, n);
        // Neither a link nor a FIFO put in a part's place since the check: a FIFO would block
        // the open and the reads for ever.
        const UniqueFd fd(::open(part.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!fd.Valid() || ::fstat(fd.Get(), &lastPart) != 0) {
            result.error = Failure(EventCode::FileReadError, part) + ": " + std::strerror(errno);
            return result;
        }
        if (!S_ISREG(lastPart.st_mode)) {
            result.error = Failure(EventCode::FileReadError, part) + ": " + NotAPart(lastPart);
            return result;
        }
        for (;;) {
            if (stop && stop()) {
                result.error = "stopped";
                return result;
            }
            const ssize_t got = ::read(fd.Get(), block.data(), block.size());
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                result.error =
                    Failure(EventCode::FileReadError, part) + ": " + std::strerror(errno);
                return result;
            }
            if (got == 0) break;
            out.Write({block.data(), static_cast<std::size_t>(got)});
            if (!out.Error().empty()) {
                result.error = Failure(EventCode::WriteError, part) + ": " + out.Error();
                return result;
            }
            result.bytes += got;
            const int percent = total > 0 ? static_cast<int>(result.bytes * 100 / total) : 100;
            if (progress && percent != shown) progress(percent);
            shown = percent;
        }
    }
    result.error = CopiedSizeError(request, target, result.bytes, total);
    if (!result.error.empty()) return result;
    if (stop && stop()) {
        result.error = "stopped";
        return result;
    }
    if (!out.Commit()) {
        result.error = Failure(EventCode::WriteError, target) + ": " + out.Error();
        return result;
    }
    SetFileTimes(target, lastPart.st_atime, lastPart.st_mtime);
    result.ok = true;
    if (prompter.Ask(GetString(EventCode::MergeDone) + "\r\n" + target, false)) {
        result.partsDeleted = DeleteParts(request);
    }
    return result;
}

}  // namespace kov
