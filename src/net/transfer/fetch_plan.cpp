#include "net/transfer/fetch_plan.h"

#include <algorithm>
#include <limits>

#include "core/event_codes.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr std::int64_t kMaxSize = std::numeric_limits<std::int64_t>::max();

FetchPlan Outcome(FetchAction action, int result) {
    FetchPlan plan;
    plan.action = action;
    plan.result = result;
    return plan;
}

bool ValidPart(const PartInfo& part) {
    return part.fileSize > 0 && part.partCount >= 1 && part.partNo >= 1 &&
           part.partNo <= part.partCount && part.partSize > 0;
}

FetchPlan PlanPart(int updateMode, const LocalFileState& local, const RemoteFileState& remote,
                   const PartInfo& part) {
    if (!remote.hasSize) return Outcome(FetchAction::Fail, kResultNoPartSize);
    if (remote.size != static_cast<std::uint64_t>(part.fileSize))
        return Outcome(FetchAction::Fail, kResultPartChanged);
    if (!ValidPart(part)) return Outcome(FetchAction::Fail, kResultNoPartSize);
    if (updateMode == 2 && local.exists) return Outcome(FetchAction::Skip, kResultSkipped);
    // Every factor is below fileSize, so nothing here can overflow.
    const std::int64_t start = (part.partNo - 1) * (part.fileSize / part.partCount);
    const std::int64_t length = part.partNo == part.partCount
                                    ? part.fileSize - start
                                    : std::min(part.partSize, part.fileSize - start);
    const std::int64_t have = local.exists ? std::max<std::int64_t>(local.size, 0) : 0;
    if (have >= length) return Outcome(FetchAction::Skip, kResultSkipped);
    FetchPlan plan = Outcome(FetchAction::Part, 0);
    plan.offset = start + have;
    plan.fileOffset = have;
    plan.expected = length - have;
    plan.total = length;
    return plan;
}

}  // namespace

bool SameFileTime(std::time_t a, std::time_t b) {
    return a - (a % 2) == b - (b % 2);
}

FetchPlan PlanFetch(int updateMode, const LocalFileState& local, const RemoteFileState& remote,
                    const PartInfo& part, Rewrite rewrite) {
    // A copy a crash cut short is no file to keep: it is finished as an update would.
    if (updateMode == 2 && local.incomplete) updateMode = 0;
    if (remote.hasSize && remote.size > static_cast<std::uint64_t>(kMaxSize))
        return Outcome(FetchAction::Fail, kResultBroken);
    if (part.active) return PlanPart(updateMode, local, remote, part);

    const std::int64_t size = remote.hasSize ? static_cast<std::int64_t>(remote.size) : -1;
    if (local.exists && updateMode == 2) return Outcome(FetchAction::Skip, kResultSkipped);
    FetchPlan plan = Outcome(FetchAction::Whole, 0);
    plan.expected = size;
    plan.total = size;
    if (rewrite != Rewrite::None) {
        if (local.exists && updateMode == 0 && rewrite == Rewrite::Settled && remote.hasTime &&
            SameFileTime(local.time, remote.time + kRewrittenShift))
            return Outcome(FetchAction::Skip, kResultSkipped);
        return plan;
    }
    if (local.exists && updateMode == 0 && remote.hasSize && remote.hasTime &&
        SameFileTime(local.time, remote.time)) {
        if (local.size == size) return Outcome(FetchAction::Skip, kResultSkipped);
        if (local.size > 0 && local.size < size) {
            plan.action = FetchAction::Resume;
            plan.offset = plan.fileOffset = local.size;
            plan.expected = size - local.size;
        }
    }
    return plan;
}

bool LeftUnfinished(int updateMode, const std::string& path) {
    return updateMode == 2 && MarkedIncomplete(path);
}

}  // namespace kov
