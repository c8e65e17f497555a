#include "platform/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

namespace kov {
namespace {

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) >= 0;
}

// Ownership moves with the object and ends in exactly one close.
TEST(UniqueFdTest, ClosesWhatItOwnsExactlyOnce) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    {
        UniqueFd a(ends[0]);
        UniqueFd b(std::move(a));
        EXPECT_FALSE(a.Valid());
        EXPECT_EQ(b.Get(), ends[0]);
        UniqueFd c;
        c = std::move(b);
        EXPECT_TRUE(IsOpen(ends[0]));
        UniqueFd d(ends[1]);
        const int released = d.Release();
        EXPECT_EQ(released, ends[1]);
        c.Reset(released);  // closes the reading end, owns the writing end
        EXPECT_FALSE(IsOpen(ends[0]));
    }
    EXPECT_FALSE(IsOpen(ends[1]));

    UniqueFd none;
    EXPECT_TRUE(none.Close());
    ASSERT_EQ(::pipe(ends), 0);
    UniqueFd e(ends[0]), f(ends[1]);
    EXPECT_TRUE(e.Close());
    EXPECT_FALSE(e.Valid());
    EXPECT_FALSE(IsOpen(ends[0]));
}

}  // namespace
}  // namespace kov
