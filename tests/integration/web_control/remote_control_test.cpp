#include "web_control/remote_control.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/language/message_table.h"
#include "remote_api_fixture.h"
#include "web_control/remote_token.h"

namespace kov {
namespace {

class RemoteControlTest : public test::RemoteHomeTest {
protected:
    std::unique_ptr<RemoteControl> Make() {
        return std::make_unique<RemoteControl>(
            RemoteTargets{settings, *document, *session, *log, loop}, "", Home("token"));
    }
    // Whether the log has a line that begins with the message's text.
    bool Logged(EventCode code) const {
        for (const LogLine& line : log->Lines()) {
            if (line.text.rfind(GetString(code), 0) == 0) return true;
        }
        return false;
    }
};

struct StartCase {
    const char* what;
    int enabled;
    const char* address;
    bool running;
    bool warned;  // the open-to-the-network line
};

TEST_F(RemoteControlTest, StartsAsTheSettingsSayAndTellsTheLogWhere) {
    const StartCase cases[] = {
        {"off", 0, "127.0.0.1", false, false},
        {"loopback", 1, "127.0.0.1", true, false},
        {"every address", 1, "0.0.0.0", true, true},
    };
    for (const StartCase& c : cases) {
        log->Clear();
        settings.remote.Enabled = c.enabled;
        settings.remote.Address = c.address;
        settings.remote.Port = 0;
        auto control = Make();
        EXPECT_TRUE(control->Start()) << c.what;
        EXPECT_EQ(control->Running(), c.running) << c.what;
        EXPECT_EQ(Logged(EventCode::RemoteListening), c.running) << c.what;
        EXPECT_EQ(Logged(EventCode::RemoteOpenToNetwork), c.warned) << c.what;
        // The token is made at the first start with remote control on, not before.
        EXPECT_EQ(RemoteToken(Home("token")).Load(), c.running) << c.what;
        control.reset();
        EXPECT_EQ(Logged(EventCode::RemoteStopped), c.running) << c.what;
        std::remove(Home("token").c_str());
    }
}

TEST_F(RemoteControlTest, ATakenPortIsReportedAndNothingRuns) {
    settings.remote.Enabled = 1;
    settings.remote.Port = 0;
    auto first = Make();
    ASSERT_TRUE(first->Start());
    settings.remote.Port = first->Port();
    auto second = Make();
    EXPECT_FALSE(second->Start());
    EXPECT_FALSE(second->Running());
    EXPECT_TRUE(Logged(EventCode::RemoteNotStarted));
}

TEST_F(RemoteControlTest, ChangedSettingsOrARenewedTokenRestartTheServer) {
    settings.remote.Enabled = 1;
    settings.remote.Port = 0;
    auto control = Make();
    ASSERT_TRUE(control->Start());
    log->Clear();
    EXPECT_TRUE(control->SettingsChanged());
    EXPECT_FALSE(Logged(EventCode::RemoteStopped));  // nothing changed: it keeps running

    ASSERT_TRUE(RemoteToken(Home("token")).Renew());
    EXPECT_TRUE(control->SettingsChanged());
    EXPECT_TRUE(Logged(EventCode::RemoteStopped));
    EXPECT_TRUE(control->Running());

    settings.remote.Enabled = 0;
    EXPECT_TRUE(control->SettingsChanged());
    EXPECT_FALSE(control->Running());
}

}  // namespace
}  // namespace kov
