#include "engine/local_copy.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <string>

#include "engine/job.h"
#include "platform/file_util.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

constexpr std::time_t kSourceTime = 1000000000;

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 31) % 251);
    return data;
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

// A 10000-byte source file src.bin; dst.bin is where it goes.
class LocalCopyTest : public ::testing::Test {
protected:
    LocalCopyTest() { Write(source, Pattern(10000)); }

    void Write(const std::string& path, const std::string& data, std::time_t time = kSourceTime) {
        CreateFolders(FolderOf(path));
        ASSERT_TRUE(WriteFileAtomic(path, data, 0644));
        ASSERT_TRUE(SetFileTimes(path, time, time));
    }
    int Copy(const std::string& from, const std::string& to) {
        sink.events.clear();
        return CopyLocalFile(from, to, context);
    }
    std::int64_t ResumedAt() const {
        const auto* resumed = sink.Find(kEventResumed);
        return resumed ? resumed->param1 : -1;
    }
    // src: a.txt b.txt sub/c.txt sub/deep/d.txt, a link to a file and one to an outside folder.
    void MakeTree() {
        Write(dir.File("src/a.txt"), "a");
        Write(dir.File("src/b.txt"), "bb");
        Write(dir.File("src/sub/c.txt"), "ccc");
        Write(dir.File("src/sub/deep/d.txt"), "dddd");
        Write(dir.File("outside/secret.txt"), "s");
        ASSERT_EQ(::symlink(dir.File("outside").c_str(), dir.File("src/link").c_str()), 0);
        ASSERT_EQ(::symlink(dir.File("src/a.txt").c_str(), dir.File("src/flink").c_str()), 0);
    }

    test::TempDir dir;
    const std::string source = dir.File("src.bin");
    const std::string target = dir.File("dst.bin");
    ActingSink sink;
    TrafficMeter meter;
    std::atomic<int> stop{0};
    LocalCopyContext context{&sink, &meter, &stop, nullptr, false, 0};
};

TEST_F(LocalCopyTest, CopiesWithEventsMeteringAndTheSourceTimeThenSkips) {
    const std::string deep = dir.File("new/sub/dst.bin");
    EXPECT_EQ(Copy("FILE://" + source, deep), kResultOk);
    EXPECT_EQ(ReadFile(deep), Pattern(10000));
    EXPECT_EQ(LastWriteTime(deep), kSourceTime);
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileStarted, kEventFileResult}));
    EXPECT_EQ(sink.Find(kEventFileStarted)->param1, 10000);
    EXPECT_EQ(sink.Find(kEventFileStarted)->text2, deep);
    EXPECT_EQ(sink.ProgressBytes(), 10000);
    EXPECT_EQ(meter.Total(true), 10000u);

    EXPECT_EQ(Copy(source, deep), kResultSkipped);  // same size: no transfer
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileResult}));
    Write(dir.File("empty"), "");
    EXPECT_EQ(Copy(dir.File("empty"), dir.File("empty.out")), kResultOk);
    EXPECT_EQ(FileSize(dir.File("empty.out")), 0);

    // Always overwrite copies again; skip-if-present keeps even a stale target.
    context.updateMode = 1;
    EXPECT_EQ(Copy(source, deep), kResultOk);
    context.updateMode = 2;
    Write(deep, "stale", 5);
    EXPECT_EQ(Copy(source, deep), kResultSkipped);
    EXPECT_EQ(ReadFile(deep), "stale");
    context.updateMode = 0;

    // The source itself, under any name, is never truncated.
    ASSERT_EQ(::link(source.c_str(), dir.File("hard").c_str()), 0);
    ASSERT_EQ(::symlink(source.c_str(), dir.File("soft").c_str()), 0);
    for (const std::string& same : {source, dir.File("hard"), dir.File("soft")})
        EXPECT_EQ(Copy(source, same), kResultSkipped) << same;
    EXPECT_EQ(ReadFile(source), Pattern(10000));
}

TEST_F(LocalCopyTest, ResumesOnlyAPrefixOfTheSameSource) {
    // A shorter copy with the source's time: continued where it ends.
    Write(target, Pattern(3000));
    EXPECT_EQ(Copy(source, target), kResultOk);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
    EXPECT_EQ(sink.Find(kEventFileStarted)->param2, 3000);
    EXPECT_EQ(ResumedAt(), 3000);
    EXPECT_EQ(sink.Find(kEventResumed)->param2, 10000);
    EXPECT_EQ(sink.ProgressBytes(), 7000);

    // A shorter file of another time is no part of this source, and a longer one cannot be
    // resumed: both are copied whole.
    Write(target, std::string(3000, 'x'), kSourceTime + 60);
    EXPECT_EQ(Copy(source, target), kResultOk);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
    EXPECT_EQ(ResumedAt(), -1);
    Write(target, std::string(20000, 'x'));
    EXPECT_EQ(Copy(source, target), kResultOk);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
}

TEST_F(LocalCopyTest, ReportsMissingSourcesUnwritableTargetsAndAFullDisk) {
    EXPECT_EQ(Copy(dir.File("none"), dir.File("out")), kResultRefused);
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileResult}));
    EXPECT_EQ(sink.events.back().param2, ENOENT);
    EXPECT_FALSE(FileExists(dir.File("out")));
    EXPECT_EQ(Copy(dir.path(), dir.File("out")), kResultRefused);  // a folder is no file

    // Below a regular file, and a folder in the target's place (root-proof, unlike modes).
    EXPECT_EQ(Copy(source, source + "/below"), kResultWriteError);
    ASSERT_TRUE(CreateFolders(dir.File("folder")));
    EXPECT_EQ(Copy(source, dir.File("folder")), kResultWriteError);
    if (FileExists("/dev/full")) {
        EXPECT_EQ(Copy(source, "/dev/full"), kResultDiskFull);
        EXPECT_EQ(context.lastError, ENOSPC);
    }
}

TEST_F(LocalCopyTest, StopEndsTheCopyAndTheNextRunResumesIt) {
    stop = kStopNow;
    EXPECT_EQ(Copy(source, target), kResultStopped);
    EXPECT_FALSE(FileExists(target));

    // Stopped after the first block: a stamped prefix is left behind.
    stop = 0;
    sink.onFirstBlock = [&] { stop = kStopNow; };
    EXPECT_EQ(Copy(source, target), kResultStopped);
    EXPECT_EQ(sink.events.back().param1, kResultStopped);
    const std::int64_t partial = FileSize(target).value_or(0);
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 10000);
    EXPECT_EQ(LastWriteTime(target), kSourceTime);
    EXPECT_TRUE(MarkedIncomplete(target));

    // Even a run that keeps existing files finishes it: the copy is marked until it is whole.
    stop = 0;
    context.updateMode = 2;
    EXPECT_EQ(Copy(source, target), kResultOk);
    EXPECT_EQ(ResumedAt(), partial);
    EXPECT_EQ(ReadFile(target), Pattern(10000));
    EXPECT_FALSE(MarkedIncomplete(target));
    EXPECT_EQ(Copy(source, target), kResultSkipped);

    // A source that shrinks under the copy gives a broken transfer.
    sink.onFirstBlock = [&] { ASSERT_EQ(::truncate(source.c_str(), 2000), 0); };
    EXPECT_EQ(Copy(source, dir.File("shrunk")), kResultBroken);
    EXPECT_EQ(FileSize(dir.File("shrunk")), sink.ProgressBytes());
    EXPECT_LT(sink.ProgressBytes(), 10000);
    // So does one that grows: the copy would be neither the old file nor the new one.
    sink.onFirstBlock = [&] { std::ofstream(source, std::ios::app) << "more"; };
    EXPECT_EQ(Copy(source, dir.File("grown")), kResultBroken);
}

TEST_F(LocalCopyTest, FolderCopyTakesSubfoldersOnRequestButNoFolderLinksNorItself) {
    MakeTree();
    EXPECT_EQ(CopyLocalFolder(dir.File("src"), dir.File("flat"), context), kResultOk);
    EXPECT_EQ(ReadFile(dir.File("flat/b.txt")), "bb");
    EXPECT_EQ(ReadFile(dir.File("flat/flink")), "a");
    EXPECT_FALSE(FileExists(dir.File("flat/sub")));
    EXPECT_FALSE(FileExists(dir.File("flat/link")));

    context.subFolders = true;
    EXPECT_EQ(CopyLocalFolder("file://" + dir.File("src"), dir.File("deep"), context), kResultOk);
    EXPECT_EQ(ReadFile(dir.File("deep/sub/deep/d.txt")), "dddd");
    EXPECT_FALSE(FileExists(dir.File("deep/link")));
    // The result is the smallest entry result: all skipped now.
    EXPECT_EQ(CopyLocalFolder(dir.File("src"), dir.File("deep"), context), kResultSkipped);
    EXPECT_EQ(CopyLocalFolder(dir.File("src"), dir.File("src/a.txt/x"), context), kResultNothing);
    EXPECT_EQ(CopyLocalFolder(dir.File("none"), dir.File("none.out"), context), kResultRefused);

    // A target inside the source is not copied into itself, on the first run nor the next.
    for (int run = 0; run < 2; ++run)
        EXPECT_LE(CopyLocalFolder(dir.File("src"), dir.File("src/copy"), context), kResultSkipped);
    EXPECT_EQ(ReadFile(dir.File("src/copy/sub/c.txt")), "ccc");
    EXPECT_FALSE(FileExists(dir.File("src/copy/copy")));
}

TEST_F(LocalCopyTest, FolderCopyStopsBetweenEntries) {
    MakeTree();
    context.subFolders = true;
    stop = kStopAfterFile;
    EXPECT_EQ(CopyLocalFolder(dir.File("src"), dir.File("dst"), context), kResultStopped);
    EXPECT_FALSE(FileExists(dir.File("dst/a.txt")));

    // A stop during the first file ends the rest of the folder too.
    stop = 0;
    sink.onFirstBlock = [&] { stop = kStopAfterFile; };
    EXPECT_EQ(CopyLocalFolder(dir.File("src"), dir.File("dst"), context), kResultOk);
    EXPECT_TRUE(FileExists(dir.File("dst/a.txt")));
    EXPECT_FALSE(FileExists(dir.File("dst/b.txt")));
}

TEST_F(LocalCopyTest, FileUrlPassCopiesEveryMatchUnderItsOwnName) {
    for (const char* name : {"src/a.txt", "src/b.TXT", "src/c.log", "src/d.txt/inner"})
        Write(dir.File(name), name);
    context.subFolders = true;
    const std::string local = dir.File("dst/name-from-dest.htm");
    const auto pass = [&](const std::string& pattern, bool& any) {
        any = false;
        return CopyFileUrlPass("file://" + dir.File(pattern), local, context, any);
    };
    bool any = false;
    EXPECT_EQ(pass("src/*.txt", any), kResultOk);
    EXPECT_TRUE(any);
    EXPECT_TRUE(FileExists(dir.File("dst/a.txt")));
    EXPECT_TRUE(FileExists(dir.File("dst/b.TXT")));
    EXPECT_EQ(ReadFile(dir.File("dst/d.txt/inner")), "src/d.txt/inner");
    EXPECT_FALSE(FileExists(dir.File("dst/c.log")));
    EXPECT_FALSE(FileExists(local));

    // Everything up to date: the smallest result is a skip, which is no success; one new file
    // among skipped ones makes it 0.
    EXPECT_EQ(pass("src/?.txt", any), kResultSkipped);
    EXPECT_FALSE(any);
    Write(dir.File("src/e.txt"), "e");
    EXPECT_EQ(pass("src/*.txt", any), kResultOk);
    EXPECT_TRUE(any);

    sink.events.clear();
    EXPECT_EQ(pass("src/*.none", any), kResultRefused);
    EXPECT_FALSE(any);
    EXPECT_EQ(sink.Codes(), (std::vector<int>{kEventFileResult}));
    stop = kStopAfterFile;
    EXPECT_EQ(pass("src/*", any), kResultStopped);
}

}  // namespace
}  // namespace kov
