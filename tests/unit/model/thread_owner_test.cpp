#include "core/thread_owner.h"

#include <gtest/gtest.h>

#include <thread>

#include "model/list_model.h"

namespace kov {
namespace {

#ifndef NDEBUG
// A row added by a worker instead of through the main loop is caught at once, with its name.
TEST(ThreadOwnerDeathTest, AnotherThreadChangingTheRowsAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ListModel rows;
    rows.Append(UrlItem{});  // the owner may
    EXPECT_DEATH(std::thread([&rows] { rows.Append(UrlItem{}); }).join(),
                 "ListModel::Insert called off the main loop's thread");
    EXPECT_EQ(rows.Count(), 1u);
}
#endif

}  // namespace
}  // namespace kov
