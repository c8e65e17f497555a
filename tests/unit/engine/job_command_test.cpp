#include "engine/job_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform/file_util.h"
#include "platform/run_command.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

// A name a hostile server could send: every quote and expansion sh knows, aimed at a marker.
const std::string kHostileName =
    "a b'; touch marker; '\"; touch marker; \"$(touch marker)`touch marker`\\\\x%N;touch marker";

TEST(JobCommand, FormsOfTheCommandLine) {
    EXPECT_TRUE(IsPerFileCommand("gzip %N"));
    EXPECT_TRUE(IsPerFileCommand("gzip %n"));
    EXPECT_FALSE(IsPerFileCommand("gzip -9 %"));
    EXPECT_FALSE(IsPerFileCommand("*"));

    bool deleteAfter = true;
    EXPECT_EQ(PerFileCommandLine("cp %n %N.bak", "/d/a.txt", deleteAfter),
              "cp '/d/a.txt' '/d/a.txt'.bak");
    EXPECT_FALSE(deleteAfter);
    EXPECT_EQ(PerFileCommandLine("*%N", "/d/run me", deleteAfter), "'/d/run me'");
    EXPECT_TRUE(deleteAfter);
    // The inserted path is never expanded again.
    EXPECT_EQ(PerFileCommandLine("echo %N", "/d/x%N%n", deleteAfter), "echo '/d/x%N%n'");
    // Relative paths become absolute: no option, no PATH search, right from any folder.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(PerFileCommandLine("rm %N", "-rf", deleteAfter), "rm '" + std::string(cwd) + "/-rf'");

    EXPECT_EQ(FinalCommandLine("make all", "/d/a.txt", deleteAfter), "make all");
    EXPECT_FALSE(deleteAfter);
    EXPECT_EQ(FinalCommandLine("*", "/d/it's", deleteAfter), "'/d/it'\\''s'");
    EXPECT_TRUE(deleteAfter);
}

TEST(JobCommand, AHostileNameArrivesWholeAndRunsNothing) {
    test::TempDir dir;
    const std::string path = dir.File(kHostileName);
    // The path lands bare, in "...", in '...', in $(...) inside "..." and in `...`.
    const char* commands[] = {
        "printf '%s' %N > out",
        "printf '%s' \"%N\" > out",
        "printf '%s' '%N' > out",
        "printf '%s' \"$(printf '%s' %N)\" > out",
        "printf '%s' \"`printf '%s' %N`\" > out",
        "printf '%s' \"`printf '%s' '%N'`\" > out",
    };
    for (const char* cmd : commands) {
        SCOPED_TRACE(cmd);
        ::unlink(dir.File("out").c_str());
        bool deleteAfter = true;
        const std::string line = PerFileCommandLine(cmd, path, deleteAfter);
        EXPECT_FALSE(deleteAfter);
        EXPECT_EQ(RunJobCommand(line, dir.path(), nullptr), 0) << line;
        EXPECT_EQ(ReadFile(dir.File("out")), path) << line;
        EXPECT_FALSE(FileExists(dir.File("marker"))) << line;
    }
}

TEST(JobCommand, TheStarFormRunsAHostileFileItself) {
    test::TempDir dir;
    const std::string script = dir.File(kHostileName);
    ASSERT_TRUE(WriteFileAtomic(script, "#!/bin/sh\necho ran > out\n", 0755));
    bool deleteAfter = false;
    EXPECT_EQ(RunJobCommand(PerFileCommandLine("*", script, deleteAfter), dir.path(), nullptr), 0);
    EXPECT_EQ(RunJobCommand(FinalCommandLine("*", script, deleteAfter), dir.path(), nullptr), 0);
    EXPECT_EQ(ReadFile(dir.File("out")), "ran\n");
    EXPECT_FALSE(FileExists(dir.File("marker")));
}

TEST(JobCommand, RunsInTheFolderAndReportsItsEnd) {
    test::TempDir dir;
    ASSERT_TRUE(CreateFolders(dir.File("sub")));
    EXPECT_EQ(RunJobCommand("pwd > out", dir.File("sub/"), nullptr), 0);
    EXPECT_EQ(ReadFile(dir.File("sub/out")), dir.File("sub") + "\n");
    EXPECT_EQ(RunJobCommand("exit 3", dir.path(), nullptr), 3);
    EXPECT_EQ(RunJobCommand("/no/such/program 2>/dev/null", dir.path(), nullptr), 127);
    // A folder that cannot be entered is the one way sh itself cannot start.
    EXPECT_EQ(RunJobCommand("true", dir.File("missing/"), nullptr), -1);
}

TEST(JobCommand, StopRequestTwoEndsARunningCommand) {
    test::TempDir dir;
    std::atomic<int> stop{1};  // "when the current file is done" does not end a command
    EXPECT_EQ(RunJobCommand("exit 4", dir.path(), &stop), 4);

    std::thread stopper([&] {
        for (int i = 0; i < 2000 && !FileExists(dir.File("started")); ++i)
            std::this_thread::sleep_for(10ms);
        stop = 2;
    });
    EXPECT_EQ(RunJobCommand("touch started; sleep 60", dir.path(), &stop), kCommandTimedOut);
    stopper.join();
}

}  // namespace
}  // namespace kov
