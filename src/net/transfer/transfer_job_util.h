#pragma once

// What every transfer of a job does alike: report, meter, watch the stop flag and the limit.

#include <cerrno>
#include <cstring>

#include "core/event_codes.h"
#include "net/http/http_transfer.h"
#include "net/transfer/traffic_meter.h"

namespace kov {

inline void Post(HttpFetchJob& job, int code, std::int64_t p1, std::int64_t p2,
                 const std::string& t1 = {}, const std::string& t2 = {}) {
    if (job.sink) job.sink->Post(code, p1, p2, t1, t2);
}

inline TrafficMeter& Meter(HttpFetchJob& job) {
    return job.meter ? *job.meter : GlobalTrafficMeter();
}

inline const std::atomic<int>& StopFlag(const HttpFetchJob& job) {
    static const std::atomic<int> never{0};
    return job.stopRequest ? *job.stopRequest : never;
}

inline int StopLevel(const HttpFetchJob& job) {
    return StopFlag(job).load();
}

inline bool LimitReached(const HttpFetchJob& job) {
    return !job.isLocal && job.limitReached && job.limitReached();
}

// The result of a failed open or write of the local file, from errno, whose text becomes the
// failure's cause.
inline int WriteFailure(HttpFetchJob& job) {
    const int error = errno;
    job.errorText = std::strerror(error);
    return error == ENOSPC || error == EDQUOT ? kResultDiskFull : kResultWriteError;
}

}  // namespace kov
