#include "core/settings/user_store.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/settings/profile_store.h"

namespace kov {
namespace {

TEST(RecentPaths, MostRecentFirstAtMostTwenty) {
    RecentPaths recent;
    for (int i = 1; i <= 25; ++i)
        recent.Use("/d/" + std::to_string(i) + "/");
    ASSERT_EQ(recent.Paths().size(), 20u);
    EXPECT_EQ(recent.First(), "/d/25/");
    EXPECT_EQ(recent.Paths().back(), "/d/6/");

    recent.Use("/d/10/");  // used again: moves to the front, no duplicate
    EXPECT_EQ(recent.First(), "/d/10/");
    EXPECT_EQ(recent.Paths().size(), 20u);
    EXPECT_EQ(std::count(recent.Paths().begin(), recent.Paths().end(), "/d/10/"), 1);
    recent.Use("");
    EXPECT_EQ(recent.First(), "/d/10/");
}

TEST(RecentPaths, SaveAndLoadRoundTrip) {
    RecentPaths recent;
    EXPECT_FALSE(recent.Changed());
    recent.Use("/b/");
    recent.Use("/a/");
    EXPECT_TRUE(recent.Changed());
    ProfileStore store;
    store.LoadText("[Settings]\nLimitCounter=5\n");
    ASSERT_TRUE(recent.Save(store));
    EXPECT_FALSE(recent.Changed());
    EXPECT_EQ(store.Serialize(), "[Settings]\nLimitCounter=5\n[MRUpaths]\npath1=/a/\npath2=/b/\n");

    RecentPaths loaded;
    loaded.Load(store);
    EXPECT_EQ(loaded.Paths(), (std::vector<std::string>{"/a/", "/b/"}));
}

}  // namespace
}  // namespace kov
