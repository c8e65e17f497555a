#pragma once

// What every transfer of a job does alike: report, meter, watch the stop flag and the limit.

#include <cerrno>
#include <cstring>

#include "core/event_codes.h"
#include "net/transfer/traffic_meter.h"
#include "net/transfer/transfer_job.h"
#include "net/transfer/transfer_pump.h"

namespace kov {

inline void Post(TransferJob& job, int code, std::int64_t p1, std::int64_t p2,
                 const std::string& t1 = {}, const std::string& t2 = {}) {
    if (job.sink) job.sink->Post(code, p1, p2, t1, t2);
}

inline TrafficMeter& Meter(TransferJob& job) {
    return job.meter ? *job.meter : GlobalTrafficMeter();
}

inline const std::atomic<int>& StopFlag(const TransferJob& job) {
    static const std::atomic<int> never{0};
    return job.stopRequest ? *job.stopRequest : never;
}

inline int StopLevel(const TransferJob& job) {
    return StopFlag(job).load();
}

inline bool LimitReached(const TransferJob& job) {
    return !job.isLocal && job.limitReached && job.limitReached();
}

// The result of a failed open or write of the local file, from the system error, whose text
// becomes the failure's cause.
inline int WriteFailure(TransferJob& job, int error) {
    job.errorText = std::strerror(error);
    return error == ENOSPC || error == EDQUOT ? kResultDiskFull : kResultWriteError;
}

inline int WriteFailure(TransferJob& job) {
    return WriteFailure(job, errno);
}

// The job's pump, with the job's buffer (allocated here when the job holds none yet).
inline TransferPump PumpOf(TransferJob& job) {
    if (job.buffer.size() < TransferJob::kBufferSize) job.buffer.resize(TransferJob::kBufferSize);
    return TransferPump(
        {job.sink, Meter(job), StopFlag(job), job.limitReached, job.isLocal, job.buffer});
}

}  // namespace kov
