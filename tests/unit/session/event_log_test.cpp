#include "session/event_log.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/app_settings.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "session/session_state.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

std::string Slurp(const std::string& path) {
    return ReadFile(path).value_or("<missing>");
}

// Records notifications and reads the log back from inside them.
class RecordingListener : public EventLogListener {
public:
    explicit RecordingListener(const EventLog& log) : m_log(log) {}
    void LineAdded(const LogLine& line) override {
        added.push_back(line.text);
        countSeen.push_back(m_log.Count());  // must not deadlock
    }
    void Cleared() override { ++cleared; }

    std::vector<std::string> added;
    std::vector<std::size_t> countSeen;
    int cleared = 0;

private:
    const EventLog& m_log;
};

class EventLogTest : public ::testing::Test {
protected:
    EventLogTest() : logPath(dir.File("Kov.log")) {
        settings.WriteLog = 1;
        clock = MakeTime(CalendarTime{2024, 3, 5, 7, 8, 9});
    }

    test::TempDir dir;
    std::string logPath;
    AppSettings settings;
    std::time_t clock = 0;
};

TEST_F(EventLogTest, TimeStampFileFlagAndWriteLogDecideWhatReachesTheFile) {
    {
        settings.WriteLog = 0;
        EventLog log(settings, logPath, [this] { return clock; });
        log.AddLine("off", 2, kLogInfo);
        EXPECT_EQ(log.Count(), 1u);
        EXPECT_FALSE(FileExists(logPath));
    }
    settings.WriteLog = 1;
    EventLog log(settings, logPath, [this] { return clock; });
    log.AddLine("Scheduled task queue rebuilt", 0, kLogSuccess);  // the pane only
    log.AddLine("[News] - download Started", 1, kLogSuccess);
    clock = MakeTime(CalendarTime{2025, 12, 31, 23, 59, 58});
    log.AddLine("second", 2, kLogError);

    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].time, "05.03.2024 07:08:09");
    EXPECT_EQ(lines[1].image, kLogSuccess);
    EXPECT_EQ(lines[2].time, "31.12.2025 23:59:58");
    EXPECT_EQ(Slurp(logPath),
              "05.03.2024 07:08:09 - [News] - download Started\n"
              "31.12.2025 23:59:58 - second\n");
}

TEST_F(EventLogTest, PaneClearsOnThe402ndLineAndNotifiesListeners) {
    EventLog log(settings, logPath, [this] { return clock; });
    RecordingListener listener(log);
    log.AddListener(&listener);
    for (int i = 1; i <= 402; ++i)
        log.AddLine("line " + std::to_string(i), 0, kLogInfo);
    ASSERT_EQ(log.Count(), 1u);
    EXPECT_EQ(log.Lines()[0].text, "line 402");
    EXPECT_EQ(listener.cleared, 1);
    ASSERT_EQ(listener.added.size(), 402u);
    EXPECT_EQ(listener.countSeen[400], 401u);
    EXPECT_EQ(listener.countSeen.back(), 1u);  // notified after the line was stored

    log.Clear();
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_EQ(listener.cleared, 2);

    log.RemoveListener(&listener);
    log.AddLine("unseen", 0, kLogInfo);
    EXPECT_EQ(listener.added.size(), 402u);
}

TEST_F(EventLogTest, ControlCharactersNeverReachPaneOrFile) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"server said:\r\n500 oops\nbye", "server said:  500 oops bye"},
        {"name\x1b]0;owned\x07.txt", "name ]0;owned .txt"},
        {std::string("a\0b\tc\x7f", 6), "a b c "},
        {"csi\xc2\x9b"
         "31m \xc2\xa0kept \xc3\xa9",
         "csi 31m \xc2\xa0kept \xc3\xa9"},
    };
    EventLog log(settings, logPath, [this] { return clock; });
    std::string file;
    for (const auto& [text, shown] : cases) {
        log.AddLine(text, 1, kLogError);
        EXPECT_EQ(log.Lines().back().text, shown);
        file += "05.03.2024 07:08:09 - " + shown + "\n";
    }
    EXPECT_EQ(Slurp(logPath), file);
}

// A log of numbered 100-byte lines.
std::string NumberedLog(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "L" + std::to_string(100000 + i) + std::string(92, 'x') + "\n";
    return text;
}

TEST_F(EventLogTest, LogIsCutToItsTailOncePerFileOpening) {
    const std::string small = NumberedLog(100);  // 10000 bytes
    for (int limit : {10, -5}) {  // 10240 > 10000; a negative limit is no limit: left alone
        ASSERT_TRUE(WriteFileAtomic(logPath, small, 0644));
        settings.MaxLogSize = limit;
        EventLog(settings, logPath, [this] { return clock; }).AddLine("a", 1, kLogInfo);
        EXPECT_EQ(Slurp(logPath), small + "05.03.2024 07:08:09 - a\n") << limit;
    }

    const std::string old = NumberedLog(512);  // 51200 bytes
    ASSERT_TRUE(WriteFileAtomic(logPath, old, 0640));
    settings.MaxLogSize = 10;
    EventLog log(settings, logPath, [this] { return clock; });

    const std::string tail = old.substr(old.size() - 10240);
    const std::string kept = tail.substr(tail.find('\n') + 1);
    log.AddLine("first", 1, kLogSessionStart);
    std::string expected = kept + "05.03.2024 07:08:09 - first\n";
    EXPECT_EQ(Slurp(logPath), expected);
    struct stat st;
    ASSERT_EQ(::stat(logPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the cut copy keeps the file's mode

    // Later lines of the same session grow the file past the limit without cutting it.
    const std::string filler(12000, 'f');
    log.AddLine(filler, 1, kLogInfo);
    expected += "05.03.2024 07:08:09 - " + filler + "\n";
    ASSERT_GT(expected.size(), 10240u);
    EXPECT_EQ(Slurp(logPath), expected);

    // The next session cuts again.
    log.CloseFile();
    log.AddLine("next session", 1, kLogSessionStart);
    const std::string tail2 = expected.substr(expected.size() - 10240);
    EXPECT_EQ(Slurp(logPath),
              tail2.substr(tail2.find('\n') + 1) + "05.03.2024 07:08:09 - next session\n");
}

TEST_F(EventLogTest, FailedCutLeavesTheOldLog) {
    const std::string old = NumberedLog(512);
    ASSERT_GT(old.size(), 4096u);
    ASSERT_TRUE(WriteFileAtomic(logPath, old, 0644));
    settings.MaxLogSize = 2;
    // A full disk as far as this process is concerned: no file may grow past 1 KB, so the
    // cut copy cannot be written (this works as root, unlike folder permissions).
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    {
        EventLog log(settings, logPath, [this] { return clock; });
        log.AddLine("kept", 1, kLogInfo);
        EXPECT_EQ(log.Count(), 1u);  // the line stays in the pane
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(Slurp(logPath), old);
}

TEST_F(EventLogTest, SaveToWritesTimeAndTextSkippingEmptyLines) {
    EventLog log(settings, logPath, [this] { return clock; });
    log.AddLine("one", 0, kLogInfo);
    log.AddLine("", 0, kLogInfo);
    // 498 ASCII bytes then a 2-byte character: cutting at 499 must not split it.
    const std::string longText = std::string(498, 'a') + "\xC3\xA9" + "tail";
    log.AddLine(longText, 0, kLogInfo);

    const std::string saved = dir.File("saved.log");
    ASSERT_TRUE(log.SaveTo(saved));
    EXPECT_EQ(Slurp(saved),
              "05.03.2024 07:08:09 : one\n05.03.2024 07:08:09 : " + std::string(498, 'a') + "\n");
    struct stat st;
    ASSERT_EQ(::stat(saved.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    EXPECT_FALSE(log.SaveTo(dir.File("no/such/folder/saved.log")));
}

TEST_F(EventLogTest, ConcurrentLinesStayWholeInFileAndPane) {
    EventLog log(settings, logPath, [this] { return clock; });
    RecordingListener listener(log);
    log.AddListener(&listener);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kPerThread; ++i)
                log.AddLine(std::to_string(t) + std::string(300, static_cast<char>('a' + t)) +
                                std::to_string(i),
                            1, kLogInfo);
        });
    }
    for (auto& thread : threads)
        thread.join();

    std::istringstream file(Slurp(logPath));
    const std::string prefix = "05.03.2024 07:08:09 - ";
    std::set<std::string> seen;
    for (std::string line; std::getline(file, line);) {
        const std::string text = line.substr(prefix.size());
        const int t = text[0] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << line.substr(0, 80);
        EXPECT_EQ(text.substr(1, 300), std::string(300, static_cast<char>('a' + t)));
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kPerThread));
    // 800 lines: the 402nd cleared the pane, which then took the last 399.
    EXPECT_EQ(log.Count(), 399u);
    EXPECT_EQ(listener.added.size(), 800u);
    EXPECT_EQ(listener.cleared, 1);
}

}  // namespace
}  // namespace kov
