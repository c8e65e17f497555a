#include "platform/program_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file_util.h"
#include "platform_test_util.h"

namespace kov {
namespace {

const std::vector<std::string> kPathVariables = {"KOV_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                                                 "HOME", "TMPDIR"};

unsigned ModeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST(ProgramPaths, ProgramFolderFollowsTheOrderOfChoices) {
    test::EnvGuard env(kPathVariables);
    test::ScratchFolder dir;
    ASSERT_TRUE(CreateFolders(dir / "portable"));
    ASSERT_TRUE(WriteFileAtomic(dir / "portable/kov.ini", ""));
    const std::string portableExe = dir / "portable/kov-cli";
    const std::string plainExe = dir / "bin/kov-cli";

    ::setenv("KOV_HOME", (dir / "home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    EXPECT_EQ(ResolveProgramFolder(portableExe), dir / "home/");
    EXPECT_EQ(ModeOf(dir / "home"), 0700u);

    ::setenv("KOV_HOME", "", 1);  // empty counts as unset
    EXPECT_EQ(ResolveProgramFolder(portableExe), dir / "portable/");
    EXPECT_EQ(ResolveProgramFolder(plainExe), dir / "data/kov/");
    EXPECT_EQ(ModeOf(dir / "data/kov"), 0700u);

    // A relative XDG folder is ignored, as the XDG rules demand.
    ::setenv("HOME", (dir / "user").c_str(), 1);
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(ResolveProgramFolder(plainExe), dir / "user/.local/share/kov/");
    EXPECT_TRUE(FolderExists(dir / "user/.local/share/kov"));
}

TEST(ProgramPaths, UserStorePathUsesConfigFolderWithoutCreatingIt) {
    test::EnvGuard env(kPathVariables);
    test::ScratchFolder dir;
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    EXPECT_EQ(UserStorePath(), dir / "config/kov/user.ini");
    EXPECT_FALSE(FileExists(dir / "config"));

    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(UserStorePath(), "/home/someone/.config/kov/user.ini");
}

TEST(ProgramPaths, DataPathPrefersTheProgramFolder) {
    test::ScratchFolder dir;
    ASSERT_TRUE(CreateFolders(dir / "Lang"));
    EXPECT_EQ(FindDataPath(dir.path(), "Lang/"), dir / "Lang/");
    std::string installed = FindDataPath(dir.path(), "Help/index.html");
    EXPECT_EQ(installed.front(), '/');
    EXPECT_NE(installed.rfind("/kov/Help/index.html"), std::string::npos) << installed;
}

}  // namespace
}  // namespace kov
