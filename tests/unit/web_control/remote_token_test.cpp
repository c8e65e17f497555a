#include "web_control/remote_token.h"

#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace kov {
namespace {

TEST(RemoteTokenTest, MadeOnceKeptPrivateAndRenewed) {
    test::TempDir dir;
    const std::string path = dir.path() + "/config/kov/remote-token";
    RemoteToken made(path);
    ASSERT_TRUE(made.LoadOrMake()) << made.Error();
    EXPECT_EQ(made.Value().size(), RemoteToken::kLength);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    RemoteToken again(path);
    ASSERT_TRUE(again.LoadOrMake());
    EXPECT_EQ(again.Value(), made.Value());

    ASSERT_TRUE(again.Renew());
    EXPECT_NE(again.Value(), made.Value());
    RemoteToken reread(path);
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.Value(), again.Value());
}

TEST(RemoteTokenTest, DamagedOrMissingFileIsAnErrorNotANewToken) {
    test::TempDir dir;
    const std::string path = dir.path() + "/remote-token";
    RemoteToken missing(path);
    EXPECT_FALSE(missing.Load());
    EXPECT_NE(missing.Error().find(path), std::string::npos);
    std::ofstream(path) << "not-a-token\n";
    RemoteToken damaged(path);
    EXPECT_FALSE(damaged.LoadOrMake());
    EXPECT_NE(damaged.Error().find("not a remote-control token"), std::string::npos);
}

TEST(RemoteTokenTest, MatchesOnlyTheWholeToken) {
    test::TempDir dir;
    RemoteToken token(dir.path() + "/remote-token");
    EXPECT_FALSE(token.Matches(""));  // no token yet: nothing is accepted
    ASSERT_TRUE(token.Renew());
    const std::string value = token.Value();
    EXPECT_TRUE(token.Matches(value));
    for (const std::string& wrong :
         {std::string(), value.substr(0, 63), value + "0", std::string(64, '0'),
          value.substr(0, 63) + (value.back() == 'a' ? "b" : "a")}) {
        EXPECT_FALSE(token.Matches(wrong)) << wrong;
    }
}

}  // namespace
}  // namespace kov
