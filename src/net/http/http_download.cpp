#include "net/http/http_download.h"

#include "net/http/http_resource_fetch.h"
#include "net/transfer/transfer_job_util.h"

namespace kov {

int FetchHttp(const std::string& url, std::string& localPath, int conType, int nfsize,
              const std::string& nfString, ResourceInfo* info, TransferJob& job,
              std::string* finalUrl) {
    const int updateMode = job.updateMode;
    HttpResourceFetch fetch(url, localPath, conType, nfsize, nfString, job);
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
                         const std::string& nfString, ResourceInfo& info, TransferJob& job,
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

}  // namespace kov
