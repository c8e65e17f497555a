#include "net/transfer/fetch_plan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "core/event_codes.h"

namespace kov {
namespace {

constexpr std::time_t kT = 784111777;  // an odd second: stored copies may carry kT - 1
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

struct Case {
    const char* what;
    int mode;
    LocalFileState local;
    RemoteFileState remote;
    PartInfo part;
    FetchAction action;
    int result;
    std::int64_t offset, fileOffset, expected;
    Rewrite rewrite = Rewrite::None;
};

const LocalFileState kNone{};
const RemoteFileState kRemote{true, 1000, true, kT};
const PartInfo kWhole{};
constexpr FetchAction kSkip = FetchAction::Skip, kFail = FetchAction::Fail,
                      kWholeFile = FetchAction::Whole, kResume = FetchAction::Resume,
                      kPart = FetchAction::Part;

constexpr Rewrite kSettled = Rewrite::Settled, kAlways = Rewrite::Always;
const RemoteFileState kChanged{true, 1000, true, kT + 2};

constexpr std::int64_t kA = 2147483647;  // the largest part count and number stored
constexpr std::int64_t kHugeStart = (kA - 1) * (kMax / kA);

// clang-format off
const Case kCases[] = {
    {"new file",                     0, kNone,            kRemote, kWhole, kWholeFile, 0, 0, 0, 1000},
    {"unchanged",                    0, {true, 1000, kT}, kRemote, kWhole, kSkip, kResultSkipped, 0, 0, 0},
    {"unchanged, even-second stamp", 0, {true, 1000, kT - 1}, kRemote, kWhole, kSkip, kResultSkipped, 0, 0, 0},
    {"partial",                      0, {true, 400, kT},  kRemote, kWhole, kResume, 0, 400, 400, 600},
    {"empty partial",                0, {true, 0, kT},    kRemote, kWhole, kWholeFile, 0, 0, 0, 1000},
    {"longer than the server's",     0, {true, 2000, kT}, kRemote, kWhole, kWholeFile, 0, 0, 0, 1000},
    {"other time",                   0, {true, 1000, kT - 2}, kRemote, kWhole, kWholeFile, 0, 0, 0, 1000},
    {"no server time",               0, {true, 400, kT},  {true, 1000, false, 0}, kWhole, kWholeFile, 0, 0, 0, 1000},
    {"no server size",               0, {true, 400, kT},  {false, 0, true, kT}, kWhole, kWholeFile, 0, 0, 0, -1},
    {"overwrite",                    1, {true, 1000, kT}, kRemote, kWhole, kWholeFile, 0, 0, 0, 1000},
    {"overwrite a partial",          1, {true, 400, kT},  kRemote, kWhole, kWholeFile, 0, 0, 0, 1000},
    {"keep existing",                2, {true, 3, 0},     kRemote, kWhole, kSkip, kResultSkipped, 0, 0, 0},
    {"keep mode, new file",          2, kNone,            kRemote, kWhole, kWholeFile, 0, 0, 0, 1000},
    // A copy an earlier run left unfinished is finished as an update would.
    {"keep mode, unfinished",        2, {true, 400, kT, true}, kRemote, kWhole, kResume, 0, 400, 400, 600},
    {"keep mode, unfinished, no time", 2, {true, 400, 0, true}, kRemote, kWhole, kWholeFile, 0, 0, 0, 1000},
    {"size beyond 63 bits",          0, kNone, {true, std::uint64_t{1} << 63, false, 0}, kWhole, kFail, kResultBroken, 0, 0, 0},
    // Parts of a 1000-byte file in 3 start at 0, 333 and 666; the last takes the rest.
    {"first part",                   0, kNone,           kRemote, {true, 1000, 3, 333, 1}, kPart, 0, 0, 0, 333},
    {"last part",                    0, kNone,           kRemote, {true, 1000, 3, 333, 3}, kPart, 0, 666, 0, 334},
    {"part resumed",                 1, {true, 100, 0},  kRemote, {true, 1000, 3, 333, 2}, kPart, 0, 433, 100, 233},
    {"part complete",                0, {true, 333, 0},  kRemote, {true, 1000, 3, 333, 2}, kSkip, kResultSkipped, 0, 0, 0},
    {"part of a changed file",       0, kNone, {true, 999, true, kT}, {true, 1000, 3, 333, 1}, kFail, kResultPartChanged, 0, 0, 0},
    {"part without size",            0, kNone, {false, 0, true, kT}, {true, 1000, 3, 333, 1}, kFail, kResultNoPartSize, 0, 0, 0},
    {"part number past the count",   0, kNone,           kRemote, {true, 1000, 3, 333, 4}, kFail, kResultNoPartSize, 0, 0, 0},
    {"part number below one",        0, kNone,           kRemote, {true, 1000, 3, 333, -kA - 1}, kFail, kResultNoPartSize, 0, 0, 0},
    {"no part count",                0, kNone,           kRemote, {true, 1000, 0, 333, 1}, kFail, kResultNoPartSize, 0, 0, 0},
    // Stored values near the limits: 64-bit arithmetic, no overflow.
    {"huge parts", 0, kNone, {true, static_cast<std::uint64_t>(kMax), false, 0}, {true, kMax, kA, kMax / 2, kA}, kPart, 0, kHugeStart, 0, kMax - kHugeStart},
    // A page the job rewrites is never taken for the start of the server's file; it is up to
    // date only once its rewrite finished, stamped after the server's time.
    {"rewritten",                    0, {true, 700, kT + 2},  kRemote, kWhole, kSkip, kResultSkipped, 0, 0, 0, kSettled},
    {"rewritten, even-second stamp", 0, {true, 700, kT + 1},  kRemote, kWhole, kSkip, kResultSkipped, 0, 0, 0, kSettled},
    {"rewritten, shorter, server's time", 0, {true, 400, kT}, kRemote, kWhole, kWholeFile, 0, 0, 0, 1000, kSettled},
    {"delivered, rewrite unfinished", 0, {true, 1000, kT},    kRemote, kWhole, kWholeFile, 0, 0, 0, 1000, kSettled},
    {"rewritten copy of an older page", 0, {true, 700, kT + 2}, kChanged, kWhole, kWholeFile, 0, 0, 0, 1000, kSettled},
    {"rewritten, no server time",    0, {true, 700, kT + 2},  {true, 1000, false, 0}, kWhole, kWholeFile, 0, 0, 0, 1000, kSettled},
    {"rewritten, overwrite",         1, {true, 700, kT + 2},  kRemote, kWhole, kWholeFile, 0, 0, 0, 1000, kSettled},
    {"rewritten, keep existing",     2, {true, 700, kT + 2},  kRemote, kWhole, kSkip, kResultSkipped, 0, 0, 0, kSettled},
    {"ripped",                       0, {true, 700, kT + 2},  kRemote, kWhole, kWholeFile, 0, 0, 0, 1000, kAlways},
    {"ripped, shorter, server's time", 0, {true, 400, kT},    kRemote, kWhole, kWholeFile, 0, 0, 0, 1000, kAlways},
    {"delivered, rip unfinished",    0, {true, 1000, kT},     kRemote, kWhole, kWholeFile, 0, 0, 0, 1000, kAlways},
};
// clang-format on

TEST(PlanFetch, DecidesEveryCase) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const FetchPlan plan = PlanFetch(c.mode, c.local, c.remote, c.part, c.rewrite);
        EXPECT_EQ(plan.action, c.action);
        EXPECT_EQ(plan.result, c.result);
        if (c.action == kSkip || c.action == kFail) continue;
        EXPECT_EQ(plan.offset, c.offset);
        EXPECT_EQ(plan.fileOffset, c.fileOffset);
        EXPECT_EQ(plan.expected, c.expected);
    }
}

}  // namespace
}  // namespace kov
