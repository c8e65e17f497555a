#include "engine/job_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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

TEST(JobCommand, FormsOfTheCommandLine) {
    EXPECT_TRUE(IsPerFileCommand("gzip %n"));
    EXPECT_FALSE(IsPerFileCommand("gzip -9 %"));
    JobCommand c = PerFileCommand("cp %n %N.bak", "/d/a.txt");
    EXPECT_EQ(c.line, "cp '/d/a.txt' '/d/a.txt'.bak");
    EXPECT_EQ(c.file, "/d/a.txt");
    EXPECT_FALSE(c.runsFile);
    // The inserted path is never expanded again; an ordinary one goes into quoted text as it is.
    EXPECT_EQ(PerFileCommand("echo %N", "/d/x%N%n").line, "echo '/d/x%N%n'");
    EXPECT_EQ(PerFileCommand("sh -c 'gzip \"%N\"'", "/d/my file").line,
              "sh -c 'gzip \"/d/my file\"'");
    // Relative paths become absolute: no option, no PATH search, right from any folder.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(PerFileCommand("rm %N", "-rf").line, "rm '" + std::string(cwd) + "/-rf'");
    EXPECT_EQ(FinalCommand("make all", "/d/a.txt").line, "make all");
    EXPECT_TRUE(PerFileCommand("*%N", "/d/a").runsFile && FinalCommand("*", "/d/a").runsFile);
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

    // An interpreter that does not exist: the shell cannot run the file.
    ASSERT_TRUE(WriteFileAtomic(dir.File("bad"), "#!/no/such/interpreter\n", 0644));
    run = RunJobCommand(FinalCommand("*", dir.File("bad")), dir.path(), nullptr);
    EXPECT_EQ(run.result, 0);
    EXPECT_FALSE(run.Started());
}

TEST(JobCommand, ResultSaysStartedTimedOutOrNotStartedAndKeepsTheStatus) {
    test::TempDir dir;
    ASSERT_TRUE(CreateFolders(dir.File("sub")));
    auto run = [&](const std::string& line, const std::string& folder,
                   const std::atomic<int>* stop = nullptr) {
        return RunJobCommand({line, "", false}, folder, stop);
    };
    EXPECT_EQ(run("pwd > out", dir.File("sub/")).result, 0);  // the separator is dropped
    EXPECT_EQ(ReadFile(dir.File("sub/out")), dir.File("sub") + "\n");
    const CommandRun failed = run("exit 3", dir.path());
    EXPECT_EQ(failed.result, 0);
    EXPECT_EQ(failed.exitStatus, 3);
    EXPECT_TRUE(failed.Started());
    EXPECT_FALSE(run("/no/such/program 2>/dev/null", dir.path()).Started());
    // A folder that cannot be entered is the one way sh itself cannot start.
    const CommandRun missing = run("true", dir.File("missing/"));
    EXPECT_EQ(missing.result, -1);
    EXPECT_FALSE(missing.Started());

    std::atomic<int> stop{kStopAfterFile};  // does not end a command
    EXPECT_EQ(run("exit 4", dir.path(), &stop).exitStatus, 4);
    std::thread stopper([&] {
        for (int i = 0; i < 2000 && !FileExists(dir.File("started")); ++i)
            std::this_thread::sleep_for(10ms);
        stop = kStopNow;
    });
    EXPECT_EQ(run("touch started; sleep 60", dir.path(), &stop).result, kCommandTimedOut);
    stopper.join();
}

}  // namespace
}  // namespace kov
