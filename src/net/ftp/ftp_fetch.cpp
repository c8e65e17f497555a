#include "net/ftp/ftp_fetch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "net/http/response_headers.h"
#include "net/transfer/fetch_plan.h"
#include "net/transfer/traffic_meter.h"
#include "net/transfer/transfer_job_util.h"
#include "platform/clock.h"
#include "platform/file_util.h"

namespace kov {

namespace {

bool HasWildcard(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

// One listed entry into one local file.
int FetchEntry(FtpClient& client, const FtpEntry& entry, const std::string& remoteFolder,
               const std::string& localPath, HttpFetchJob& job) {
    job.errorText.clear();
    TrafficMeter& meter = Meter(job);
    std::string url = "ftp://" + client.Host();
    url += remoteFolder.empty() ? "/" : remoteFolder;
    if (url.back() != '/') url += '/';
    url += entry.name;

    auto finish = [&](int code) {
        Post(job, kEventFileResult, code, job.lastError, url, localPath);
        return code;
    };

    const std::time_t entryTime = EntryTime(entry);
    const std::optional<std::int64_t> localSize = FileSize(localPath);
    LocalFileState local;
    local.exists = localSize.has_value();
    local.size = localSize.value_or(0);
    local.time = LastWriteTime(localPath).value_or(0);
    const FetchPlan plan =
        PlanFetch(job.updateMode, local, {true, entry.size, entry.HasTime(), entryTime},
                  {job.distributed, job.fileSize, job.partCount, job.partSize, job.partNo});
    if (plan.action == FetchAction::Skip || plan.action == FetchAction::Fail)
        return finish(plan.result);
    std::uint64_t offset = static_cast<std::uint64_t>(plan.offset);  // where the server starts
    std::uint64_t fileOffset = static_cast<std::uint64_t>(plan.fileOffset);  // and we write
    std::int64_t expected = plan.expected;

    // Retrieve switches to binary mode with each data connection.
    if (!client.Retrieve(entry.name, offset)) {
        if (offset == 0) {
            job.lastError = client.LastReplyCode();
            job.errorText = client.LastReplyText();
            return finish(kResultFtpNotRetrieved);
        }
        Post(job, kEventFtpResumeRefused, static_cast<std::int64_t>(offset),
             static_cast<std::int64_t>(entry.size));
        // A part needs its range; a whole file can start over.
        if (job.distributed || !client.IsConnected() || !client.Retrieve(entry.name, 0)) {
            job.lastError = client.LastReplyCode();
            job.errorText = client.LastReplyText();
            return finish(kResultReadError);
        }
        offset = 0;
        fileOffset = 0;
        expected = static_cast<std::int64_t>(entry.size);
    }
    const bool resuming = fileOffset > 0;
    Post(job, kEventFileStarted, static_cast<std::int64_t>(entry.size),
         static_cast<std::int64_t>(offset), url, localPath);
    if (resuming) {
        Post(job, kEventResumed, static_cast<std::int64_t>(offset),
             static_cast<std::int64_t>(entry.size));
    }

    const int fd =
        ::open(localPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (resuming ? 0 : O_TRUNC), 0644);
    if (fd < 0 || (resuming && (::lseek(fd, static_cast<off_t>(fileOffset), SEEK_SET) < 0 ||
                                ::ftruncate(fd, static_cast<off_t>(fileOffset)) != 0))) {
        const int failure = WriteFailure(job);
        if (fd >= 0) ::close(fd);
        client.Abort();
        client.EndTransfer();
        return finish(failure);
    }

    if (job.buffer.size() < HttpFetchJob::kBufferSize) job.buffer.resize(HttpFetchJob::kBufferSize);
    int result = kResultOk;
    std::int64_t remaining = expected;
    bool early = false;
    while (remaining > 0) {
        if (StopLevel(job) >= 2) {
            result = kResultStopped;
            early = true;
            break;
        }
        if (LimitReached(job)) {
            result = kResultLimit;
            early = true;
            break;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(
            remaining,
            static_cast<std::int64_t>(std::min(meter.PacketSize(job.isLocal), job.buffer.size()))));
        const long n = client.ReadData(job.buffer.data(), want);
        if (n <= 0) {
            // The data connection ended (or failed) before the listed size: what arrived is
            // kept with the server's time, so the next run resumes it.
            job.lastError = client.LastReplyCode();
            job.errorText = n == 0 ? "data connection closed before the end of the file"
                                   : client.LastReplyText();
            result = StopLevel(job) >= 2 ? kResultStopped : kResultBroken;
            early = n < 0;
            break;
        }
        const auto got = static_cast<std::size_t>(n);
        if (!WriteAll(fd, std::string_view(job.buffer.data(), got))) {
            result = WriteFailure(job);
            early = true;
            break;
        }
        remaining -= static_cast<std::int64_t>(got);
        const bool stopped = !MeterBlock(meter, got, job.isLocal, StopFlag(job));
        Post(job, kEventBlock, static_cast<std::int64_t>(got),
             static_cast<std::int64_t>(entry.size));
        if (stopped && remaining > 0) {
            result = kResultStopped;
            early = true;
            break;
        }
    }
    if (remaining <= 0 && !job.distributed && result == kResultOk &&
        client.ReadData(job.buffer.data(), 1) > 0) {
        // More than the listing said: the file changed while we fetched it, so what we have
        // is neither the old file nor the new one.
        job.errorText = "the file is longer than its listed size";
        result = kResultBroken;
        client.Abort();
    } else if (remaining <= 0) {
        // Everything expected is here; a part that is not the last one stops the server short.
        if (job.distributed && job.partNo != job.partCount) client.Abort();
        job.lastError = 0;
    } else if (early) {
        client.Abort();
    }
    client.EndTransfer();
    if (::close(fd) != 0 && result == kResultOk) result = WriteFailure(job);
    if (entry.HasTime()) SetFileTimes(localPath, entryTime, entryTime);
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
             HttpFetchJob& job) {
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
