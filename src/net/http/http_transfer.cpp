#include "net/http/http_transfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "core/prompter.h"
#include "net/http/http_fetch.h"
#include "net/transfer/transfer_job_util.h"
#include "platform/file_util.h"

namespace kov {

int FetchHttp(const std::string& url, std::string& localPath, int conType, int nfsize,
              const std::string& nfString, ResourceInfo* info, HttpFetchJob& job,
              std::string* finalUrl) {
    const int updateMode = job.updateMode;
    HttpFetch fetch(url, localPath, conType, nfsize, nfString, job);
    const int result = fetch.Run();
    job.updateMode = updateMode;
    if (info) {
        *info = fetch.Info();
        info->size = fetch.Received();
    }
    if (finalUrl) *finalUrl = fetch.CurrentUrl().empty() ? url : fetch.CurrentUrl();
    return result;
}

int FetchHttpWithRetries(std::string& url, std::string& localPath, int conType, int nfsize,
                         const std::string& nfString, ResourceInfo& info, HttpFetchJob& job,
                         std::chrono::milliseconds retryWait) {
    int result = kResultLimit;
    for (int tries = 0; !LimitReached(job); ++tries) {
        info = ResourceInfo{};
        std::string finalUrl;
        result = FetchHttp(url, localPath, conType, nfsize, nfString, &info, job, &finalUrl);
        url = finalUrl;
        if (result != kResultBroken || tries >= 5 || StopLevel(job) != 0) break;
        Post(job, kEventBrokenRetry, 0, 0, url, localPath);
        StopAwareSleep(retryWait, StopFlag(job));
        if (StopLevel(job) >= 2) break;
        Post(job, kEventRetry, 0, 0, url, localPath);
    }
    return result;
}

int FetchByUrl(const std::string& url, const std::string& localPath, HttpFetchJob& job,
               const std::string& userAgent) {
    job.errorText.clear();
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
    session->SetStopFlag(job.stopRequest);

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
    if (fd < 0) return finish(WriteFailure(job));
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
            result = WriteFailure(job);
            break;
        }
        if (!MeterBlock(meter, static_cast<std::uint64_t>(n), job.isLocal, StopFlag(job))) {
            result = kResultStopped;
            break;
        }
        Post(job, kEventBlock, n, 0);
    }
    if (::close(fd) != 0 && result == kResultOk) result = WriteFailure(job);
    return finish(result);
}

}  // namespace kov
