#include "engine/job_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "engine/job.h"
#include "platform/file_util.h"
#include "platform/run_command.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

// A name a hostile server could send: every quote and expansion sh knows, aimed at a marker.
const std::string kHostileName =
    "a b'; touch marker; '\"; touch marker; \"$(touch marker)`touch marker`\\\\x%N;touch "
    "marker\n|touch marker&>x<y";

// Which lines run per file and which once is checked by the job tests; the quoting by the
// hostile names below.
TEST(JobCommand, APathGoesInQuotedAndAbsolute) {
    EXPECT_EQ(PerFileCommand("cp %n %N.bak", "/d/a").line, "cp '/d/a' '/d/a'.bak");
    // Relative paths become absolute: no option, no PATH search, right from any folder.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(PerFileCommand("rm %N", "-rf").line, "rm '" + std::string(cwd) + "/-rf'");
}

TEST(JobCommand, AHostileNameRunsNothingEvenThroughAFurtherShell) {
    test::TempDir dir;
    const std::string path = dir.File(kHostileName);
    // The path lands bare, in "...", in '...', in $(...) and `...`, and in the script of a
    // further sh -c, quoted either way.
    const char* commands[] = {
        "printf '%s' %N > out",
        "printf '%s' \"$(printf '%s' %N)\" > out",
        "printf '%s' \"`printf '%s' %N`\" > out",
        "sh -c 'printf %s %N > out'",
        "sh -c \"printf '%s' %N > out\"",
        "printf '%s' \"%N\" > out",
        "printf '%s' '%N' > out",
    };
    for (const char* cmd : commands) {
        SCOPED_TRACE(cmd);
        ::unlink(dir.File("out").c_str());
        const JobCommand c = PerFileCommand(cmd, path);
        const CommandRun run = RunJobCommand(c, dir.path(), nullptr);
        EXPECT_EQ(run.result, 0) << c.line;
        EXPECT_FALSE(FileExists(dir.File("marker"))) << c.line;
        EXPECT_TRUE(FileExists(dir.File("out"))) << c.line;
    }
    // Where the path is read by the shell that runs the line, it arrives whole.
    for (int i = 0; i < 5; ++i) {
        ::unlink(dir.File("out").c_str());
        ASSERT_EQ(RunJobCommand(PerFileCommand(commands[i], path), dir.path(), nullptr).result, 0);
        EXPECT_EQ(ReadFile(dir.File("out")), path) << commands[i];
    }
}

TEST(JobCommand, TheStarFormMakesTheFileExecutableAndRunsIt) {
    test::TempDir dir;
    const std::string script = dir.File(kHostileName);
    ASSERT_TRUE(WriteFileAtomic(script, "#!/bin/sh\necho ran >> out\n", 0644));
    CommandRun run = RunJobCommand(PerFileCommand("*", script), dir.path(), nullptr);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.Started());
    run = RunJobCommand(FinalCommand("*", script), dir.path(), nullptr);
    EXPECT_TRUE(run.Started());
    EXPECT_EQ(ReadFile(dir.File("out")), "ran\nran\n");
    EXPECT_FALSE(FileExists(dir.File("marker")));
}

// Exit status, folder and time limit are the platform's and the job tests'; what the job adds
// is its stop levels.
TEST(JobCommand, OnlyAnImmediateStopEndsACommand) {
    test::TempDir dir;
    const auto run = [&](const std::string& line, const std::atomic<int>* stop) {
        return RunJobCommand({line, "", false}, dir.path() + "/", stop);
    };
    std::atomic<int> stop{kStopAfterFile};
    EXPECT_EQ(run("true", &stop).result, 0);
    std::thread stopper([&] {
        for (int i = 0; i < 2000 && !FileExists(dir.File("started")); ++i)
            std::this_thread::sleep_for(10ms);
        stop = kStopNow;
    });
    EXPECT_EQ(run("touch started; sleep 60", &stop).result, kCommandTimedOut);
    stopper.join();
}

}  // namespace
}  // namespace kov
