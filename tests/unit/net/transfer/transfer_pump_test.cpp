#include "net/transfer/transfer_pump.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using End = TransferPump::End;

// Plays reads from a script: "abc" gives those bytes (over several reads when fewer are asked
// for), "$" the end, "!" a failure; a leading "^" raises the stop request during that read.
// Past the script the source has ended. A block holding 'X' is refused as a stub.
class ScriptedSource final : public TransferPump::Source {
public:
    ScriptedSource(std::vector<std::string> script, std::atomic<int>& stop)
        : m_script(std::move(script)), m_stop(stop) {}
    long Read(char* buffer, std::size_t count) override {
        ++reads;
        if (m_next >= m_script.size()) return 0;
        std::string& step = m_script[m_next];
        if (step.starts_with('^')) {
            m_stop = 2;
            step.erase(0, 1);
        }
        if (step == "$" || step == "!") {
            ++m_next;
            return step == "$" ? 0 : -1;
        }
        const std::size_t n = std::min(count, step.size());
        step.copy(buffer, n);
        step.erase(0, n);
        if (step.empty()) ++m_next;
        return static_cast<long>(n);
    }
    int Check(const char* data, std::size_t count) override {
        return std::string(data, count).find('X') == std::string::npos ? kResultOk : kResultStub;
    }
    int reads = 0;

private:
    std::vector<std::string> m_script;
    std::size_t m_next = 0;
    std::atomic<int>& m_stop;
};

struct Case {
    const char* name;
    std::vector<std::string> script;
    TransferPump::Size size;
    End end;
    int result;
    const char* written;  // the file afterwards; also what the block events announce
    int limitAfterReads = -1;
    bool local = false;
    std::uint64_t meterLimit = 0;  // bytes per period; 0 unlimited
};

const Case kCases[] = {
    {"exact size", {"abc", "def"}, {6, true, 6}, End::Complete, kResultOk, "abcdef"},
    {"to the end", {"abc", "$"}, {-1, true, 0}, End::Complete, kResultOk, "abc"},
    // Bytes after an exact size are an error whatever the protocol.
    {"beyond exact", {"abc", "defX"}, {6, true, 6}, End::TooLong, kResultBroken, "abcdef"},
    {"beyond a cap", {"abc", "defX"}, {6, false, 6}, End::Complete, kResultOk, "abcdef"},
    {"cut short", {"abc", "$"}, {6, true, 6}, End::CutShort, kResultBroken, "abc"},
    {"read fails", {"abc", "!"}, {-1, true, 0}, End::ReadFailed, kResultBroken, "abc"},
    {"fails stopping", {"abc", "^!"}, {6, true, 6}, End::ReadFailed, kResultStopped, "abc"},
    {"refused", {"abc", "dXf"}, {6, true, 6}, End::Refused, kResultStub, "abc"},
    // The block that came with the stop is written and reported; no read follows it.
    {"stopped", {"^abc", "def"}, {6, true, 6}, End::Stopped, kResultStopped, "abc"},
    {"stop after all", {"abc", "^def"}, {6, true, 6}, End::Complete, kResultOk, "abcdef"},
    {"limit", {"abc", "def"}, {6, true, 6}, End::Limit, kResultLimit, "abc", 1},
    {"limit not local", {"abc", "def"}, {6, true, 6}, End::Complete, kResultOk, "abcdef", 1, true},
    // The meter holds the third block back (blocks of half the limit) and sees the stop: the
    // block is still reported.
    {"meter stops",
     {"abc", "def", "^ghi", "jkl"},
     {12, true, 12},
     End::Stopped,
     kResultStopped,
     "abcdefghi",
     -1,
     false,
     6},
};

class TransferPumpTest : public ::testing::TestWithParam<Case> {
protected:
    TransferPump::Outcome Run(const Case& c, int fd, ScriptedSource& source) {
        meter.SetLimits(static_cast<std::int64_t>(c.meterLimit), 0, c.meterLimit != 0);
        TransferPump pump(
            {&sink, meter, stop,
             [&] { return c.limitAfterReads >= 0 && source.reads >= c.limitAfterReads; }, c.local,
             buffer});
        return pump.Run(source, fd, c.size);
    }

    test::TempDir dir;
    test::RecordingSink sink;
    TrafficMeter meter;
    std::atomic<int> stop{0};
    std::vector<char> buffer = std::vector<char>(64);
};

TEST_P(TransferPumpTest, EndsTheSameWayForEverySource) {
    const Case& c = GetParam();
    const std::string path = dir.File("out");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ScriptedSource source(c.script, stop);
    const TransferPump::Outcome outcome = Run(c, fd, source);
    ::close(fd);
    EXPECT_EQ(outcome.end, c.end);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(dir.Read("out"), c.written);
    EXPECT_EQ(outcome.moved, std::string(c.written).size());
    EXPECT_EQ(sink.ProgressBytes(), static_cast<std::int64_t>(std::string(c.written).size()));
    for (const auto& e : sink.events)
        EXPECT_EQ(e.param2, c.size.total);
}

INSTANTIATE_TEST_SUITE_P(Ends, TransferPumpTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (ch == ' ') ch = '_';
    return name;
});

TEST_F(TransferPumpTest, AFileThatTakesNoMoreGivesTheWriteError) {
    const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ScriptedSource source({"abc"}, stop);
    const TransferPump::Outcome outcome = Run(kCases[0], fd, source);
    ::close(fd);
    EXPECT_EQ(outcome.end, End::WriteFailed);
    EXPECT_EQ(outcome.result, kResultWriteError);
    EXPECT_EQ(outcome.error, EBADF);
    EXPECT_TRUE(sink.events.empty());
}

}  // namespace
}  // namespace kov
