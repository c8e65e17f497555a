#pragma once

#include <cstdint>

namespace kov {

// How a file result counts for the log and the exit status. An expected outcome (a number
// series running into a missing number, a URL refused by the user's own banned words) is
// information: a cron user must see a failure only for a real fault.
enum class ResultClass { Success, Expected, Stopped, Failure };

// result is a FileResult, lastError the transfer's last status (HTTP status, FTP reply);
// numberSeries tells whether the item walks a number series.
ResultClass ClassifyFileResult(std::int64_t result, std::int64_t lastError, bool numberSeries);

}  // namespace kov
