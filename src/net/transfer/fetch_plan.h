#pragma once

// What to do with one file before any byte of it is written: skip it, fetch it whole, resume a
// partial copy or fetch one part of a distributed download. HTTP, FTP and file copies all
// decide here, so that an update mode means the same on every scheme.

#include <cstdint>
#include <ctime>
#include <string>

namespace kov {

struct LocalFileState {
    bool exists = false;
    std::int64_t size = 0;
    std::time_t time = 0;
    bool incomplete = false;  // left unfinished by an earlier run (MarkIncomplete)
};

struct RemoteFileState {
    bool hasSize = false;
    std::uint64_t size = 0;
    bool hasTime = false;
    std::time_t time = 0;
};

// One part of a distributed download; active only with a file size and a part number.
struct PartInfo {
    bool active = false;
    std::int64_t fileSize = 0;
    std::int64_t partCount = 1;
    std::int64_t partSize = 0;
    std::int64_t partNo = 1;
};

// What the job does to a file after delivering it. A rewritten copy is never the start of the
// server's file, so it is never resumed, and a copy with the server's exact time is one whose
// rewriting never finished (a crash, a stop), so it is never up to date either.
enum class Rewrite {
    None,     // kept as delivered
    Settled,  // rewritten once; up to date when stamped kRewrittenShift after the server's time
    Always,   // rewritten with what else it brings (a rip) on every delivery: fetched whole
};

// A finished rewrite stamps the file this long after the server's time: a different even
// second, and one shift only, however often the file was written.
constexpr std::time_t kRewrittenShift = 2;

enum class FetchAction {
    Skip,    // result holds 919
    Fail,    // result holds the error
    Whole,   // from the first byte, replacing the local file
    Resume,  // from offset, appending to the local copy at fileOffset
    Part,    // a distributed part: server offset, local fileOffset
};

struct FetchPlan {
    FetchAction action = FetchAction::Whole;
    int result = 0;
    std::int64_t offset = 0;      // where the server starts sending
    std::int64_t fileOffset = 0;  // where the received bytes go in the local file
    std::int64_t expected = -1;   // bytes to receive; -1 unknown
    std::int64_t total = -1;      // the size the local file ends with; -1 unknown
};

// updateMode: 0 resume or update, 1 always overwrite, 2 skip any existing file (one an earlier
// run left unfinished is resumed or updated as with 0). Times are compared at the even-second
// grain of the file times stored after earlier transfers.
FetchPlan PlanFetch(int updateMode, const LocalFileState& local, const RemoteFileState& remote,
                    const PartInfo& part, Rewrite rewrite = Rewrite::None);

// LocalFileState::incomplete for the file at path: looked at only when the update mode keeps
// existing files, the one mode where it changes the plan.
bool LeftUnfinished(int updateMode, const std::string& path);

// True when both times name the same even second.
bool SameFileTime(std::time_t a, std::time_t b);

}  // namespace kov
