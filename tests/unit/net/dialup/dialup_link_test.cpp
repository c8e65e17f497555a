#include "net/dialup/dialup_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/env_guard.h"
#include "support/nmcli_stand_in.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

TEST(NmcliOutput, TerseLinesAreParsedDefensively) {
    struct Case {
        const char* text;
        std::size_t fields;
        std::vector<std::vector<std::string>> expected;
    };
    const Case cases[] = {
        {"dsl:activated\nwifi:activating\n", 2, {{"dsl", "activated"}, {"wifi", "activating"}}},
        {"a\\:b\\\\c:activated", 2, {{"a:b\\c", "activated"}}},     // escaped separator
        {"one:two:three\nok:activated", 2, {{"ok", "activated"}}},  // wrong field count
        {"bad\x01name:activated\n:activated\nx:", 2, {}},  // control character, empty fields
        {"trailing\\", 1, {}},                             // a lone escape at the end
        {"a\nb\nc\nd", 1, {{"a"}, {"b"}, {"c"}}},          // at most three lines taken
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseTerseLines(c.text, c.fields, 3, 16), c.expected) << c.text;
    }
    EXPECT_TRUE(ParseTerseLines(std::string(17, 'x'), 1, 3, 16).empty());  // over-long field
}

class DialUpLinkTest : public ::testing::Test {
protected:
    test::NmcliStandIn nmcli{{"dsl", "Office: VPN"}};
    NmDialer::Limits limits{2s, 2s, 2s};
    DialUpLink link{NmDialer(limits)};
};

TEST_F(DialUpLinkTest, ConnectsOnlyWhenEnabledAndTheProfileExists) {
    struct Case {
        const char* mode;
        bool enable;
        const char* entry;
        int result;
        int ups;  // "connection up" calls
        int lastError;
    };
    const Case cases[] = {
        {"ok", false, "dsl", 2, 0, 0},  // dial-up off: the line counts as up
        {"ok", true, "", 2, 0, 0},      // no entry chosen: disabled
        {"ok", true, "dsl", 2, 1, 0},
        {"ok", true, "Office: VPN", 2, 1, 0},
        {"ok", true, "gone", 0, 0, DialUpLink::kErrorEntryParams},
        {"fail", true, "dsl", 0, DialUpLink::kAttempts, DialUpLink::kErrorDialFailed},
    };
    for (const Case& c : cases) {
        test::NmcliStandIn fresh{{"dsl", "Office: VPN"}};
        fresh.SetMode(c.mode);
        DialUpLink l{NmDialer(limits)};
        l.Init(c.enable, c.entry, false);
        EXPECT_EQ(l.QueryForConnect(kRequesterSession), c.result) << c.mode << " " << c.entry;
        EXPECT_EQ(fresh.Count(std::string("up ") + c.entry), c.ups) << c.entry;
        EXPECT_EQ(l.LastError(), c.lastError) << c.entry;
        // A party whose dial failed holds nothing.
        EXPECT_EQ(l.Requesters().size(), c.enable && *c.entry && c.result == 2 ? 1u : 0u);
    }
}

TEST_F(DialUpLinkTest, SessionAndMailShareTheLine) {
    link.Init(true, "dsl", true);
    ASSERT_EQ(link.QueryForConnect(kRequesterSession), 2);
    ASSERT_EQ(link.QueryForConnect(kRequesterMail), 2);  // already up: no second dial
    EXPECT_EQ(nmcli.Count("up dsl"), 1);
    EXPECT_EQ(link.ReleaseConnection(kRequesterSession), 1);
    EXPECT_TRUE(link.Poll());
    EXPECT_EQ(link.ReleaseConnection(kRequesterMail), 2);
    EXPECT_EQ(nmcli.Count("down dsl"), 1);
    EXPECT_FALSE(link.Poll());
    EXPECT_FALSE(link.IsConnected());
}

TEST_F(DialUpLinkTest, DroppedLineIsRedialledByTheLineCheck) {
    link.Init(true, "dsl", false);
    EXPECT_EQ(link.CheckAndRedial(), 2);  // down: dialled
    EXPECT_EQ(link.CheckAndRedial(), 1);  // up: nothing to do
    nmcli.SetActive("dsl", false);
    nmcli.SetMode("fail");
    EXPECT_FALSE(link.Poll());
    EXPECT_EQ(link.CheckAndRedial(), 0);
    EXPECT_NE(link.LastErrorText().find("no carrier"), std::string::npos) << link.LastErrorText();
}

TEST_F(DialUpLinkTest, HangingNmcliIsCutOffAndADialInProgressIsReported) {
    link.Init(true, "dsl", true);
    nmcli.SetMode("hang");
    std::atomic<bool> cancel{false};
    int first = -1;
    std::thread dial([&] { first = link.QueryForConnect(kRequesterSession, &cancel); });
    while (nmcli.Count("up dsl") == 0)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(link.QueryForConnect(kRequesterMail), 1);  // at once: a dial is running
    const auto start = std::chrono::steady_clock::now();
    cancel = true;
    dial.join();
    EXPECT_EQ(first, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    // A listing that never answers costs its time limit, no more.
    nmcli.SetMode("hang-show");
    NmDialer quick({300ms, 300ms, 300ms});
    std::string error;
    EXPECT_FALSE(quick.Active(&error));
    EXPECT_EQ(error, "nmcli did not answer in time");
}

TEST(DialUpLinkMissing, WithoutNmcliTheFeatureIsAbsent) {
    const test::EnvGuard guard({"PATH"});
    ::setenv("PATH", "/nonexistent", 1);
    DialUpLink link;
    link.Init(true, "dsl", true);
    EXPECT_FALSE(link.Loaded());
    EXPECT_FALSE(link.IsAvailable());
    EXPECT_EQ(link.QueryForConnect(kRequesterSession), 2);
    EXPECT_EQ(link.ReleaseConnection(kRequesterSession), 2);
    EXPECT_FALSE(link.Hangup());
    EXPECT_EQ(link.LastError(), DialUpLink::kErrorLibraryMissing);
}

}  // namespace
}  // namespace kov
