#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "model/url_item.h"
#include "platform/file_util.h"
#include "remote_api_fixture.h"

namespace kov {
namespace {

using nlohmann::json;
using test::RemoteApiTest;

struct Refusal {
    const char* what;
    const char* method;
    const char* target;
    const char* body;
    int status;
    const char* causePart;  // a part of the "cause" the caller reads
};

const Refusal kRefusals[] = {
    {"bad JSON", "POST", "/api/v1/items", "{\"urls\": [", 400, "not JSON"},
    {"not an object", "POST", "/api/v1/items", "[1,2]", 400, "object"},
    {"no urls", "POST", "/api/v1/items", "{}", 400, "urls"},
    {"url not a string", "POST", "/api/v1/items", "{\"urls\": [7]}", 400, "string"},
    {"no scheme", "POST", "/api/v1/items", "{\"urls\": [\"www.example.com/a\"]}", 400, "not a URL"},
    {"unknown scheme", "POST", "/api/v1/items", "{\"urls\": [\"gopher://a/\"]}", 400,
     "unsupported scheme"},
    {"line break in a name", "POST", "/api/v1/items",
     "{\"urls\": [\"http://a/\"], \"name\": \"a\\nb\"}", 400, "name"},
    {"relative folder", "POST", "/api/v1/items", "{\"urls\": [\"http://a/\"], \"dest\": \"x/\"}",
     400, "full path"},
    {"template not a flag", "POST", "/api/v1/items", "{\"urls\": [\"http://a/\"], \"template\": 3}",
     400, "template"},
    {"no such list", "POST", "/api/v1/items", "{\"urls\": [\"http://a/\"], \"list\": 9}", 404,
     "list 9"},
    {"unknown item", "GET", "/api/v1/items/4242", "", 404, "4242"},
    {"unknown item changed", "PATCH", "/api/v1/items/4242", "{\"Name\": \"x\"}", 404, "4242"},
    {"unknown item removed", "DELETE", "/api/v1/items/4242", "", 404, "4242"},
    {"item id not a number", "GET", "/api/v1/items/abc", "", 404, "no such path"},
    {"unknown path", "GET", "/api/v1/nothing", "", 404, "no such path"},
    {"outside the API", "GET", "/etc/passwd", "", 404, "/api/v1/"},
    {"wrong method", "PUT", "/api/v1/items", "", 405, "PUT"},
    {"log written to", "POST", "/api/v1/log", "", 405, "GET"},
    {"log after text", "GET", "/api/v1/log?after=x", "", 400, "after"},
    {"start unknown id", "POST", "/api/v1/session/start", "{\"ids\": [4242]}", 404, "4242"},
    {"start ids not a list", "POST", "/api/v1/session/start", "{\"ids\": 3}", 400, "ids"},
    {"stop now not a flag", "POST", "/api/v1/session/stop", "{\"now\": \"yes\"}", 400, "now"},
    {"list switch to nothing", "POST", "/api/v1/lists/current", "{\"list\": 0}", 404, "list 0"},
};

TEST_F(RemoteApiTest, EveryRefusalHasItsStatusAndCauseAndChangesNothing) {
    for (const Refusal& r : kRefusals) {
        const ApiResponse response = Call(r.method, r.target, r.body);
        EXPECT_EQ(response.status, r.status) << r.what << ": " << response.Text();
        const json body = Json(response);
        ASSERT_TRUE(body.is_object()) << r.what;
        EXPECT_TRUE(body.contains("error")) << r.what;
        EXPECT_NE(body.value("cause", "").find(r.causePart), std::string::npos)
            << r.what << ": " << response.Text();
    }
    EXPECT_EQ(document->Rows().Count(), 0u);
    EXPECT_EQ(document->CurrentIndex(), 0u);
    EXPECT_FALSE(document->Rows().Modified());
}

TEST_F(RemoteApiTest, AddedItemsAreListedWithTheirFields) {
    const std::vector<RowId> ids =
        AddUrls({{"urls", {"http://example.com/a.zip", "ftp://example.com/b.txt"}},
                 {"name", "Both"},
                 {"dest", Home("in")}});
    ASSERT_EQ(ids.size(), 2u);
    const json items = Json(Call("GET", "/api/v1/items"));
    ASSERT_EQ(items.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(items[i]["id"], ids[i]);
        EXPECT_EQ(items[i]["index"], i + 1);
        EXPECT_EQ(items[i]["list"], 1);
        EXPECT_EQ(items[i]["name"], "Both");
        EXPECT_EQ(items[i]["dest"], Home("in/"));
        EXPECT_EQ(items[i]["enabled"], true);
        EXPECT_EQ(items[i]["state"], "idle");
        EXPECT_TRUE(items[i]["lastDownload"].is_null());
        EXPECT_TRUE(items[i]["error"].is_null());
        EXPECT_TRUE(items[i]["total"].is_null());
    }
    EXPECT_EQ(items[1]["url"], "ftp://example.com/b.txt");
    EXPECT_EQ(Item(ids[0]), items[0]);
}

TEST_F(RemoteApiTest, AChangeIsSavedToTheListFileSoonAfter) {
    AddUrls({{"urls", {"http://example.com/saved.zip"}}});
    ASSERT_TRUE(loop.RunUntil([&] { return !document->Rows().Modified(); }));
    EXPECT_NE(ReadFile(Home("Default.ini")).value_or("").find("http://example.com/saved.zip"),
              std::string::npos);
}

TEST_F(RemoteApiTest, ATemplateAddTurnsTheUrlIntoASeries) {
    const RowId id = AddUrls({{"urls", {"http://example.com/pic017.jpg"}}, {"template", true}})[0];
    const Row* row = document->Rows().Find(id);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->item.NumBased, 1);
    EXPECT_EQ(row->item.CurrentNum, 17);
}

TEST_F(RemoteApiTest, ListsAreShownAndSwitched) {
    json lists = Json(Call("GET", "/api/v1/lists"));
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0], (json{{"index", 1}, {"name", "Main"}, {"current", true}}));
    EXPECT_EQ(lists[1]["current"], false);
    AddUrls({{"urls", {"http://example.com/second"}}, {"list", 2}});
    EXPECT_EQ(document->CurrentIndex(), 1u);
    lists = Json(Call("POST", "/api/v1/lists/current", R"({"list": 1})"));
    EXPECT_EQ(lists[0]["current"], true);
    EXPECT_EQ(Json(Call("GET", "/api/v1/items")).size(), 0u);
    const json second = Json(Call("GET", "/api/v1/items?list=2"));
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0]["list"], 2);
    EXPECT_EQ(document->CurrentIndex(), 0u) << "a read switches no list";
}

struct Patch {
    const char* what;
    json body;
    int status;
    const char* causePart;
};

TEST_F(RemoteApiTest, APatchIsAllOrNothing) {
    const RowId id = AddUrls({{"urls", {"http://example.com/a"}}, {"name", "Before"}})[0];
    const std::string path = "/api/v1/items/" + std::to_string(id);
    const Patch refused[] = {
        {"bad value after a good one", {{"Name", "After"}, {"days", "999"}}, 400, "days"},
        {"unknown key", {{"Name", "After"}, {"Colour", "red"}}, 400, "unknown key"},
        {"bad scheme", {{"Url", "gopher://x/"}}, 400, "unsupported scheme"},
        {"empty url", {{"Url", ""}}, 400, "Url"},
        {"enabled not a flag", {{"enabled", "no"}}, 400, "enabled"},
        {"value an object", {{"Name", json::object()}}, 400, "Name"},
    };
    for (const Patch& p : refused) {
        const ApiResponse r = Call("PATCH", path, p.body.dump());
        EXPECT_EQ(r.status, p.status) << p.what << ": " << r.body;
        EXPECT_NE(Json(r).value("cause", "").find(p.causePart), std::string::npos) << r.body;
        EXPECT_EQ(Item(id)["name"], "Before") << p.what;
        EXPECT_EQ(Item(id)["url"], "http://example.com/a") << p.what;
    }
    const ApiResponse done =
        Call("PATCH", path, json{{"Name", "After"}, {"days", 3}, {"enabled", false}}.dump());
    ASSERT_EQ(done.status, 200) << done.body;
    EXPECT_EQ(Json(done)["name"], "After");
    EXPECT_EQ(Json(done)["enabled"], false);
    EXPECT_EQ(document->Rows().Find(id)->item.days, 3);
    EXPECT_TRUE(document->Rows().Modified());
}

TEST_F(RemoteApiTest, ADeletedItemIsGone) {
    const std::vector<RowId> ids = AddUrls({{"urls", {"http://a/1", "http://a/2"}}});
    const ApiResponse r = Call("DELETE", "/api/v1/items/" + std::to_string(ids[0]));
    EXPECT_EQ(r.status, 204);
    EXPECT_TRUE(r.body.empty());
    EXPECT_EQ(Call("GET", "/api/v1/items/" + std::to_string(ids[0])).status, 404);
    EXPECT_EQ(Item(ids[1])["index"], 1);
}

// What an item from another machine may carry, with [Remote] AllowCommands off and on.
struct Confinement {
    const char* what;
    bool allowCommands;
    const char* method;  // POST adds; PATCH changes the item made first
    json body;
    int status;
};

TEST_F(RemoteApiTest, ItemsFromAnotherMachineKeepToTheListFolder) {
    const RowId id = AddUrls({{"urls", {"http://example.com/a"}}})[0];
    const Confinement cases[] = {
        {"a command", false, "PATCH", {{"Cmd", "rm -rf ~"}}, 403},
        {"an upload", false, "PATCH", {{"Upload", 1}}, 403},
        {"an upload server", false, "PATCH", {{"UploadServer", "evil"}}, 403},
        {"a local file", false, "POST", {{"urls", {"file:///etc/passwd"}}}, 403},
        {"a local file by a change", false, "PATCH", {{"Url", "file:///etc/passwd"}}, 403},
        {"a command allowed", true, "PATCH", {{"Cmd", "echo done"}}, 200},
        {"a local file allowed", true, "POST", {{"urls", {"file:///etc/hostname"}}}, 201},
    };
    for (const Confinement& c : cases) {
        settings.remote.AllowCommands = c.allowCommands ? 1 : 0;
        const std::string target = std::string(c.method) == "POST"
                                       ? "/api/v1/items"
                                       : "/api/v1/items/" + std::to_string(id);
        const ApiResponse r = Call(c.method, target, c.body.dump(), false);
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.body;
    }
    settings.remote.AllowCommands = 0;
    EXPECT_EQ(document->Rows().Find(id)->item.Cmd, "echo done");
    // A folder from afar becomes one under the list's folder, whatever path it names.
    const RowId far =
        AddUrls({{"urls", {"http://example.com/b"}}, {"dest", "/etc/cron.d/"}}, false)[0];
    EXPECT_EQ(Item(far)["dest"], Home("Download/cron.d/"));
    ASSERT_EQ(Call("PATCH", "/api/v1/items/" + std::to_string(far), R"({"Dest": "../../x"})", false)
                  .status,
              200);
    EXPECT_EQ(Item(far)["dest"], Home("Download/x/"));
    // The same from this machine is taken as given.
    const RowId near = AddUrls({{"urls", {"http://example.com/c"}}, {"dest", "/tmp/kov-near"}})[0];
    EXPECT_EQ(Item(near)["dest"], "/tmp/kov-near/");
}

TEST_F(RemoteApiTest, AClosedApiAnswersUnavailable) {
    api->Close();
    for (const char* target : {"/api/v1/items", "/api/v1/status", "/api/v1/log"}) {
        const ApiResponse r = Call("GET", target);
        EXPECT_EQ(r.status, 503) << target;
        EXPECT_TRUE(Json(r).contains("cause"));
    }
}

TEST_F(RemoteApiTest, LogLinesComeWithIncreasingNumbers) {
    log->AddLine("first", 0, kLogInfo);
    log->AddLine("second", 0, kLogError);
    json feed = Json(Call("GET", "/api/v1/log"));
    ASSERT_EQ(feed["lines"].size(), 2u);
    EXPECT_EQ(feed["lines"][0]["seq"], 1);
    EXPECT_EQ(feed["lines"][1]["text"], "second");
    EXPECT_EQ(feed["lines"][1]["kind"], "error");
    EXPECT_EQ(feed["next"], 2);
    log->AddLine("third", 0, kLogSuccess);
    feed = Json(Call("GET", "/api/v1/log?after=2"));
    ASSERT_EQ(feed["lines"].size(), 1u);
    EXPECT_EQ(feed["lines"][0]["text"], "third");
    EXPECT_EQ(feed["lines"][0]["seq"], 3);
    EXPECT_TRUE(WaitForEvent("log", "text", "third"));
}

}  // namespace
}  // namespace kov
