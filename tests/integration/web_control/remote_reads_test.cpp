#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "model/list_file.h"
#include "platform/file_util.h"
#include "remote_api_fixture.h"
#include "web_control/list_copies.h"
#include "web_control/session_routes.h"

namespace kov {
namespace {

using nlohmann::json;
using test::RemoteApiTest;

class RemoteReadsTest : public RemoteApiTest {
protected:
    // A read answered on this thread while the main loop stands still: only what the write
    // left behind before it answered can be in it.
    json ReadNow(const std::string& target) {
        const ApiResponse r = api->Handle(Request("GET", target, "", true));
        EXPECT_EQ(r.status, 200) << target << ": " << r.body;
        return Json(r);
    }
    // Writes the second list's file with items named by names (ID keys: the names).
    void WriteSecondList(const std::vector<std::string>& names) {
        std::vector<UrlItem> items;
        for (const std::string& name : names) {
            UrlItem item = FreshItem();
            item.Name = name;
            item.Url = "http://example.com/" + name;
            item.Dest = Home("Second/");
            item.ID = name.substr(0, name.find('#'));  // "b#2": a second item with key "b"
            items.push_back(item);
        }
        std::vector<const UrlItem*> pointers;
        for (const UrlItem& item : items)
            pointers.push_back(&item);
        std::remove(Home("Second.ini").c_str());
        ASSERT_TRUE(WriteListFile(Home("Second.ini"), pointers, prompter));
    }
    static std::vector<std::string> Names(const json& items) {
        std::vector<std::string> names;
        for (const json& item : items)
            names.push_back(item.value("name", ""));
        return names;
    }
};

// Each write, then at once a read that must show it.
struct WriteStep {
    const char* what;
    const char* method;
    std::function<std::string(RowId)> target;  // from the first added item's id
    std::string body;
    const char* readTarget;
    std::function<bool(const json& read, const json& answer)> shows;
};

std::string Items(RowId) {
    return "/api/v1/items";
}
std::string ItemPath(RowId id) {
    return "/api/v1/items/" + std::to_string(id);
}

TEST_F(RemoteReadsTest, EveryWriteIsSeenByTheNextRead) {
    const RowId first = AddUrls({{"urls", {"http://example.com/first"}}})[0];
    const auto named = [](const json& items, const std::string& name) {
        return std::any_of(items.begin(), items.end(),
                           [&](const json& i) { return i["name"] == name; });
    };
    // The session may have gone on after the answer, so the read shows the answer's state or
    // a later one the loop saw since, never the one before.
    const auto state = [this](const json& status, const json& answer) {
        return status["session"] == answer["session"] ||
               status["session"] == SessionStateName(session->State());
    };
    const WriteStep steps[] = {
        // Nothing listens there: the session below ends at once.
        {"add", "POST", Items, R"({"urls": ["http://127.0.0.1:9/added"]})", "/api/v1/items",
         [](const json& items, const json&) {
             return items.size() == 2 && items[1]["url"] == "http://127.0.0.1:9/added";
         }},
        {"rename", "PATCH", ItemPath, R"({"Name": "renamed"})", "/api/v1/items",
         [&](const json& items, const json&) { return named(items, "renamed"); }},
        {"disable", "PATCH", ItemPath, R"({"enabled": false})", "/api/v1/items",
         [](const json& items, const json&) { return items[0]["enabled"] == false; }},
        {"remove", "DELETE", ItemPath, "", "/api/v1/items",
         [&](const json& items, const json&) {
             return items.size() == 1 && !named(items, "renamed");
         }},
        {"switch", "POST", [](RowId) { return "/api/v1/lists/current"; }, R"({"list": 2})",
         "/api/v1/lists",
         [](const json& lists, const json&) { return lists[1]["current"] == true; }},
        {"switched status", "POST", [](RowId) { return "/api/v1/lists/current"; }, R"({"list": 1})",
         "/api/v1/status", [](const json& status, const json&) { return status["list"] == 1; }},
        {"start", "POST", [](RowId) { return "/api/v1/session/start"; }, "{}", "/api/v1/status",
         state},
        {"stop", "POST", [](RowId) { return "/api/v1/session/stop"; }, R"({"now": true})",
         "/api/v1/status", state},
    };
    for (const WriteStep& step : steps) {
        const ApiResponse r = Call(step.method, step.target(first), step.body);
        ASSERT_LT(r.status, 300) << step.what << ": " << r.body;
        const json read = ReadNow(step.readTarget);
        EXPECT_TRUE(step.shows(read, Json(r)))
            << step.what << ": " << read.dump() << " after " << r.body;
    }
    loop.RunUntil([&] { return session->State() == SessionState::Idle; });
}

// GET /items/ID and the tag of GET /items are read off the main loop too: a write is in the
// next read, and only a change makes a new tag.
TEST_F(RemoteReadsTest, AnItemAndTheItemsTagFollowEveryWrite) {
    const RowId id = AddUrls({{"urls", {"http://example.com/a"}}})[0];
    const auto read = [this](const std::string& tags) {
        ApiRequest request = Request("GET", "/api/v1/items", "", true);
        request.ifNoneMatch = tags;
        return api->Handle(request);
    };
    const ApiResponse first = read("");
    ASSERT_EQ(first.status, 200);
    const std::string tag = first.etag;
    ASSERT_FALSE(tag.empty());
    const std::pair<std::string, int> cases[] = {
        {tag, 304}, {"W/" + tag, 304}, {"\"x\",  " + tag + " ", 304},
        {"*", 304}, {"\"x\"", 200},    {tag.substr(1), 200},
    };
    for (const auto& [tags, status] : cases) {
        const ApiResponse r = read(tags);
        EXPECT_EQ(r.status, status) << tags;
        EXPECT_EQ(r.etag, tag) << tags;
    }
    ASSERT_EQ(Call("PATCH", ItemPath(id), R"({"Name": "renamed"})").status, 200);
    EXPECT_EQ(ReadNow(ItemPath(id))["name"], "renamed");
    const ApiResponse changed = read(tag);
    EXPECT_EQ(changed.status, 200);
    EXPECT_NE(changed.etag, tag);
    EXPECT_EQ(Json(changed)[0]["name"], "renamed");
    EXPECT_EQ(read(changed.etag).status, 304);
    EXPECT_EQ(Call("GET", ItemPath(id + 1000)).status, 404);
}

// The second list's file, then what GET /items?list=2 answers.
struct OtherList {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::string> listed;
};

TEST_F(RemoteReadsTest, AnotherListIsReadFromItsFileWithoutASwitch) {
    const OtherList cases[] = {
        {"no file yet", {}, {}},
        {"two items", {"a", "b"}, {"a", "b"}},
        {"one more", {"a", "b", "c"}, {"a", "b", "c"}},
        {"one key twice", {"a", "b", "b#2"}, {"a", "b", "b#2"}},
        {"one gone", {"c", "a"}, {"c", "a"}},
    };
    std::map<std::string, RowId> idOf;  // by the ID key: an item keeps its id
    for (const OtherList& c : cases) {
        if (!c.names.empty()) WriteSecondList(c.names);
        const json items = Json(Call("GET", "/api/v1/items?list=2"));
        ASSERT_TRUE(items.is_array()) << c.what;
        EXPECT_EQ(Names(items), c.listed) << c.what;
        std::set<RowId> ids;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const json& item = items[i];
            const RowId id = item["id"].get<RowId>();
            EXPECT_TRUE(ids.insert(id).second) << c.what << ": id " << id << " twice";
            EXPECT_TRUE(ListCopies::IsCopyId(id)) << c.what;
            EXPECT_EQ(item["list"], 2) << c.what;
            EXPECT_EQ(item["index"], i + 1) << c.what;
            EXPECT_EQ(item["state"], "idle") << c.what;
            const std::string key = item["name"].get<std::string>();
            if (key.find('#') != std::string::npos) continue;
            const auto [kept, fresh] = idOf.emplace(key, id);
            EXPECT_EQ(kept->second, id) << c.what << ": " << key << " changed its id";
        }
        EXPECT_EQ(document->CurrentIndex(), 0u) << c.what;
    }
    // Its ids are not the current list's: a change by one of them finds nothing.
    const RowId other = idOf.at("a");
    const ApiResponse r = Call("PATCH", ItemPath(other), R"({"Name": "x"})");
    EXPECT_EQ(r.status, 404);
    EXPECT_NE(Json(r).value("cause", "").find("another list"), std::string::npos) << r.body;
}

TEST_F(RemoteReadsTest, AListFileThatCannotBeReadIsAnErrorNotAnEmptyList) {
    ASSERT_TRUE(CreateFolders(Home("Second.ini")));
    const ApiResponse r = Call("GET", "/api/v1/items?list=2");
    EXPECT_EQ(r.status, 500) << r.body;
    EXPECT_EQ(Call("GET", "/api/v1/items?list=3").status, 404);
    EXPECT_EQ(Call("GET", "/api/v1/items?list=x").status, 400);
}

// Readers on many threads while items are added four at a time: each answer is one whole
// moment, so the count is a multiple of four, the places run 1..n and the status agrees with
// itself.
TEST_F(RemoteReadsTest, ReadersNeverSeeAHalfMadeList) {
    constexpr int kReaders = 8;
    constexpr int kBatches = 40;
    std::atomic<bool> writing{true};
    std::atomic<int> torn{0}, reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            while (writing) {
                const bool items = r % 2 == 0;
                const ApiResponse a = api->Handle(
                    Request("GET", items ? "/api/v1/items" : "/api/v1/status", "", true));
                const json body = Json(a);
                ++reads;
                if (a.status != 200 || body.is_discarded()) {
                    ++torn;
                } else if (items) {
                    bool whole = body.is_array() && body.size() % 4 == 0;
                    for (std::size_t i = 0; whole && i < body.size(); ++i)
                        whole = body[i]["index"] == i + 1 &&
                                (i == 0 || body[i]["id"] > body[i - 1]["id"]);
                    torn += !whole;
                } else {
                    torn += body["jobs"].size() != body["totals"]["running"].get<std::size_t>();
                }
            }
        });
    }
    WhileLoopRuns([&] {
        for (int b = 0; b < kBatches; ++b) {
            std::vector<std::string> urls;
            for (int k = 0; k < 4; ++k)
                urls.push_back("http://example.com/" + std::to_string(b) + "-" + std::to_string(k));
            api->Handle(Request("POST", "/api/v1/items", json{{"urls", urls}}.dump(), true));
        }
        writing = false;
    });
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(ReadNow("/api/v1/items").size(), 4u * kBatches);
}

}  // namespace
}  // namespace kov
