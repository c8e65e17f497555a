#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_util.h"
#include "remote_api_fixture.h"

namespace kov {
namespace {

using nlohmann::json;
using test::RemoteApiTest;

class RemoteSessionTest : public RemoteApiTest {
protected:
    void SetUp() override {
        if (!HaveNginx()) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed";
        RemoteApiTest::SetUp();
    }
};

TEST_F(RemoteSessionTest, ASessionStartedRemotelyFetchesTheFilesAndTellsTheStream) {
    const std::vector<RowId> ids =
        AddUrls({{"urls", {Nginx("/files/f1.txt"), Nginx("/files/f2.txt"), Nginx("/nothing")}},
                 {"dest", Home("dl")}});
    ASSERT_EQ(ids.size(), 3u);
    const ApiResponse started = Call("POST", "/api/v1/session/start");
    ASSERT_EQ(started.status, 202) << started.body;
    EXPECT_NE(Json(started)["session"], "idle");
    ASSERT_TRUE(WaitForEvent("session", "state", "ended"));
    EXPECT_EQ(ReadFile(Home("dl/f1.txt")).value_or(""), "file 1");
    EXPECT_EQ(ReadFile(Home("dl/f2.txt")).value_or(""), "file 2");

    // The outcome outlives the session's end.
    const json items = Json(Call("GET", "/api/v1/items"));
    EXPECT_EQ(items[0]["state"], "done");
    EXPECT_EQ(items[0]["bytes"], 6);
    EXPECT_FALSE(items[0]["lastDownload"].is_null());
    EXPECT_EQ(items[2]["state"], "error");
    ASSERT_TRUE(items[2]["error"].is_object()) << items[2];
    EXPECT_NE(items[2]["error"]["cause"].get<std::string>().find("404"), std::string::npos)
        << items[2];

    // The stream told each item's way and the session's start.
    std::set<std::string> states;
    bool startedEvent = false;
    for (const HubEvent& e : seen) {
        const json data = json::parse(e.data);
        if (e.name == "item" && data["id"] == ids[0]) states.insert(data["state"]);
        if (e.name == "session" && data["state"] == "started") startedEvent = true;
    }
    EXPECT_TRUE(startedEvent);
    EXPECT_TRUE(states.count("done")) << json(states);
    const json status = Json(Call("GET", "/api/v1/status"));
    EXPECT_EQ(status["session"], "idle");
    EXPECT_EQ(status["totals"]["done"], 2);
    EXPECT_EQ(status["totals"]["failed"], 1);
    EXPECT_GE(Json(Call("GET", "/api/v1/log"))["lines"].size(), 3u);
}

TEST_F(RemoteSessionTest, DuringASessionTheListStaysAndABusyItemIsNotChanged) {
    const RowId slow = AddUrls({{"urls", {Nginx("/slow/big")}}, {"dest", Home("dl")}})[0];
    const RowId idle = AddUrls({{"urls", {Nginx("/files/f3.txt")}}, {"dest", Home("dl")}})[0];
    const std::string slowPath = "/api/v1/items/" + std::to_string(slow);
    ASSERT_EQ(Call("POST", "/api/v1/session/start", json{{"ids", {slow}}}.dump()).status, 202);
    ASSERT_TRUE(loop.RunUntil([&] { return Item(slow)["state"] == "running"; }));

    struct Busy {
        const char* what;
        const char* method;
        std::string target;
        std::string body;
    };
    const Busy refused[] = {
        {"switch", "POST", "/api/v1/lists/current", R"({"list": 2})"},
        {"add to another list", "POST", "/api/v1/items",
         R"({"urls": ["http://example.com/x"], "list": 2})"},
        {"change a running item", "PATCH", slowPath, R"({"Name": "x"})"},
        {"remove a running item", "DELETE", slowPath, ""},
    };
    for (const Busy& b : refused) {
        const ApiResponse r = Call(b.method, b.target, b.body);
        EXPECT_EQ(r.status, 409) << b.what << ": " << r.body;
    }
    EXPECT_EQ(document->CurrentIndex(), 0u);
    // Another list is read, not switched to.
    const ApiResponse other = Call("GET", "/api/v1/items?list=2");
    EXPECT_EQ(other.status, 200) << other.body;
    EXPECT_EQ(Json(other), json::array());
    EXPECT_EQ(document->CurrentIndex(), 0u);
    // An item the session does not fetch may change meanwhile.
    EXPECT_EQ(Call("PATCH", "/api/v1/items/" + std::to_string(idle), R"({"Name": "y"})").status,
              200);

    const json status = Json(Call("GET", "/api/v1/status"));
    EXPECT_EQ(status["session"], "running");
    ASSERT_EQ(status["jobs"].size(), 1u);
    EXPECT_EQ(status["jobs"][0]["id"], slow);
    EXPECT_EQ(status["jobs"][0]["total"], kSlowSize);
    ASSERT_TRUE(WaitForEvent("progress", "id", slow));

    ASSERT_EQ(Call("POST", "/api/v1/session/stop", R"({"now": true})").status, 202);
    ASSERT_TRUE(WaitForEvent("session", "state", "ended"));
    EXPECT_EQ(Item(idle)["state"], "idle");
}

// A stop ends the running files at once or lets them finish: as the caller says, else as
// AbortMode says. A second stop ends a stopping session at once.
TEST_F(RemoteSessionTest, AStopEndsTheRunningFilesAsAskedElseAsAbortModeSays) {
    struct Case {
        const char* body;
        int abortMode;
        bool filesFinish;
    };
    const Case cases[] = {
        {"", 0, false},
        {R"({"now": false})", 0, true},
        {"", 1, true},
        {R"({"now": true})", 1, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.body) + " AbortMode=" + std::to_string(c.abortMode));
        settings.AbortMode = c.abortMode;
        const RowId slow = AddUrls(
            {{"urls", {Nginx("/slow/big")}}, {"dest", Home("stop" + std::to_string(++n))}})[0];
        ASSERT_EQ(Call("POST", "/api/v1/session/start", json{{"ids", {slow}}}.dump()).status, 202);
        ASSERT_TRUE(WaitForEvent("progress", "id", slow));
        ASSERT_EQ(Call("POST", "/api/v1/session/stop", c.body).status, 202);
        if (c.filesFinish) {
            loop.RunFor(std::chrono::milliseconds(500));
            EXPECT_EQ(Item(slow)["state"], "running");
            EXPECT_EQ(Json(Call("GET", "/api/v1/status"))["session"], "stopping");
            ASSERT_EQ(Call("POST", "/api/v1/session/stop").status, 202);
        }
        // The 5-second file ends well before its time.
        ASSERT_TRUE(WaitForEvent("session", "state", "ended", std::chrono::seconds(3)));
        EXPECT_NE(Item(slow)["state"], "done");
    }
}

TEST_F(RemoteSessionTest, ManyCallersAtOnceLoseNoUpdateWhileASessionRuns) {
    std::vector<std::string> urls;
    for (int i = 0; i < 200; ++i)
        urls.push_back(Nginx("/files/f" + std::to_string(i % 3 + 1) + ".txt?" + std::to_string(i)));
    AddUrls({{"urls", urls}, {"dest", Home("many")}});
    ASSERT_EQ(Call("POST", "/api/v1/session/start").status, 202);

    constexpr int kCallers = 32;
    constexpr int kEach = 5;
    std::atomic<int> finished{0};
    std::atomic<int> failures{0};
    std::vector<std::vector<RowId>> added(kCallers);
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) {
        callers.emplace_back([&, c] {
            for (int k = 0; k < kEach; ++k) {
                const std::string url =
                    Nginx("/files/f1.txt?c" + std::to_string(c) + "-" + std::to_string(k));
                const ApiResponse r = api->Handle(
                    Request("POST", "/api/v1/items", json{{"urls", {url}}}.dump(), true));
                const ApiResponse read = api->Handle(Request("GET", "/api/v1/status", "", true));
                if (r.status != 201 || read.status != 200) ++failures;
                for (const auto& id : Json(r).value("ids", json::array()))
                    added[c].push_back(id.get<RowId>());
            }
            ++finished;
        });
    }
    ASSERT_TRUE(loop.RunUntil([&] { return finished == kCallers; }, std::chrono::seconds(60)));
    for (std::thread& t : callers)
        t.join();
    EXPECT_EQ(failures, 0);
    ASSERT_TRUE(WaitForEvent("session", "state", "ended", std::chrono::seconds(60)));
    std::set<RowId> listed;
    for (const json& item : Json(Call("GET", "/api/v1/items")))
        listed.insert(item["id"].get<RowId>());
    EXPECT_EQ(listed.size(), 200u + kCallers * kEach);
    for (const auto& ids : added) {
        ASSERT_EQ(ids.size(), static_cast<std::size_t>(kEach));
        for (RowId id : ids)
            EXPECT_TRUE(listed.count(id)) << id;
    }
}

}  // namespace
}  // namespace kov
