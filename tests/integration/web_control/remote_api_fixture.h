#pragma once

// A program as the remote API sees it: a home folder with two lists, the session controller on
// a real main loop, the event hub and the API; requests are made on threads of their own, as
// the server's threads make them, while the test's thread runs the main loop.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "../session/session_fixture.h"
#include "engine/worker_pool.h"
#include "net/http/inet.h"
#include "net/transfer/traffic_meter.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "web_control/event_hub.h"
#include "web_control/remote_api.h"

namespace kov::test {

// The home, nginx with a few files and a slow one, and a session controller on the loop.
class RemoteHomeTest : public SessionHomeTest {
protected:
    // /slow/big: this many bytes at 20 kB/s, so that a session is seen running.
    static constexpr std::size_t kSlowSize = 100000;

    static void SetUpTestSuite() {
        InternetGlobalInit();
        if (!NginxServer::Available()) return;
        nginx = std::make_unique<NginxServer>();
        for (int i = 1; i <= 3; ++i)
            nginx->WriteFile("files/f" + std::to_string(i) + ".txt", "file " + std::to_string(i));
        nginx->WriteFile("slow/big", std::string(kSlowSize, 's'));
        nginx->AddLocation("location /slow { limit_rate 20k; }");
        if (!nginx->Start()) nginx.reset();
    }
    static void TearDownTestSuite() { nginx.reset(); }

    void SetUp() override {
        settings.MaxThreads = 4;
        OpenHome();
        settings.lists.push_back({"Second", Home("Second.ini"), Home("Second/")});
        jobEnv = std::make_shared<JobEnvironment>();
        jobEnv->meter = &meter;
        jobEnv->retryWait = std::chrono::milliseconds(1);
        pool = std::make_unique<WorkerPool>();
        session = std::make_unique<SessionController>(settings, *document, loop, *pool, *log,
                                                      prompter, jobEnv);
    }

    void TearDown() override {
        session.reset();
        pool.reset();
    }

    static bool HaveNginx() { return nginx != nullptr; }
    static std::string Nginx(const std::string& path) { return nginx->Url(path); }
    // Runs work on a thread of its own while this thread runs the main loop.
    void WhileLoopRuns(const std::function<void()>& work,
                       std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::atomic<bool> done{false};
        std::thread caller([&] {
            work();
            done = true;
        });
        loop.RunUntil([&] { return done.load(); }, limit);
        caller.join();
    }
    // The body of an answer as JSON (null when it is not JSON).
    static nlohmann::json Json(const std::string& body) {
        return nlohmann::json::parse(body, nullptr, false);
    }
    static nlohmann::json Json(const ApiResponse& response) { return Json(response.Text()); }

    static inline std::unique_ptr<NginxServer> nginx;
    TrafficMeter meter;
    std::shared_ptr<JobEnvironment> jobEnv;
    std::unique_ptr<WorkerPool> pool;
    std::unique_ptr<SessionController> session;
};

// The API called directly, as the server's threads call it.
class RemoteApiTest : public RemoteHomeTest {
protected:
    void SetUp() override {
        RemoteHomeTest::SetUp();
        api = std::make_unique<RemoteApi>(RemoteTargets{settings, *document, *session, *log, loop},
                                          hub);
        events = hub.Subscribe();
    }
    void TearDown() override {
        api.reset();
        RemoteHomeTest::TearDown();
    }

    // One request on a thread of its own while this thread runs the main loop.
    ApiResponse Call(const std::string& method, const std::string& target,
                     const std::string& body = "", bool fromLoopback = true) {
        ApiResponse response;
        WhileLoopRuns([&] { response = api->Handle(Request(method, target, body, fromLoopback)); });
        return response;
    }
    static ApiRequest Request(const std::string& method, const std::string& target,
                              const std::string& body, bool fromLoopback) {
        ApiRequest request{method, target, {}, body, fromLoopback};
        const std::size_t mark = target.find('?');
        if (mark != std::string::npos) {
            request.path = target.substr(0, mark);
            const std::string query = target.substr(mark + 1);
            const std::size_t eq = query.find('=');
            request.query[query.substr(0, eq)] = query.substr(eq + 1);
        }
        return request;
    }
    // Adds items by the API; their ids.
    std::vector<RowId> AddUrls(const nlohmann::json& body, bool fromLoopback = true) {
        const ApiResponse r = Call("POST", "/api/v1/items", body.dump(), fromLoopback);
        EXPECT_EQ(r.status, 201) << r.body;
        std::vector<RowId> ids;
        for (const auto& id : Json(r).value("ids", nlohmann::json::array()))
            ids.push_back(id.get<RowId>());
        return ids;
    }
    nlohmann::json Item(RowId id) {
        return Json(Call("GET", "/api/v1/items/" + std::to_string(id)));
    }

    // Runs the main loop until the stream has an event of this name whose data has the key
    // with the value; false when none came within the limit.
    bool WaitForEvent(const std::string& name, const std::string& key, const nlohmann::json& value,
                      std::chrono::seconds limit = std::chrono::seconds(30)) {
        return loop.RunUntil(
            [&] {
                while (auto event = events->Next(std::chrono::milliseconds(0))) {
                    seen.push_back(*event);
                    const nlohmann::json data = nlohmann::json::parse(event->data, nullptr, false);
                    if (event->name == name && data.is_object() &&
                        data.value(key, nlohmann::json()) == value)
                        return true;
                }
                return false;
            },
            limit);
    }

    EventHub hub;
    std::unique_ptr<RemoteApi> api;
    std::shared_ptr<EventHub::Subscription> events;
    std::vector<HubEvent> seen;
};

}  // namespace kov::test
