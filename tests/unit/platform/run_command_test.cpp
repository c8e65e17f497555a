#include "platform/run_command.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <thread>

#include "platform/file_util.h"
#include "platform/run_program.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

// Waits for a condition that the system makes true soon; false if it never does.
bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

// Processes of the group that still run. Zombies are left out: orphans are reaped by init,
// which on some systems never does it.
int LiveMembers(pid_t pgid) {
    int count = 0;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return -1;
    while (const dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        auto stat = ReadFile(std::string("/proc/") + e->d_name + "/stat");
        if (!stat) continue;
        std::istringstream rest(stat->substr(stat->rfind(')') + 1));
        char state = 0;
        long ppid = 0, group = 0;
        rest >> state >> ppid >> group;
        if (group == pgid && state != 'Z' && state != 'X') ++count;
    }
    ::closedir(proc);
    return count;
}

pid_t ReadPid(const std::string& path) {
    auto text = ReadFile(path);
    return text ? static_cast<pid_t>(std::atol(text->c_str())) : 0;
}

TEST(RunCommand, ReportsExitCodeOrSignal) {
    EXPECT_EQ(RunCommand("true", 10s), 0);
    EXPECT_EQ(RunCommand("kill -TERM $$", 10s), 128 + SIGTERM);
    // A limit too large to add to the clock means no limit.
    EXPECT_EQ(RunCommand("exit 5", std::chrono::milliseconds::max()), 5);
}

// Both outputs are kept up to the bound; a limit too large to add to the clock is no limit here
// either, and a short one kills the program.
TEST(RunProgram, KeepsBoundedOutputAndTheExitCode) {
    const ProgramOutput done = RunProgram({"sh", "-c", "printf hello; printf oops >&2; exit 5"},
                                          std::chrono::milliseconds::max(), 3);
    EXPECT_EQ(done.exitCode, 5);
    EXPECT_EQ(done.out, "hel");
    EXPECT_EQ(done.err, "oop");
    EXPECT_TRUE(done.truncated);
    EXPECT_EQ(RunProgram({"sleep", "30"}, 100ms, 16).exitCode, kCommandTimedOut);
    EXPECT_EQ(RunProgram({"no-such-program-here"}, 10s, 16).exitCode, -1);
}

TEST(RunCommand, ChildStartsCleanInAGroupOfItsOwn) {
    EXPECT_EQ(RunCommand("[ \"$(readlink /proc/$$/fd/0)\" = /dev/null ]", 10s), 0);
    EXPECT_EQ(RunCommand("[ \"$(cut -d' ' -f5 /proc/$$/stat)\" = $$ ]", 10s), 0);

    // Descriptors the program holds, ignored signals and the thread's signal mask stay behind.
    int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GT(fd, 2);
    auto oldPipe = ::signal(SIGPIPE, SIG_IGN);
    sigset_t block, oldMask;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &block, &oldMask);
    int fdCode = RunCommand("[ ! -e /proc/$$/fd/" + std::to_string(fd) + " ]", 10s);
    // Read with builtins only: the shell blocks signals itself while it starts a child.
    // Bit 12 is SIGPIPE, bit 14 SIGTERM.
    int sigCode = RunCommand(
        "while read -r k v; do case $k in"
        "  SigIgn:) [ $((0x$v & 4096)) = 0 ] || exit 1;;"
        "  SigBlk:) [ $((0x$v & 16384)) = 0 ] || exit 2;;"
        "esac; done < /proc/$$/status",
        10s);
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::signal(SIGPIPE, oldPipe);
    ::close(fd);
    EXPECT_EQ(fdCode, 0);
    EXPECT_EQ(sigCode, 0);
}

// The time limit, the cancel flag and the cancel predicate each end the whole group: the
// background sleep is a grandchild that killing the shell alone would leave running.
TEST(RunCommand, TimeLimitOrCancelKillsTheWholeGroup) {
    test::TempDir dir;
    const std::string pidFile = dir.File("pgid");
    const std::string command = "echo $$ > " + pidFile + ".tmp; mv " + pidFile + ".tmp " + pidFile +
                                "; sleep 30 & sleep 20; exit 7";
    std::atomic<bool> cancel{false};
    CommandOptions byPredicate;
    byPredicate.cancelled = [&] { return ReadPid(pidFile) > 0; };
    const std::function<int()> runs[] = {
        [&] { return RunCommand(command, 200ms); },
        [&] {
            std::thread canceller([&] {
                Eventually([&] { return ReadPid(pidFile) > 0; });
                cancel = true;
            });
            const int code = RunCommand(command, std::chrono::hours(1), &cancel);
            canceller.join();
            return code;
        },
        [&] { return RunCommand(command, std::chrono::hours(1), byPredicate); },
    };
    for (const auto& run : runs) {
        ::unlink(pidFile.c_str());
        EXPECT_EQ(run(), kCommandTimedOut);
        const pid_t pgid = ReadPid(pidFile);
        ASSERT_GT(pgid, 0);
        EXPECT_TRUE(Eventually([&] { return LiveMembers(pgid) == 0; }));
    }
}

TEST(RunCommand, StartsInTheGivenFolderWithTheGivenEnvironment) {
    test::TempDir dir;
    ASSERT_TRUE(CreateFolders(dir.File("sub")));
    ::setenv("KOV_TEST_VALUE", "inherited", 1);
    CommandOptions options;
    options.folder = dir.File("sub");
    options.environment = {"KOV_TEST_VALUE=a b'$(x)", "KOV_TEST_NEW=new"};
    EXPECT_EQ(RunCommand("pwd > out; printf '%s|%s' \"$KOV_TEST_VALUE\" \"$KOV_TEST_NEW\" >> out",
                         10s, options),
              0);
    EXPECT_EQ(ReadFile(dir.File("sub/out")), dir.File("sub\na b'$(x)|new"));
    EXPECT_EQ(RunCommand("[ \"$KOV_TEST_VALUE\" = inherited ]", 10s), 0);
    ::unsetenv("KOV_TEST_VALUE");
    // A folder that cannot be entered means the command cannot start.
    for (const std::string& folder : {dir.File("missing"), dir.File("sub/out")}) {
        options.folder = folder;
        EXPECT_EQ(RunCommand("true", 10s, options), -1);
    }
}

TEST(StartCommand, RunsDetachedAndIsReaped) {
    test::TempDir dir;
    const std::string out = dir.File("out");
    ASSERT_TRUE(StartCommand("echo $$ $(cut -d' ' -f5 /proc/$$/stat) > " + out + ".tmp; mv " + out +
                             ".tmp " + out));
    ASSERT_TRUE(Eventually([&] { return FileExists(out); }));
    std::istringstream ids(ReadFile(out).value_or(""));
    pid_t pid = 0, pgid = 0;
    ids >> pid >> pgid;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(pgid, pid);
    // A zombie keeps its /proc entry; a reaped child loses it.
    EXPECT_TRUE(Eventually([&] { return !FileExists("/proc/" + std::to_string(pid)); }));
}

}  // namespace
}  // namespace kov
