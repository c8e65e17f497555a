#include "net/transfer/segment_plan.h"

#include <gtest/gtest.h>

#include <random>

namespace kov {
namespace {

constexpr std::int64_t kMiB = 1 << 20;
using Ranges = SegmentPlan::Ranges;

struct SplitCase {
    const char* what;
    std::int64_t size;
    int count;
    Ranges expected;
};

TEST(SegmentPlanTest, SplitsIntoAlignedRangesThatCoverTheFile) {
    const SplitCase cases[] = {
        {"even",
         16 * kMiB,
         4,
         {{0, 4 * kMiB}, {4 * kMiB, 8 * kMiB}, {8 * kMiB, 12 * kMiB}, {12 * kMiB, 16 * kMiB}}},
        {"fewer than asked when small", 10 * kMiB, 8, {{0, 5 * kMiB}, {5 * kMiB, 10 * kMiB}}},
        {"one when smaller than a segment", kMiB, 4, {{0, kMiB}}},
        {"the last takes the odd bytes",
         8 * kMiB + 5,
         2,
         {{0, 4 * kMiB}, {4 * kMiB, 8 * kMiB + 5}}},
        {"a count below one is one", 8 * kMiB, 0, {{0, 8 * kMiB}}},
    };
    for (const SplitCase& c : cases) {
        const SegmentPlan plan = SegmentPlan::Split(c.size, c.count, 4 * kMiB);
        EXPECT_EQ(plan.Missing(), c.expected) << c.what;
        EXPECT_EQ(plan.Done(), 0) << c.what;
    }
}

// Two segments of 8 MiB; the first is busy and has written `written` bytes since `since`.
struct StealCase {
    const char* what;
    std::int64_t written;
    std::int64_t now;
    bool takes;
    Ranges afterwards;  // missing ranges, sorted
};

TEST(SegmentPlanTest, AnIdleConnectionSplitsTheLargestRestOrTakesASlowOnesWhole) {
    constexpr std::int64_t kSize = 16 * kMiB;
    const StealCase cases[] = {
        {"half of a large rest", 0, 0, true, {{0, 4 * kMiB}, {4 * kMiB, 8 * kMiB}}},
        {"the split lies on the grain",
         5 * kMiB - 100,
         0,
         true,
         {{5 * kMiB - 100, 6 * kMiB + 448 * 1024}, {6 * kMiB + 448 * 1024, 8 * kMiB}}},
        {"a small rest of a fast connection stays", 7 * kMiB, 1000, false, {{7 * kMiB, 8 * kMiB}}},
        {"a small rest of a slow connection moves",
         8 * kMiB - 300000,
         100000,
         true,
         {{8 * kMiB - 300000, 8 * kMiB}}},
    };
    for (const StealCase& c : cases) {
        SegmentPlan plan = SegmentPlan::Split(kSize, 2, kMiB);
        const auto first = plan.Take({kMiB, 0, 3000});
        ASSERT_EQ(first, 0u);
        std::int64_t offset = 0;
        plan.Commit(0, plan.Claim(0, c.written, &offset));
        // The second segment is done, by another connection that is idle now.
        const auto second = plan.Take({kMiB, 0, 3000});
        plan.Commit(*second, plan.Claim(*second, 8 * kMiB, &offset));
        plan.Release(*second);
        const auto taken = plan.Take({kMiB, c.now, 3000});
        EXPECT_EQ(taken.has_value(), c.takes) << c.what;
        EXPECT_EQ(plan.Missing(), c.afterwards) << c.what;
        EXPECT_EQ(plan.Done(), 8 * kMiB + c.written) << c.what;
    }
}

// An idle connection waits for a small rest to show itself slow, takes it whole once, and then
// leaves it to its new connection, however slow that one is.
TEST(SegmentPlanTest, ASmallRestChangesHandsOnce) {
    SegmentPlan plan = SegmentPlan::Split(8 * kMiB, 2, kMiB);
    ASSERT_EQ(plan.Take({kMiB, 0, 3000}), 0u);
    ASSERT_EQ(plan.Take({kMiB, 0, 3000}), 1u);
    std::int64_t offset = 0;
    plan.Commit(0, plan.Claim(0, 4 * kMiB - 300000, &offset));
    plan.Commit(1, plan.Claim(1, 4 * kMiB, &offset));
    plan.Release(1);
    EXPECT_FALSE(plan.Take({kMiB, 500, 3000}));  // not measured for a second yet
    EXPECT_TRUE(plan.MayShareLater());
    const auto taken = plan.Take({kMiB, 100000, 3000});
    ASSERT_TRUE(taken);
    plan.Release(0);  // the slow connection sees its range end and leaves
    EXPECT_FALSE(plan.Take({kMiB, 500000, 3000}));
    EXPECT_FALSE(plan.MayShareLater());
    plan.Commit(*taken, plan.Claim(*taken, 300000, &offset));
    EXPECT_TRUE(plan.Complete());
}

TEST(SegmentPlanTest, ClaimsEndWhereAStolenSegmentNowEnds) {
    SegmentPlan plan = SegmentPlan::Split(8 * kMiB, 1, kMiB);
    ASSERT_EQ(plan.Take({kMiB, 0, 3000}), 0u);
    std::int64_t offset = -1;
    ASSERT_EQ(plan.Claim(0, 1000, &offset), 1000);
    EXPECT_EQ(offset, 0);
    // Claimed but not yet written: the split leaves those bytes to their writer.
    ASSERT_EQ(plan.Take({kMiB, 0, 3000}), 1u);
    const SegmentPlan::Segment& kept = plan.Segments()[0];
    EXPECT_EQ(kept.end, 4 * kMiB);
    plan.Commit(0, 1000);
    EXPECT_EQ(plan.Claim(0, 8 * kMiB, &offset), 4 * kMiB - 1000);
    EXPECT_EQ(offset, 1000);
    EXPECT_EQ(plan.Claim(0, 10, &offset), 0);
    // A connection that fails leaves its uncommitted claim to the next.
    plan.Release(0);
    EXPECT_EQ(plan.Missing(), (Ranges{{1000, 4 * kMiB}, {4 * kMiB, 8 * kMiB}}));
}

TEST(SegmentPlanTest, MissingRangesRebuildTheSamePlan) {
    SegmentPlan plan = SegmentPlan::Split(12 * kMiB, 3, kMiB);
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto index = plan.Take({kMiB, 0, 3000});
        plan.Commit(*index, plan.Claim(*index, static_cast<std::int64_t>(i) * kMiB + 7, &offset));
    }
    const SegmentPlan again = SegmentPlan::FromMissing(12 * kMiB, plan.Missing());
    EXPECT_EQ(again.Missing(), plan.Missing());
    EXPECT_EQ(again.Done(), plan.Done());
    EXPECT_FALSE(again.Complete());
    EXPECT_TRUE(SegmentPlan::FromMissing(12 * kMiB, {}).Complete());
}

// Connections that write blocks, fail, take over and steal in a random order still write every
// byte exactly once.
TEST(SegmentPlanTest, RandomWorkWritesEveryByteOnce) {
    constexpr std::int64_t kSize = 5 * kMiB + 12345;
    std::mt19937 random(7);
    SegmentPlan plan = SegmentPlan::Split(kSize, 3, kMiB);
    std::vector<int> writes(kSize, 0);
    std::vector<std::optional<std::size_t>> connections(5);
    for (std::int64_t now = 0; !plan.Complete(); now += 50) {
        ASSERT_LT(now, 10'000'000) << "no progress";
        auto& held = connections[random() % connections.size()];
        if (!held) {
            held = plan.Take({256 * 1024, now, 3000});
            continue;
        }
        if (random() % 50 == 0) {  // the connection fails
            plan.Release(*held);
            held.reset();
            continue;
        }
        std::int64_t offset = 0;
        const std::int64_t take = plan.Claim(*held, 1 + random() % 70000, &offset);
        for (std::int64_t b = offset; b < offset + take; ++b)
            ++writes[static_cast<std::size_t>(b)];
        plan.Commit(*held, take);
        if (plan.Segments()[*held].Unclaimed() == 0) {
            plan.Release(*held);
            held.reset();
        }
    }
    EXPECT_EQ(std::count(writes.begin(), writes.end(), 1), kSize);
}

}  // namespace
}  // namespace kov
