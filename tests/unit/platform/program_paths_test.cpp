#include "platform/program_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file_util.h"
#include "support/env_guard.h"
#include "support/temp_dir.h"

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
    test::TempDir dir;
    ASSERT_TRUE(CreateFolders(dir.File("portable")));
    ASSERT_TRUE(WriteFileAtomic(dir.File("portable/kov.ini"), ""));
    const std::string portableExe = dir.File("portable/kov-cli");
    const std::string plainExe = dir.File("bin/kov-cli");

    ::setenv("KOV_HOME", dir.File("home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    EXPECT_EQ(ResolveProgramFolder(portableExe), dir.File("home/"));
    EXPECT_EQ(ModeOf(dir.File("home")), 0700u);

    ::setenv("KOV_HOME", "", 1);  // empty counts as unset
    EXPECT_EQ(ResolveProgramFolder(portableExe), dir.File("portable/"));
    EXPECT_EQ(ResolveProgramFolder(plainExe), dir.File("data/kov/"));
    EXPECT_EQ(ModeOf(dir.File("data/kov")), 0700u);

    // A relative XDG folder is ignored, as the XDG rules demand.
    ::setenv("HOME", dir.File("user").c_str(), 1);
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(ResolveProgramFolder(plainExe), dir.File("user/.local/share/kov/"));
    EXPECT_TRUE(FolderExists(dir.File("user/.local/share/kov")));
}

TEST(ProgramPaths, UserStorePathUsesConfigFolderWithoutCreatingIt) {
    test::EnvGuard env(kPathVariables);
    test::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    EXPECT_EQ(UserStorePath(), dir.File("config/kov/user.ini"));
    EXPECT_FALSE(FileExists(dir.File("config")));
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(UserStorePath(), "/home/someone/.config/kov/user.ini");
}

}  // namespace
}  // namespace kov
