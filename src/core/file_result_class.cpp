#include "core/file_result_class.h"

#include "core/event_codes.h"

namespace kov {

namespace {

// A number the server does not have (yet): how every series ends, and what Tolerance allows.
bool IsMissingNumber(std::int64_t result, std::int64_t lastError) {
    if (result == kResultFtpNoEntry) return true;
    return result == kResultRefused && (lastError == 404 || lastError == 410);
}

}  // namespace

ResultClass ClassifyFileResult(std::int64_t result, std::int64_t lastError, bool numberSeries) {
    switch (result) {
        case kResultOk:
        case kResultSkipped:
        case kResultStub:
            return ResultClass::Success;
        case kResultStopped:
        case kResultLimit:
            return ResultClass::Stopped;
        case kResultBanned:
            return ResultClass::Expected;
        default:
            break;
    }
    if (numberSeries && IsMissingNumber(result, lastError)) return ResultClass::Expected;
    return ResultClass::Failure;
}

}  // namespace kov
