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
#include "platform_test_util.h"

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
    EXPECT_EQ(RunCommand("exit 3", 10s), 3);
    EXPECT_EQ(RunCommand("kill -TERM $$", 10s), 128 + SIGTERM);
    EXPECT_EQ(RunCommand("/no/such/program 2>/dev/null", 10s), 127);
    // A limit too large to add to the clock means no limit.
    EXPECT_EQ(RunCommand("exit 5", std::chrono::milliseconds::max()), 5);
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

TEST(RunCommand, TimeLimitKillsTheWholeGroup) {
    test::ScratchFolder dir;
    const std::string pidFile = dir / "pgid";
    // The background sleep is a grandchild: killing the shell alone would leave it running.
    int code = RunCommand("echo $$ > " + pidFile + "; sleep 30 & sleep 30", 200ms);
    EXPECT_EQ(code, kCommandTimedOut);
    pid_t pgid = ReadPid(pidFile);
    ASSERT_GT(pgid, 0);
    EXPECT_TRUE(Eventually([&] { return LiveMembers(pgid) == 0; }));
}

TEST(RunCommand, CancelStopsAWaitingCommand) {
    test::ScratchFolder dir;
    const std::string pidFile = dir / "pgid";
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        Eventually([&] { return ReadPid(pidFile) > 0; });
        cancel = true;
    });
    // Left alone the command would end by itself with 7, long before the limit.
    int code = RunCommand("echo $$ > " + pidFile + ".tmp; mv " + pidFile + ".tmp " + pidFile +
                              "; sleep 30 & sleep 20; exit 7",
                          std::chrono::hours(1), &cancel);
    canceller.join();
    EXPECT_EQ(code, kCommandTimedOut);
    pid_t pgid = ReadPid(pidFile);
    ASSERT_GT(pgid, 0);
    EXPECT_TRUE(Eventually([&] { return LiveMembers(pgid) == 0; }));
}

TEST(RunCommand, StartsInTheGivenFolder) {
    test::ScratchFolder dir;
    ASSERT_TRUE(CreateFolders(dir / "sub"));
    EXPECT_EQ(RunCommand("pwd > out", 10s, dir / "sub"), 0);
    EXPECT_EQ(ReadFile(dir / "sub/out"), dir / "sub\n");
    // The caller's folder when none is given.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(RunCommand("pwd > " + (dir / "here"), 10s, std::string()), 0);
    EXPECT_EQ(ReadFile(dir / "here"), std::string(cwd) + "\n");
    // A folder that cannot be entered means the command cannot start.
    EXPECT_EQ(RunCommand("true", 10s, dir / "missing"), -1);
    EXPECT_EQ(RunCommand("true", 10s, dir / "sub/out"), -1);
}

TEST(RunCommand, CancelPredicateEndsTheCommand) {
    test::ScratchFolder dir;
    // Asked while the command runs; true as soon as the command has shown it started.
    int code = RunCommandUntil("touch started; sleep 30", std::chrono::hours(1), dir.path(),
                               [&] { return FileExists(dir / "started"); });
    EXPECT_EQ(code, kCommandTimedOut);
}

TEST(StartCommand, RunsDetachedAndIsReaped) {
    test::ScratchFolder dir;
    const std::string out = dir / "out";
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
