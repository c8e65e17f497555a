#include "web_control/main_loop_call.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/event_loop.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

ApiResponse Answer() {
    return {200, "ran"};
}

TEST(MainLoopCallTest, WorkRunsOnTheLoopsThreadAndItsAnswerComesBack) {
    EventLoop loop;
    MainLoopCall call(loop);
    std::thread::id ranOn;
    ApiResponse answer;
    std::atomic<bool> done{false};
    std::thread caller([&] {
        answer = call.Run([&] {
            ranOn = std::this_thread::get_id();
            return Answer();
        });
        done = true;
    });
    while (!done)
        loop.RunFor(10ms);
    caller.join();
    EXPECT_EQ(answer.body, "ran");
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// Every way a wait ends without the work's answer is a 503, and the work never runs after.
struct GivenUp {
    const char* what;
    bool closeFirst;
    bool quitLoop;
    bool stopping;
    const char* errorText;
};

TEST(MainLoopCallTest, AWaitThatCannotBeAnsweredIsUnavailable) {
    const GivenUp cases[] = {
        {"closed", true, false, false, "unavailable"},
        {"loop gone", false, true, false, "unavailable"},
        {"server stopping", false, false, true, "unavailable"},
        {"loop never gets to it", false, false, false, "busy"},
    };
    for (const GivenUp& c : cases) {
        EventLoop loop;
        MainLoopCall call(loop, 100ms);
        if (c.closeFirst) call.Close();
        if (c.quitLoop) loop.Quit();
        const std::atomic<bool> stopping{c.stopping};
        bool ran = false;
        const ApiResponse r = call.Run(
            [&] {
                ran = true;
                return Answer();
            },
            &stopping);
        EXPECT_EQ(r.status, 503) << c.what;
        EXPECT_NE(r.body.find(c.errorText), std::string::npos) << c.what << ": " << r.body;
        call.Close();
        loop.RunPending();
        EXPECT_FALSE(ran) << c.what;
    }
}

}  // namespace
}  // namespace kov
