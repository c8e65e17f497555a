#include "net/http_transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "core/prompter.h"
#include "core/text_util.h"
#include "model/url_parts.h"
#include "net/response_headers.h"
#include "net/traffic_meter.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr std::int64_t kUnknown = -1;

bool IsWebScheme(const std::string& scheme, bool https) {
    return scheme == "http" || (https && scheme == "https");
}

void Post(HttpFetchJob& job, int code, std::int64_t p1, std::int64_t p2, const std::string& t1 = {},
          const std::string& t2 = {}) {
    if (job.sink) job.sink->Post(code, p1, p2, t1, t2);
}

TrafficMeter& Meter(HttpFetchJob& job) {
    return job.meter ? *job.meter : GlobalTrafficMeter();
}

const std::atomic<int>& StopFlag(const HttpFetchJob& job) {
    static const std::atomic<int> never{0};
    return job.stopRequest ? *job.stopRequest : never;
}

int StopLevel(const HttpFetchJob& job) {
    return StopFlag(job).load();
}

bool LimitReached(const HttpFetchJob& job) {
    return !job.isLocal && job.limitReached && job.limitReached();
}

// "bytes 100-199/1000": the first byte offset, or -1.
std::int64_t ContentRangeStart(std::string_view raw) {
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find('\n', pos);
        if (end == std::string_view::npos) end = raw.size();
        const std::string_view line = raw.substr(pos, end - pos);
        pos = end + 1;
        if (!IStartsWith(line, "content-range:")) continue;
        std::string_view value = TrimBlanks(line.substr(14));
        if (!IStartsWith(value, "bytes")) return -1;
        value = TrimBlanks(value.substr(5));
        if (value.empty() || value[0] < '0' || value[0] > '9') return -1;
        return static_cast<std::int64_t>(ParseUint64(value));
    }
    return -1;
}

// Searches for needle ignoring case across block boundaries: the tail of the previous block is
// kept so that a text split between two reads is still found.
class StubScanner {
public:
    explicit StubScanner(std::string needle) : m_needle(std::move(needle)) {}
    bool Found(const char* data, std::size_t n) {
        if (m_needle.empty()) return false;
        m_window.append(data, n);
        if (IFind(m_window, m_needle) != std::string::npos) return true;
        const std::size_t keep = m_needle.size() - 1;
        if (m_window.size() > keep) m_window.erase(0, m_window.size() - keep);
        return false;
    }

private:
    std::string m_needle;
    std::string m_window;
};

bool FileContains(const std::string& path, const std::string& needle) {
    if (needle.empty()) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    StubScanner scanner(needle);
    char block[65536];
    bool found = false;
    ssize_t n;
    while (!found && (n = ::read(fd, block, sizeof block)) > 0) {
        found = scanner.Found(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return found;
}

int WriteFailure() {
    return errno == ENOSPC || errno == EDQUOT ? kResultDiskFull : kResultWriteError;
}

}  // namespace

std::unique_ptr<HttpRequest> OpenHttpRequest(HttpConnection& connection, const std::string& object,
                                             HttpFetchJob& job, int& status,
                                             std::uint64_t rangeStart, const std::string& ifRange) {
    auto request =
        connection.OpenRequest(object, job.expandedReferer, job.noCache ? kRequestNoCache : 0u);
    if (request && rangeStart > 0) {
        std::string headers = "Range: bytes=" + std::to_string(rangeStart) + "-\n";
        // Only the copy we hold may be continued: a changed file must come back whole.
        if (!ifRange.empty()) headers += "If-Range: " + ifRange + "\n";
        request->AddRequestHeaders(headers, true);
    }
    if (!request || !request->Send()) {
        job.errorText = request ? request->ErrorText() : "cannot open the request";
        job.lastError = request ? request->ErrorCode() : 0;
        status = kStatusClientError;
        return nullptr;
    }
    status = request->StatusCode();
    return request;
}

int FetchHttp(const std::string& url, std::string& localPath, int conType, int nfsize,
              const std::string& nfString, ResourceInfo* info, HttpFetchJob& job) {
    TrafficMeter& meter = Meter(job);
    if (job.buffer.size() < HttpFetchJob::kBufferSize) job.buffer.resize(HttpFetchJob::kBufferSize);
    std::uint64_t received = 0;
    int result = kResultOk;

    auto finish = [&](int code) {
        if (info) info->size = received;
        Post(job, kEventFileResult, code, job.lastError, url, localPath);
        return code;
    };

    if (job.banned && job.banned(url)) return finish(kResultBanned);

    ResourceInfo r = info ? *info : ResourceInfo{};
    const bool probed = r.status != -1;
    UrlParts parts;
    if (!SplitUrl(url, parts, false) || !IsWebScheme(parts.scheme, job.enableHttps)) {
        return finish(kResultNotHttp);
    }
    if (!job.session) return finish(kResultNoSession);
    const std::string object = parts.object.empty() ? "/" : parts.object;

    auto connection = job.session->GetHttpConnection(parts.host, parts.port, job.userName,
                                                     job.userPsw, parts.scheme == "https");
    if (!connection) return finish(kResultNoConnection);

    int status = 0;
    auto request = OpenHttpRequest(*connection, object, job, status);
    job.lastError = status;
    if (status == 407) {
        if (job.proxyUser.empty() || job.proxyPsw.empty()) return finish(kResultNoConnection);
        if (!request->SetProxyCredentials(job.proxyUser, job.proxyPsw)) {
            job.errorText = "Setting cfg.Proxy Password error:" + std::to_string(errno);
            return finish(kResultProxyPassword);
        }
        // Sent once more with the credentials; a second 407 is final.
        status = request->Send() ? request->StatusCode() : kStatusClientError;
        if (status == kStatusClientError) job.errorText = request->ErrorText();
        job.lastError = status;
    }
    if (status != 200 && status != 206) return finish(kResultRefused);

    if (!probed) {
        ParseResponseHeaders(request->RawHeaders(), r, false);
        r.status = status;
    }
    const bool hasLength = (r.flags & kHasLength) != 0;
    const bool hasTime = (r.flags & kHasLastModified) != 0;

    // The local name.
    if (!(r.flags & kHasFileName)) {
        if (!job.destIsFile && (r.flags & kHasLocation) && !job.urlFileName.empty()) {
            localPath = FolderOf(localPath) + job.urlFileName;
        }
    } else if (!job.destIsFile) {
        localPath = FolderOf(localPath) + r.fileName;
    }
    std::int64_t partSize = job.partSize;
    if (job.distributed) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%03d", job.partNo);
        localPath += suffix;
        if (job.partNo == job.partCount) {
            partSize = job.fileSize - static_cast<std::int64_t>(job.partCount - 1) * job.partSize;
        }
    }

    const std::optional<std::int64_t> localSize = FileSize(localPath);
    const std::optional<std::time_t> localTime = LastWriteTime(localPath);

    if (job.logDetail > 1) {
        char text[160];
        std::snprintf(text, sizeof text, "http Resource:%u, content-type:%s, Size:%llu", r.flags,
                      r.contentType.c_str(), static_cast<unsigned long long>(r.size));
        Post(job, kEventMessage, 1, 0, text);
    }

    // Decide what to do; a later rule may override an earlier result.
    bool transfer = true;
    std::uint64_t offset = 0;
    auto cancel = [&](int code) {
        result = code;
        transfer = false;
    };
    if (job.distributed && static_cast<std::int64_t>(r.size) != job.fileSize) {
        cancel(kResultPartChanged);
    }
    if (job.distributed && !hasLength) cancel(kResultNoPartSize);
    if (conType != 0 && conType != r.category) cancel(kResultWrongType);
    if (hasLength) {
        if (r.isHtml && nfsize != 0 && r.size < static_cast<std::uint64_t>(nfsize)) {
            cancel(kResultStub);
        } else if (hasTime && localSize && localTime && *localTime == r.lastModified &&
                   job.updateMode == 0) {
            if (static_cast<std::uint64_t>(*localSize) == r.size) {
                cancel(kResultSkipped);
            } else if (static_cast<std::uint64_t>(*localSize) < r.size) {
                offset = static_cast<std::uint64_t>(*localSize);
            }
        }
    }
    if (job.updateMode == 2 && localSize) cancel(kResultSkipped);
    std::int64_t partRemaining = 0;
    if (job.distributed) {
        const std::int64_t local = localSize.value_or(0);
        offset = static_cast<std::uint64_t>(
            static_cast<std::int64_t>(job.partNo - 1) * (job.fileSize / job.partCount) + local);
        partRemaining = partSize - local;
        if (local >= partSize) cancel(kResultSkipped);
    }
    if (!transfer) return finish(result);

    std::int64_t expected = hasLength ? static_cast<std::int64_t>(r.size) : kUnknown;
    if (job.distributed) {
        expected = job.partNo == job.partCount
                       ? job.fileSize - static_cast<std::int64_t>(job.partNo - 1) *
                                            (job.fileSize / job.partCount)
                       : job.partSize;
    }

    // Resume: the server must answer the range with exactly the rest we asked for; anything
    // else (a whole body, another range, an error page) restarts the file from the beginning.
    std::uint64_t fileOffset = 0;  // where the bytes of the response start in the file
    if ((job.updateMode == 0 || job.distributed) && offset > 0) {
        int rangeStatus = 0;
        auto ranged =
            OpenHttpRequest(*connection, object, job, rangeStatus, offset,
                            hasTime && !job.distributed ? r.lastModifiedText : std::string());
        if (ranged && rangeStatus == 206 &&
            ContentRangeStart(ranged->RawHeaders()) == static_cast<std::int64_t>(offset)) {
            request = std::move(ranged);
            fileOffset =
                job.distributed && localSize ? static_cast<std::uint64_t>(*localSize) : offset;
        } else if (job.distributed) {
            // A part cannot start over at the file's beginning.
            job.lastError = rangeStatus;
            return finish(kResultNoPartSize);
        }
    }
    const bool resuming = fileOffset > 0;
    Post(job, kEventFileStarted, expected, static_cast<std::int64_t>(fileOffset), url, localPath);

    std::int64_t remaining = kUnknown;
    if (job.distributed) {
        remaining = partRemaining;
    } else if (hasLength) {
        remaining = static_cast<std::int64_t>(r.size - std::min<std::uint64_t>(r.size, fileOffset));
    }

    if (!FolderOf(localPath).empty()) CreateFolders(FolderOf(localPath));
    const int fd =
        ::open(localPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (resuming ? 0 : O_TRUNC), 0644);
    if (fd < 0) return finish(kResultWriteError);
    if (resuming) {
        if (::lseek(fd, static_cast<off_t>(fileOffset), SEEK_SET) < 0 ||
            ::ftruncate(fd, static_cast<off_t>(fileOffset)) != 0) {
            ::close(fd);
            return finish(kResultWriteError);
        }
        Post(job, kEventResumed, static_cast<std::int64_t>(fileOffset), expected);
    }

    StubScanner scanner(r.isHtml ? nfString : std::string());
    bool readFailed = false;
    bool stub = false;
    for (;;) {
        if (StopLevel(job) >= 2) {
            result = kResultStopped;
            break;
        }
        if (LimitReached(job)) {
            result = kResultLimit;
            break;
        }
        // The block size follows the rate as it builds up (and a limit, when one is set).
        std::size_t want = std::min(meter.PacketSize(job.isLocal), job.buffer.size());
        if (remaining >= 0)
            want = static_cast<std::size_t>(std::min<std::int64_t>(remaining, want));
        if (want == 0) break;
        const long n = request->Read(job.buffer.data(), want);
        if (n <= 0) {
            if (n < 0) {
                readFailed = true;
                job.errorText = request->ErrorText();
                job.lastError = request->ErrorCode();
            }
            break;
        }
        const auto got = static_cast<std::size_t>(n);
        if (scanner.Found(job.buffer.data(), got)) {
            stub = true;
            result = kResultStub;
            break;
        }
        if (!WriteAll(fd, std::string_view(job.buffer.data(), got))) {
            result = WriteFailure();
            break;
        }
        received += got;
        if (remaining >= 0) remaining -= static_cast<std::int64_t>(got);
        const bool stopped = !MeterBlock(meter, got, job.isLocal, StopFlag(job));
        Post(job, kEventBlock, static_cast<std::int64_t>(got), expected);
        if (stopped) {
            result = kResultStopped;
            break;
        }
        if (remaining == 0) break;
    }
    if (::close(fd) != 0 && result == kResultOk) result = WriteFailure();

    if (result == kResultOk && remaining > 0) {
        // The connection ended before the announced size. The part that arrived is kept and
        // stamped with the server's time, so that the retry (or the next run) resumes it.
        result = kResultBroken;
        if (!readFailed) job.errorText = "connection closed before the end of the resource";
    } else if (result == kResultOk && readFailed) {
        result = kResultBroken;  // no length was announced, and the transfer failed midway
    }
    if (hasTime) SetFileTimes(localPath, r.lastModified, r.lastModified);

    if (result == kResultOk && r.isHtml &&
        ((nfsize != 0 && received < static_cast<std::uint64_t>(nfsize)) ||
         FileContains(localPath, nfString))) {
        stub = true;
        result = kResultStub;
    }
    if (stub) ::unlink(localPath.c_str());
    const int code = finish(result);
    if (stub) Post(job, kEventStubDeleted, kResultStub, 0, localPath);
    return code;
}

int FetchByUrl(const std::string& url, const std::string& localPath, HttpFetchJob& job,
               const std::string& userAgent) {
    TrafficMeter& meter = Meter(job);
    if (job.buffer.size() < HttpFetchJob::kBufferSize) job.buffer.resize(HttpFetchJob::kBufferSize);
    std::unique_ptr<InternetSession> own;
    InternetSession* session = job.session;
    if (!session) {
        own = InternetSession::Create(userAgent, AccessType::Preconfigured);
        session = own.get();
    }
    auto finish = [&](int code) {
        Post(job, kEventFileResult, code, job.lastError, url, localPath);
        return code;
    };
    if (!session) return finish(kResultNoConnection);

    int error = 0;
    std::string errorText;
    auto stream = session->OpenUrl(url, kRequestNoCache, &error, &errorText);
    if (!stream) {
        job.lastError = error;
        job.errorText = errorText;
        std::string message = url + "\r\nInternetOpenUrl ERROR " + std::to_string(error) + "!";
        if (error == kErrorInvalidUrl) message += "\r\n ERROR_INTERNET_INVALID_URL";
        if (error == kErrorUnrecognizedScheme) message += "\r\n INTERNET_UNRECOGNIZED_SCHEME";
        if (error == kErrorNameNotResolved) message += "\r\n INTERNET_NAME_NOT_RESOLVED";
        if (!errorText.empty()) message += "\r\n" + errorText;
        if (job.prompter) job.prompter->Inform(message);
        return finish(kResultNoConnection);
    }

    Post(job, kEventFileStarted, 0, 0, url, localPath);
    if (!FolderOf(localPath).empty()) CreateFolders(FolderOf(localPath));
    const int fd = ::open(localPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return finish(kResultWriteError);
    int result = kResultOk;
    for (;;) {
        if (LimitReached(job)) {
            result = kResultLimit;
            break;
        }
        if (StopLevel(job) >= 2) {
            result = kResultStopped;
            break;
        }
        const long n = stream->Read(job.buffer.data(),
                                    std::min(meter.PacketSize(job.isLocal), job.buffer.size()));
        if (n < 0) {
            // Unlike a lost HTTP body, nothing here can be resumed: the file is not complete.
            job.errorText = stream->ErrorText();
            job.lastError = stream->ErrorCode();
            result = kResultBroken;
            break;
        }
        if (n == 0) break;
        if (!WriteAll(fd, std::string_view(job.buffer.data(), static_cast<std::size_t>(n)))) {
            result = WriteFailure();
            break;
        }
        if (!MeterBlock(meter, static_cast<std::uint64_t>(n), job.isLocal, StopFlag(job))) {
            result = kResultStopped;
            break;
        }
        Post(job, kEventBlock, n, 0);
    }
    if (::close(fd) != 0 && result == kResultOk) result = WriteFailure();
    return finish(result);
}

}  // namespace kov
