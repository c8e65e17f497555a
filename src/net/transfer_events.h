#pragma once

#include <cstdint>
#include <string>

namespace kov {

// Event codes that transfers post to their job.
enum TransferEvent : int {
    kEventFileStarted = 503,  // param1 expected size, param2 resume offset; URL / local path
    kEventBlock = 504,        // param1 block size, param2 expected size
    kEventResumed = 505,      // param1 resume offset, param2 expected size
    kEventFileResult = 506,   // param1 result, param2 last error; URL / local path
    kEventMessage = 521,      // param1 1; text1 a diagnostic text
    kEventStubDeleted = 527,  // param1 921; text1 local path
};

// File results of a transfer (0 is success).
enum FileResult : int {
    kResultOk = 0,
    kResultNoSession = 911,
    kResultNotHttp = 914,
    kResultNoConnection = 915,
    kResultProxyPassword = 916,
    kResultRefused = 918,
    kResultSkipped = 919,
    kResultWrongType = 920,
    kResultStub = 921,
    kResultReadError = 922,
    kResultWriteError = 923,
    kResultDiskFull = 924,
    kResultBanned = 925,
    kResultStopped = 927,
    kResultLimit = 928,
    kResultBroken = 929,
    kResultNoPartSize = 930,
    kResultPartChanged = 931,
};

// Where a transfer reports what happens; the download job implements it.
class TransferSink {
public:
    virtual ~TransferSink() = default;
    virtual void Post(int code, std::int64_t param1, std::int64_t param2,
                      const std::string& text1 = {}, const std::string& text2 = {}) = 0;
};

}  // namespace kov
