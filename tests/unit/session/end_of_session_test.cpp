#include "session/end_of_session.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/prompter.h"
#include "platform/system_power.h"
#include "support/env_guard.h"

namespace kov {
namespace {

TEST(EndOfSessionTest, ChoosesTheActionBySettingModeAndHowTheSessionEnded) {
    using A = EndAction;
    struct Case {
        EndOfSessionState state;
        A action;
        bool askFirst;
    } cases[] = {
        // auto: close at once, or power off after the question; a stop or a failed line closes
        {{.autoMode = true}, A::Close, false},
        {{.autoMode = true, .userStopped = true, .tasksRemain = true}, A::Close, false},
        {{.autoMode = true, .shutdownAfter = true}, A::Shutdown, true},
        {{.autoMode = true, .shutdownAfter = true, .onEndSession = 1, .userStopped = true},
         A::Close,
         false},
        {{.autoMode = true, .shutdownAfter = true, .lineFailed = true}, A::Close, false},
        // OnEndSession decides for a session that ended by itself with nothing left today
        {{.onEndSession = 0}, A::None, false},
        {{.onEndSession = 1}, A::Close, true},
        {{.onEndSession = 2}, A::Shutdown, true},
        {{.onEndSession = 7}, A::None, false},
        {{.onEndSession = 2, .userStopped = true}, A::None, false},
        {{.onEndSession = 2, .lineFailed = true}, A::None, false},
        {{.onEndSession = 1, .lineFailed = true}, A::None, false},
        {{.onEndSession = 1, .tasksRemain = true}, A::None, false},
        // shutdownAfter alone (without auto) changes nothing
        {{.shutdownAfter = true, .onEndSession = 0}, A::None, false},
    };
    for (const Case& c : cases) {
        const EndChoice choice = ChooseEndAction(c.state);
        EXPECT_EQ(choice.action, c.action)
            << c.state.autoMode << c.state.shutdownAfter << c.state.onEndSession
            << c.state.userStopped << c.state.tasksRemain;
        EXPECT_EQ(choice.askFirst, c.askFirst) << c.state.onEndSession;
    }
}

class AnsweringPrompter : public Prompter {
public:
    explicit AnsweringPrompter(bool answer) : m_answer(answer) {}
    void Inform(const std::string&) override {}
    bool Ask(const std::string& text, bool defaultAnswer) override {
        asked = text;
        askedDefault = defaultAnswer;
        return m_answer;
    }
    std::string asked;
    bool askedDefault = false;

private:
    bool m_answer;
};

TEST(EndOfSessionTest, TheQuestionCountsDownFromThirtyAndACancelStopsTheAction) {
    AnsweringPrompter yes(true), no(false);
    EXPECT_TRUE(ConfirmEndAction(EndAction::Close, yes));
    EXPECT_EQ(yes.asked, "Program will be closed in 30 seconds");
    EXPECT_TRUE(yes.askedDefault);  // the time running out means OK
    EXPECT_FALSE(ConfirmEndAction(EndAction::Shutdown, no));
    EXPECT_EQ(no.asked, "Windows will Shutdown in 30 seconds");
    EXPECT_EQ(EndCountdownText(EndAction::Shutdown, 0), "Windows will Shutdown in 0 seconds");
}

TEST(EndOfSessionTest, APowerOffCommandsRefusalIsAMissingRightOtherFailuresKeepTheirCode) {
    test::EnvGuard env({"KOV_POWEROFF_COMMAND"});
    struct Case {
        const char* command;
        long error;
        const char* message;
    } cases[] = {
        {"true", 0, nullptr},
        {"echo 'Access denied' >&2; exit 1", kNoShutdownPrivilege,
         "You have no privileges to shutdown system !"},
        {"/nonexistent/systemctl poweroff", 127, "Shutdown error 127"},
    };
    for (const Case& c : cases) {
        setenv("KOV_POWEROFF_COMMAND", c.command, 1);
        EXPECT_EQ(ExitWindows(2), c.error) << c.command;
        if (c.message) {
            EXPECT_EQ(ShutdownErrorText(c.error), c.message) << c.command;
        }
    }
}

}  // namespace
}  // namespace kov
