#include "engine/local_copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include "platform/file_util.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

constexpr std::time_t kSourceTime = 1000000000;

std::string Pattern(std::size_t size, int seed = 0) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 31 + seed) % 251);
    return data;
}

void Write(const std::string& path, const std::string& data, std::time_t time = kSourceTime) {
    CreateFolders(FolderOf(path));
    ASSERT_TRUE(WriteFileAtomic(path, data, 0644));
    ASSERT_TRUE(SetFileTimes(path, time, time));
}

// A sink that can act when the first block is reported, to change the world mid-copy.
class ActingSink : public test::RecordingSink {
public:
    std::function<void()> onFirstBlock;
    void Post(int code, std::int64_t param1, std::int64_t param2, const std::string& text1,
              const std::string& text2) override {
        RecordingSink::Post(code, param1, param2, text1, text2);
        if (code == kEventBlock && onFirstBlock) std::exchange(onFirstBlock, nullptr)();
    }
};

struct Fixture {
    test::TempDir dir;
    ActingSink sink;
    TrafficMeter meter;
    std::atomic<int> stop{0};
    LocalCopyContext context{&sink, &meter, &stop, nullptr, false, 0};
};

TEST(CopyLocalFile, CopiesWithEventsMeteringAndTheSourceTime) {
    Fixture f;
    const std::string source = f.dir.File("src.bin");
    const std::string target = f.dir.File("new/sub/dst.bin");
    Write(source, Pattern(10000));
    const std::string url = "FILE://" + source;

    EXPECT_EQ(CopyLocalFile(url, target, f.context), kResultOk);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
    EXPECT_EQ(LastWriteTime(target), kSourceTime);
    EXPECT_EQ(f.sink.Codes(), (std::vector<int>{kEventFileStarted, kEventFileResult}));
    const auto* started = f.sink.Find(kEventFileStarted);
    EXPECT_EQ(started->param1, 10000);
    EXPECT_EQ(started->param2, 0);
    EXPECT_EQ(started->text1, url);
    EXPECT_EQ(started->text2, target);
    EXPECT_EQ(f.sink.ProgressBytes(), 10000);
    EXPECT_EQ(f.meter.Total(true), 10000u);

    // Same size again: skipped without a transfer.
    f.sink.events.clear();
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultSkipped);
    EXPECT_EQ(f.sink.Codes(), (std::vector<int>{kEventFileResult}));
    // Always overwrite copies again; skip-if-present keeps even a stale target.
    f.context.updateMode = 1;
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultOk);
    f.context.updateMode = 2;
    Write(target, "stale", 5);
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultSkipped);
    EXPECT_EQ(ReadFile(target), "stale");
    f.context.updateMode = 0;

    // An empty source gives an empty file.
    Write(f.dir.File("empty"), "");
    EXPECT_EQ(CopyLocalFile(f.dir.File("empty"), f.dir.File("empty.out"), f.context), kResultOk);
    EXPECT_EQ(FileSize(f.dir.File("empty.out")), 0);
}

TEST(CopyLocalFile, NeverTruncatesTheSourceItself) {
    Fixture f;
    const std::string source = f.dir.File("src.bin");
    Write(source, Pattern(5000));
    ASSERT_EQ(::link(source.c_str(), f.dir.File("hard").c_str()), 0);
    ASSERT_EQ(::symlink(source.c_str(), f.dir.File("soft").c_str()), 0);

    EXPECT_EQ(CopyLocalFile(source, source, f.context), kResultSkipped);
    EXPECT_EQ(CopyLocalFile(source, f.dir.File("hard"), f.context), kResultSkipped);
    EXPECT_EQ(CopyLocalFile(source, f.dir.File("soft"), f.context), kResultSkipped);
    EXPECT_EQ(ReadFile(source), Pattern(5000));
}

TEST(CopyLocalFile, ResumesOnlyAPrefixOfTheSameSource) {
    Fixture f;
    const std::string source = f.dir.File("src.bin");
    const std::string target = f.dir.File("dst.bin");
    Write(source, Pattern(10000));

    // A shorter copy with the source's time: continued where it ends.
    Write(target, Pattern(10000).substr(0, 3000));
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultOk);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
    EXPECT_EQ(f.sink.Find(kEventFileStarted)->param2, 3000);
    ASSERT_NE(f.sink.Find(kEventResumed), nullptr);
    EXPECT_EQ(f.sink.Find(kEventResumed)->param1, 3000);
    EXPECT_EQ(f.sink.Find(kEventResumed)->param2, 10000);
    EXPECT_EQ(f.sink.ProgressBytes(), 7000);

    // A shorter file of another time is not a part of this source: copied whole.
    f.sink.events.clear();
    Write(target, std::string(3000, 'x'), kSourceTime + 60);
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultOk);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
    EXPECT_EQ(f.sink.Find(kEventResumed), nullptr);

    // A longer target cannot be resumed: copied again and cut to the source's size.
    Write(target, std::string(20000, 'x'));
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultOk);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
}

TEST(CopyLocalFile, ReportsMissingSourcesAndUnwritableTargets) {
    Fixture f;
    const std::string source = f.dir.File("src.bin");
    Write(source, Pattern(3000));

    EXPECT_EQ(CopyLocalFile(f.dir.File("none"), f.dir.File("out"), f.context), kResultRefused);
    EXPECT_EQ(f.sink.Codes(), (std::vector<int>{kEventFileResult}));
    EXPECT_EQ(f.sink.events.back().param2, ENOENT);
    EXPECT_FALSE(FileExists(f.dir.File("out")));

    // A folder is not a file to copy.
    EXPECT_EQ(CopyLocalFile(f.dir.path(), f.dir.File("out"), f.context), kResultRefused);

    // Below a regular file, and a folder in the target's place (root-proof, unlike modes).
    EXPECT_EQ(CopyLocalFile(source, source + "/below", f.context), kResultWriteError);
    ASSERT_TRUE(CreateFolders(f.dir.File("folder")));
    EXPECT_EQ(CopyLocalFile(source, f.dir.File("folder"), f.context), kResultWriteError);

    if (FileExists("/dev/full")) {
        EXPECT_EQ(CopyLocalFile(source, "/dev/full", f.context), kResultDiskFull);
        EXPECT_EQ(f.context.lastError, ENOSPC);
    }
}

TEST(CopyLocalFile, StopEndsTheCopyAndTheNextRunResumesIt) {
    Fixture f;
    const std::string source = f.dir.File("src.bin");
    const std::string target = f.dir.File("dst.bin");
    Write(source, Pattern(10000));

    f.stop = 2;
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultStopped);
    EXPECT_FALSE(FileExists(target));

    // Stopped after the first block: a stamped prefix is left behind.
    f.stop = 0;
    f.sink.onFirstBlock = [&] { f.stop = 2; };
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultStopped);
    EXPECT_EQ(f.sink.events.back().param1, kResultStopped);
    const auto partial = FileSize(target);
    ASSERT_TRUE(partial.has_value());
    EXPECT_GT(*partial, 0);
    EXPECT_LT(*partial, 10000);
    EXPECT_EQ(LastWriteTime(target), kSourceTime);

    f.stop = 0;
    f.sink.events.clear();
    EXPECT_EQ(CopyLocalFile(source, target, f.context), kResultOk);
    ASSERT_NE(f.sink.Find(kEventResumed), nullptr);
    EXPECT_EQ(f.sink.Find(kEventResumed)->param1, *partial);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
}

TEST(CopyLocalFile, ASourceThatShrinksGivesABrokenTransfer) {
    Fixture f;
    const std::string source = f.dir.File("src.bin");
    Write(source, Pattern(10000));
    f.sink.onFirstBlock = [&] { ASSERT_EQ(::truncate(source.c_str(), 2000), 0); };
    EXPECT_EQ(CopyLocalFile(source, f.dir.File("dst.bin"), f.context), kResultBroken);
    EXPECT_EQ(FileSize(f.dir.File("dst.bin")), 2000);
}

// src: a.txt b.txt sub/c.txt sub/deep/d.txt, a link to a file and a link to an outside folder.
void MakeTree(const test::TempDir& dir) {
    Write(dir.File("src/a.txt"), "a");
    Write(dir.File("src/b.txt"), "bb");
    Write(dir.File("src/sub/c.txt"), "ccc");
    Write(dir.File("src/sub/deep/d.txt"), "dddd");
    Write(dir.File("outside/secret.txt"), "s");
    ASSERT_EQ(::symlink(dir.File("outside").c_str(), dir.File("src/link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("src/a.txt").c_str(), dir.File("src/flink").c_str()), 0);
}

TEST(CopyLocalFolder, CopiesFilesAndOnRequestSubfoldersButNoFolderLinks) {
    Fixture f;
    MakeTree(f.dir);

    EXPECT_EQ(CopyLocalFolder(f.dir.File("src"), f.dir.File("flat"), f.context), kResultOk);
    EXPECT_EQ(ReadFile(f.dir.File("flat/a.txt")), "a");
    EXPECT_EQ(ReadFile(f.dir.File("flat/b.txt")), "bb");
    EXPECT_EQ(ReadFile(f.dir.File("flat/flink")), "a");
    EXPECT_FALSE(FileExists(f.dir.File("flat/sub")));
    EXPECT_FALSE(FileExists(f.dir.File("flat/link")));

    f.context.subFolders = true;
    EXPECT_EQ(CopyLocalFolder("file://" + f.dir.File("src"), f.dir.File("deep"), f.context),
              kResultOk);
    EXPECT_EQ(ReadFile(f.dir.File("deep/sub/c.txt")), "ccc");
    EXPECT_EQ(ReadFile(f.dir.File("deep/sub/deep/d.txt")), "dddd");
    EXPECT_FALSE(FileExists(f.dir.File("deep/link")));

    // The result is the smallest entry result: all skipped now.
    EXPECT_EQ(CopyLocalFolder(f.dir.File("src"), f.dir.File("deep"), f.context), kResultSkipped);
    EXPECT_EQ(CopyLocalFolder(f.dir.File("src"), f.dir.File("src/a.txt/x"), f.context), 2);
    EXPECT_EQ(CopyLocalFolder(f.dir.File("none"), f.dir.File("none.out"), f.context),
              kResultRefused);
}

TEST(CopyLocalFolder, ATargetInsideTheSourceIsNotCopiedIntoItself) {
    Fixture f;
    MakeTree(f.dir);
    f.context.subFolders = true;
    for (int run = 0; run < 2; ++run) {
        EXPECT_LE(CopyLocalFolder(f.dir.File("src"), f.dir.File("src/copy"), f.context),
                  kResultSkipped);
    }
    EXPECT_EQ(ReadFile(f.dir.File("src/copy/sub/c.txt")), "ccc");
    EXPECT_FALSE(FileExists(f.dir.File("src/copy/copy")));
}

TEST(CopyLocalFolder, StopsBetweenEntries) {
    Fixture f;
    MakeTree(f.dir);
    f.context.subFolders = true;
    f.stop = 1;
    EXPECT_EQ(CopyLocalFolder(f.dir.File("src"), f.dir.File("dst"), f.context), kResultStopped);
    EXPECT_FALSE(FileExists(f.dir.File("dst/a.txt")));

    // A stop during the first file ends the rest of the folder too.
    f.stop = 0;
    f.sink.onFirstBlock = [&] { f.stop = 1; };
    EXPECT_EQ(CopyLocalFolder(f.dir.File("src"), f.dir.File("dst"), f.context), kResultOk);
    EXPECT_TRUE(FileExists(f.dir.File("dst/a.txt")));
    EXPECT_FALSE(FileExists(f.dir.File("dst/b.txt")));
}

TEST(CopyFileUrlPass, CopiesEveryMatchUnderItsOwnName) {
    Fixture f;
    Write(f.dir.File("src/a.txt"), "a");
    Write(f.dir.File("src/b.TXT"), "b");
    Write(f.dir.File("src/c.log"), "c");
    Write(f.dir.File("src/d.txt/inner"), "d");
    f.context.subFolders = true;
    const std::string local = f.dir.File("dst/name-from-dest.htm");

    bool any = false;
    EXPECT_EQ(CopyFileUrlPass("file://" + f.dir.File("src/*.txt"), local, f.context, any),
              kResultOk);
    EXPECT_TRUE(any);
    EXPECT_EQ(ReadFile(f.dir.File("dst/a.txt")), "a");
    EXPECT_EQ(ReadFile(f.dir.File("dst/b.TXT")), "b");
    EXPECT_EQ(ReadFile(f.dir.File("dst/d.txt/inner")), "d");
    EXPECT_FALSE(FileExists(f.dir.File("dst/c.log")));
    EXPECT_FALSE(FileExists(local));

    // Everything up to date: the smallest result is a skip, which is no success.
    any = false;
    EXPECT_EQ(CopyFileUrlPass("file://" + f.dir.File("src/?.txt"), local, f.context, any),
              kResultSkipped);
    EXPECT_FALSE(any);

    // One new file among skipped ones: 0 wins.
    Write(f.dir.File("src/e.txt"), "e");
    EXPECT_EQ(CopyFileUrlPass("file://" + f.dir.File("src/*.txt"), local, f.context, any),
              kResultOk);
    EXPECT_TRUE(any);

    f.sink.events.clear();
    any = false;
    EXPECT_EQ(CopyFileUrlPass("file://" + f.dir.File("src/*.none"), local, f.context, any),
              kResultRefused);
    EXPECT_FALSE(any);
    EXPECT_EQ(f.sink.Codes(), (std::vector<int>{kEventFileResult}));

    f.stop = 1;
    EXPECT_EQ(
        CopyFileUrlPass("file://" + f.dir.File("src/*"), f.dir.File("other/x"), f.context, any),
        kResultStopped);
    EXPECT_FALSE(FileExists(f.dir.File("other")));
}

}  // namespace
}  // namespace kov
