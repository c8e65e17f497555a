#include "platform/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace kov {
namespace {

TEST(FileLockTest, OneHolderAtATimeAndTheSecondLearnsWhoHoldsIt) {
    test::TempDir dir;
    const std::string path = dir.File(".lock");
    FileLock first, second;
    ASSERT_TRUE(first.TryLock(path, "kov-cli --serve"));
    // Another open of the file is another writer, in this process or another one.
    EXPECT_FALSE(second.TryLock(path, "kov-cli --add x"));
    EXPECT_EQ(second.Holder(), "kov-cli --serve (pid " + std::to_string(getpid()) + ")");
    EXPECT_TRUE(second.Error().empty());
    const pid_t child = fork();
    if (child == 0) {
        FileLock other;
        _exit(other.TryLock(path, "child") ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a second process took the lock";

    first.Unlock();
    EXPECT_TRUE(second.TryLock(path, "kov-cli --add x"));
    EXPECT_FALSE(first.TryLock(dir.File("no/such/folder/.lock"), "x"));
    EXPECT_NE(first.Error().find("No such file or directory"), std::string::npos);
}

// Each holder's line replaces the one before, longer or shorter, with nothing of it left.
TEST(FileLockTest, TheHolderLineReplacesTheLastOne) {
    test::TempDir dir;
    const std::string path = dir.File(".lock");
    const std::string pid = " (pid " + std::to_string(getpid()) + ")";
    for (const char* holder : {"kov-cli --serve -n2", "kov-cli", "kov-cli -a"}) {
        FileLock lock, second;
        ASSERT_TRUE(lock.TryLock(path, holder));
        EXPECT_FALSE(second.TryLock(path, "other"));
        EXPECT_EQ(second.Holder(), holder + pid);
    }
}

// Deleting or replacing the lock file while it is held must not let a second writer in.
TEST(FileLockTest, TheLockOutlivesItsFile) {
    test::TempDir dir;
    const std::string path = dir.File(".lock");
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "deleted");
        FileLock holder;
        ASSERT_TRUE(holder.TryLock(path, "kov-cli --serve"));
        ASSERT_EQ(unlink(path.c_str()), 0);
        if (replaced) close(open(path.c_str(), O_CREAT | O_WRONLY, 0600));
        FileLock second;
        EXPECT_FALSE(second.TryLock(path, "kov-cli --add x"));
        EXPECT_TRUE(second.Error().empty()) << second.Error();
        const pid_t child = fork();
        if (child == 0) {
            FileLock other;
            _exit(other.TryLock(path, "child") ? 1 : 0);
        }
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "a second process took the lock";
        holder.Unlock();
        EXPECT_TRUE(second.TryLock(path, "kov-cli --add x"));
    }
}

}  // namespace
}  // namespace kov
