#include "platform/file_util.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>

#include "platform/atomic_file_writer.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using Names = std::vector<std::string>;

Names NamesOf(const std::vector<FolderEntry>& entries) {
    Names names;
    for (const auto& e : entries)
        names.push_back(e.name);
    return names;
}

unsigned ModeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(FileUtil, WriteFileAtomicSetsTheModeAndAFailureKeepsTheOldFileWithNoTemporary) {
    test::TempDir dir;
    const std::string path = dir.File("settings.ini");
    ASSERT_TRUE(WriteFileAtomic(path, "first"));
    EXPECT_EQ(ModeOf(path), 0600u);
    // A name at the file system's limit leaves no room for a longer temporary name.
    const std::string longName = dir.File(std::string(251, 'n') + ".ini");
    ASSERT_TRUE(WriteFileAtomic(longName, "long"));
    EXPECT_EQ(ReadFile(longName), "long");
    ASSERT_EQ(::unlink(longName.c_str()), 0);
    // The mode is applied whatever the umask says; the content may hold any byte.
    const std::string old("a\0b\nc", 5);
    const mode_t oldMask = ::umask(077);
    const bool replaced = WriteFileAtomic(path, old, 0644);
    ::umask(oldMask);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(ModeOf(path), 0644u);

    // A full disk, simulated by the file size limit: the write fails once the temporary exists.
    struct rlimit saved, small;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    small = saved;
    small.rlim_cur = 4;
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = WriteFileAtomic(path, std::string(1000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(path), old);

    // The rename fails: a folder stands where the file should go.
    ASSERT_TRUE(CreateFolders(dir.File("taken/inner")));
    EXPECT_FALSE(WriteFileAtomic(dir.File("taken"), "data"));
    EXPECT_TRUE(FolderExists(dir.File("taken/inner")));

    // No temporary can be made at all.
    EXPECT_FALSE(WriteFileAtomic(dir.File("missing/file.ini"), "data"));
    EXPECT_FALSE(WriteFileAtomic(dir.File("settings.ini/file.ini"), "data"));
    EXPECT_EQ(NamesOf(ListMatching(dir.File("*"))), (Names{"settings.ini", "taken"}));
}

// Asked to, a writer leaves a file alone that holds the same bytes (no new inode); anything a
// rename would change (content, mode, a second link, a symbolic link) is written as before.
// Not asked, it always puts a new file in place.
TEST(FileUtil, AtomicFileWriterCanLeaveAnUnchangedFileAlone) {
    struct Case {
        const char* what;
        void (*before)(const std::string& path);
        const char* content;
        bool kept;
        bool keepUnchanged = true;
    } cases[] = {
        {"same", nullptr, "same", true},
        {"same, not asked", nullptr, "same", false, false},
        {"other bytes", nullptr, "samf", false},
        {"longer", nullptr, "same and more", false},
        {"mode", [](const std::string& p) { ::chmod(p.c_str(), 0644); }, "same", false},
        {"hard link", [](const std::string& p) { ::link(p.c_str(), (p + ".2").c_str()); }, "same",
         false},
        {"symbolic link",
         [](const std::string& p) {
             ::rename(p.c_str(), (p + ".real").c_str());
             ::symlink((p + ".real").c_str(), p.c_str());
         },
         "same", false},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const std::string path = dir.File("kov.ini");
        ASSERT_TRUE(WriteFileAtomic(path, "same"));
        if (c.before) c.before(path);
        struct stat before {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        AtomicFileWriter writer;
        writer.SetKeepUnchanged(c.keepUnchanged);
        ASSERT_TRUE(writer.Open(path));
        writer.Write(c.content);
        ASSERT_TRUE(writer.Commit()) << c.what;
        struct stat after {};
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, c.kept) << c.what;
        EXPECT_EQ(ReadFile(path), c.content) << c.what;
        EXPECT_TRUE(S_ISREG(after.st_mode)) << c.what;
        EXPECT_EQ(after.st_mode & 07777, 0600u) << c.what;
        EXPECT_EQ(after.st_nlink, 1u) << c.what;
    }
}

TEST(FileUtil, ListMatchingFiltersCaseInsensitivelyAndSorts) {
    test::TempDir dir;
    for (const char* name : {"b.lng", "A.LNG", "c.txt", "x[1].lng", ".hidden.lng"})
        ASSERT_TRUE(WriteFileAtomic(dir.File(name), "x"));
    ASSERT_TRUE(CreateFolders(dir.File("d.lng")));
    ASSERT_EQ(::symlink(dir.File("d.lng").c_str(), dir.File("e.lng").c_str()), 0);

    auto found = ListMatching(dir.File("*.lng"));
    EXPECT_EQ(NamesOf(found),
              (Names{".hidden.lng", "A.LNG", "b.lng", "d.lng", "e.lng", "x[1].lng"}));
    for (const auto& e : found)
        EXPECT_EQ(e.isFolder, e.name == "d.lng" || e.name == "e.lng");

    // '[' is no wildcard, '?' is exactly one character, "." and ".." never come back.
    EXPECT_EQ(NamesOf(ListMatching(dir.File("X[1].LNG"))), Names{"x[1].lng"});
    EXPECT_EQ(NamesOf(ListMatching(dir.File("?.txt"))), Names{"c.txt"});
    EXPECT_EQ(ListMatching(dir.File("*")).size(), 7u);
    EXPECT_TRUE(ListMatching(dir.File("none/*")).empty());
}

TEST(FileUtil, FoldersAndEntryQueries) {
    test::TempDir dir;
    EXPECT_TRUE(CreateFolders(dir.File("a/b//c/"), 0700));
    EXPECT_EQ(ModeOf(dir.File("a/b/c")), 0700u);
    const std::string file = dir.File("f");
    EXPECT_FALSE(SetFileTimes(file, 1, 2));
    ASSERT_TRUE(WriteFileAtomic(file, "12345"));
    EXPECT_FALSE(CreateFolders(dir.File("f/sub")));
    EXPECT_EQ(ReadFile(dir.path()), std::nullopt);
    ASSERT_TRUE(SetFileTimes(file, 1000000000, 1234567890));
    EXPECT_EQ(LastWriteTime(file), 1234567890);
    ASSERT_EQ(::symlink("nowhere", dir.File("link").c_str()), 0);
    EXPECT_TRUE(FileExists(dir.File("link")));  // a dangling link is still an entry
}

// The mark of an unfinished file shares its attribute with what a whole file keeps; the
// separate mark of older runs still counts, and a run that opens such a file drops it.
TEST(FileUtil, MarkedIncompleteReadsBothMarks) {
    test::TempDir dir;
    const std::string path = dir.File("f");
    ASSERT_TRUE(WriteFileAtomic(path, "12345", 0644));
    if (::setxattr(path.c_str(), "user.kov.probe", "1", 1, 0) != 0)
        GTEST_SKIP() << "no extended attributes here";
    const struct {
        const char* state;  // nullptr: none
        bool oldMark;
        bool marked;
    } cases[] = {{nullptr, false, false},
                 {"unfinished", false, true},
                 {"unfinished and more", false, false},
                 {"1 5 d 0\n\"e\"\n", false, false},
                 {nullptr, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state ? c.state : "no state");
        ::removexattr(path.c_str(), kFileStateAttribute);
        ::removexattr(path.c_str(), "user.kov.incomplete");
        if (c.state)
            ::setxattr(path.c_str(), kFileStateAttribute, c.state, std::strlen(c.state), 0);
        if (c.oldMark) ::setxattr(path.c_str(), "user.kov.incomplete", "1", 1, 0);
        EXPECT_EQ(MarkedIncomplete(path), c.marked);
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    MarkIncomplete(fd);
    EXPECT_TRUE(MarkedIncomplete(path));
    ClearIncomplete(fd);
    ::close(fd);
    EXPECT_FALSE(MarkedIncomplete(path));
}

TEST(FileUtil, MountPointFindsTheFileSystemRoot) {
    EXPECT_EQ(MountPoint("/"), "/");
    // /proc is a file system of its own on every Linux system.
    EXPECT_EQ(MountPoint("/proc/self/status"), "/proc/");
    EXPECT_EQ(MountPoint("/proc/no/such/entry"), "/proc/");
}

}  // namespace
}  // namespace kov
