#include "net/ftp/ftp_fetch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "net/http/response_headers.h"
#include "net/transfer/fetch_plan.h"
#include "net/transfer/transfer_job_util.h"
#include "platform/clock.h"
#include "platform/file_util.h"

namespace kov {

namespace {

bool HasWildcard(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

std::string EntryUrl(const FtpClient& client, const std::string& remoteFolder,
                     const FtpEntry& entry) {
    std::string url = "ftp://" + client.Host();
    url += remoteFolder.empty() ? "/" : remoteFolder;
    if (url.back() != '/') url += '/';
    return url + entry.name;
}

FetchPlan PlanEntry(const FtpEntry& entry, const std::string& localPath, const TransferJob& job) {
    const std::optional<std::int64_t> localSize = FileSize(localPath);
    LocalFileState local;
    local.exists = localSize.has_value();
    local.size = localSize.value_or(0);
    local.time = LastWriteTime(localPath).value_or(0);
    local.incomplete = local.exists && LeftUnfinished(job.updateMode, localPath);
    return PlanFetch(job.updateMode, local, {true, entry.size, entry.HasTime(), EntryTime(entry)},
                     {job.distributed, job.fileSize, job.partCount, job.partSize, job.partNo});
}

int ReplyFailure(const FtpClient& client, TransferJob& job, int result) {
    job.lastError = client.LastReplyCode();
    job.errorText = client.LastReplyText();
    return result;
}

// Starts the data transfer of the plan; a refused resume of a whole file starts over, and the
// plan then says so.
int StartRetrieve(FtpClient& client, const FtpEntry& entry, FetchPlan& plan, TransferJob& job) {
    // Retrieve switches to binary mode with each data connection.
    if (client.Retrieve(entry.name, static_cast<std::uint64_t>(plan.offset))) return kResultOk;
    if (plan.offset == 0) return ReplyFailure(client, job, kResultFtpNotRetrieved);
    Post(job, kEventFtpResumeRefused, plan.offset, static_cast<std::int64_t>(entry.size));
    // A part needs its range; a whole file can start over.
    if (job.distributed || !client.IsConnected() || !client.Retrieve(entry.name, 0))
        return ReplyFailure(client, job, kResultReadError);
    plan.offset = 0;
    plan.fileOffset = 0;
    plan.expected = static_cast<std::int64_t>(entry.size);
    return kResultOk;
}

int OpenEntryFile(const std::string& localPath, std::int64_t fileOffset, TransferJob& job,
                  int& fd) {
    const bool resuming = fileOffset > 0;
    fd = ::open(localPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (resuming ? 0 : O_TRUNC), 0644);
    if (fd >= 0 && (!resuming || (::lseek(fd, static_cast<off_t>(fileOffset), SEEK_SET) >= 0 &&
                                  ::ftruncate(fd, static_cast<off_t>(fileOffset)) == 0))) {
        MarkIncomplete(fd);
        return kResultOk;
    }
    const int failure = WriteFailure(job);
    if (fd >= 0) ::close(fd);
    fd = -1;
    return failure;
}

// The data connection into fd, and the end of the transfer on the control connection.
int ReceiveEntry(FtpClient& client, const FtpEntry& entry, std::int64_t expected, int fd,
                 TransferJob& job) {
    TransferPump::ReadingSource source(
        [&](char* buffer, std::size_t count) { return client.ReadData(buffer, count); });
    // A part is cut off where it ends: the server sends the rest of the file.
    const TransferPump::Outcome moved = PumpOf(job).Run(
        source, fd, {expected, !job.distributed, static_cast<std::int64_t>(entry.size)});
    int result = moved.result;
    switch (moved.end) {
        case TransferPump::End::Complete:
            // Everything expected is here; a part that is not the last one stops the server.
            if (job.distributed && job.partNo != job.partCount) client.Abort();
            job.lastError = 0;
            break;
        case TransferPump::End::CutShort:
            // The data connection ended before the listed size: what arrived is kept with the
            // server's time, so the next run resumes it.
            job.lastError = client.LastReplyCode();
            job.errorText = "data connection closed before the end of the file";
            break;
        case TransferPump::End::ReadFailed:
            ReplyFailure(client, job, result);
            client.Abort();
            break;
        case TransferPump::End::TooLong:
            // More than the listing said: the file changed while we fetched it.
            job.errorText = "the file is longer than its listed size";
            client.Abort();
            break;
        case TransferPump::End::WriteFailed:
            result = WriteFailure(job, moved.error);
            client.Abort();
            break;
        default:
            client.Abort();
            break;
    }
    client.EndTransfer();
    return result;
}

// One listed entry into one local file.
int FetchEntry(FtpClient& client, const FtpEntry& entry, const std::string& remoteFolder,
               const std::string& localPath, TransferJob& job) {
    job.errorText.clear();
    const std::string url = EntryUrl(client, remoteFolder, entry);
    auto finish = [&](int code) {
        Post(job, kEventFileResult, code, job.lastError, url, localPath);
        return code;
    };
    FetchPlan plan = PlanEntry(entry, localPath, job);
    if (plan.action == FetchAction::Skip || plan.action == FetchAction::Fail)
        return finish(plan.result);
    const int started = StartRetrieve(client, entry, plan, job);
    if (started != kResultOk) return finish(started);
    const auto size = static_cast<std::int64_t>(entry.size);
    Post(job, kEventFileStarted, size, plan.offset, url, localPath);
    if (plan.fileOffset > 0) Post(job, kEventResumed, plan.offset, size);

    int fd = -1;
    int result = OpenEntryFile(localPath, plan.fileOffset, job, fd);
    if (result != kResultOk) {
        client.Abort();
        client.EndTransfer();
        return finish(result);
    }
    result = ReceiveEntry(client, entry, plan.expected, fd, job);
    if (result == kResultOk) ClearIncomplete(fd);
    if (::close(fd) != 0 && result == kResultOk) result = WriteFailure(job);
    if (entry.HasTime()) SetFileTimes(localPath, EntryTime(entry), EntryTime(entry));
    return finish(result);
}

}  // namespace

int EntryForName(const FtpClient& client, const std::string& name) {
    for (std::size_t i = 0; i < client.EntryCount(); ++i) {
        if (client.Entry(i)->name == name) return static_cast<int>(i);
    }
    if (client.EntryCount() == 1 && !client.Entry(0)->isFolder) return 0;
    return -1;
}

std::time_t EntryTime(const FtpEntry& entry) {
    if (!entry.HasTime()) return 0;
    CalendarTime c;
    c.year = entry.year;
    c.month = entry.month;
    c.day = entry.day;
    c.hour = entry.hour;
    c.minute = entry.minute;
    c.second = entry.second;
    return MakeUtcTime(c);
}

int FetchFtp(FtpClient& client, const std::string& remotePath, const std::string& localPath,
             TransferJob& job) {
    job.errorText.clear();
    std::string basePath = localPath;
    if (job.distributed) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%03lld", static_cast<long long>(job.partNo));
        basePath += suffix;
    }

    const std::size_t slash = remotePath.rfind('/');
    const std::string name = slash == std::string::npos ? remotePath : remotePath.substr(slash + 1);
    std::string folder = slash == std::string::npos ? std::string() : remotePath.substr(0, slash);
    if (slash == 0) folder = "/";
    if (!folder.empty() && !client.ChangeFolder(folder)) {
        job.errorText = client.LastReplyText();
        Post(job, kEventFtpNoFolder, 0, 0, folder);
        return 2;
    }
    const int count = client.List(name);
    for (const std::string& skipped : client.SkippedNames()) {
        Post(job, kEventMessage, 1, 0, "Unsafe name in the FTP listing skipped: " + skipped);
    }
    if (count < 1) {
        job.lastError = client.LastReplyCode();
        job.errorText = client.LastReplyText();
        Post(job, kEventFtpNoListing, client.LastReplyCode(), 0, name);
        return 2;
    }
    const std::string localFolder = FolderOf(basePath);
    if (!localFolder.empty() && !CreateFolders(localFolder)) {
        job.lastError = kResultLocalFolder;  // the local folder cannot be made
        return 2;
    }

    const bool several = HasWildcard(name);
    int first = 0;
    if (!several) {
        // A plain name that lists as a folder's contents is a folder, not a file to fetch.
        first = EntryForName(client, name);
        if (first < 0) {
            Post(job, kEventFtpNoListing, client.LastReplyCode(), 0, name);
            return 2;
        }
    }
    const int last = several ? count : first + 1;
    int result = 2;
    for (int i = first; i < last; ++i) {
        if (StopLevel(job) != 0 || !client.IsConnected()) break;
        const FtpEntry& entry = *client.Entry(static_cast<std::size_t>(i));
        // A folder cannot be fetched as a file; a pattern may well match some.
        if (several && entry.isFolder) continue;
        // As in a shell, only a pattern that starts with a dot names hidden files: a listing
        // that offers ".bashrc" for "*" offers what was not asked for.
        if (several && entry.name.starts_with('.') && !name.starts_with('.')) continue;
        std::string target = basePath;
        if (several && !job.distributed) {
            // The server's name is the remote one; locally it must be a plain, harmless name.
            const std::string plain = PlainFileName(entry.name);
            if (plain.empty()) continue;
            target = localFolder + plain;
        }
        result = FetchEntry(client, entry, folder, target, job);
        if (job.distributed || result == kResultLimit) break;
    }
    return result;
}

}  // namespace kov
