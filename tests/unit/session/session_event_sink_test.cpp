#include "session/session_event_sink.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/main_loop.h"

namespace kov {
namespace {

// Keeps posted tasks until the test runs them.
class QueueLoop : public MainLoop {
public:
    void Post(std::function<void()> task) override { tasks.push_back(std::move(task)); }
    void StartTimer(int, std::chrono::milliseconds, std::function<void()>) override {}
    void StopTimer(int) override {}
    bool Alive() const override { return true; }
    void RunAll() {
        while (!tasks.empty()) {
            auto task = std::move(tasks.front());
            tasks.pop_front();
            task();
        }
    }
    std::deque<std::function<void()>> tasks;
};

class SessionEventSinkTest : public ::testing::Test {
protected:
    void Send(std::uint64_t job, int code, std::int64_t bytes = 0) {
        JobEvent e;
        e.jobId = job;
        e.code = code;
        e.param1 = bytes;
        sink.Post(e);
    }

    QueueLoop loop;
    std::vector<std::string> handled;  // "job:code:param1"
    SessionEventSink sink{loop, [this](const JobEvent& e) {
                              handled.push_back(std::to_string(e.jobId) + ":" +
                                                std::to_string(e.code) + ":" +
                                                std::to_string(e.param1));
                          }};
};

TEST_F(SessionEventSinkTest, ProgressMergesButNeverOvertakesALaterEventAndStopsAtDisconnect) {
    Send(1, kEventBlock, 100);
    Send(2, kEventBlock, 7);
    Send(1, kEventBlock, 20);
    Send(1, kEventFileResult);
    Send(1, kEventBlock, 5);  // the next file's bytes
    Send(2, kEventBlock, 3);
    Send(1, kEventFileStarted);
    Send(1, kEventBlock, 1);
    EXPECT_EQ(loop.tasks.size(), 1u) << "one task of the loop for all that waits";
    loop.RunAll();
    EXPECT_EQ(handled, (std::vector<std::string>{"1:504:120", "2:504:10", "1:506:0", "1:504:5",
                                                 "1:503:0", "1:504:1"}));

    // Nothing is handled or posted after a disconnect, not even what was posted before.
    handled.clear();
    Send(1, kEventBlock, 100);
    Send(1, kEventJobFinished);
    sink.Disconnect();
    Send(1, kEventBlock, 5);
    EXPECT_EQ(loop.tasks.size(), 1u);
    loop.RunAll();
    EXPECT_TRUE(handled.empty());
}

// A handler that ends the session stops the events queued behind the one it handles.
TEST_F(SessionEventSinkTest, DisconnectInAHandlerStopsTheRestOfTheQueue) {
    std::vector<int> codes;
    SessionEventSink* self = nullptr;
    SessionEventSink ending{loop, [&](const JobEvent& e) {
                                codes.push_back(e.code);
                                if (e.code == kEventJobFinished) self->Disconnect();
                            }};
    self = &ending;
    for (const int code : {kEventFileStarted, kEventJobFinished, kEventFileResult}) {
        JobEvent e;
        e.code = code;
        ending.Post(e);
    }
    loop.RunAll();
    EXPECT_EQ(codes, (std::vector<int>{kEventFileStarted, kEventJobFinished}));
}

}  // namespace
}  // namespace kov
