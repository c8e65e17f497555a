#include <curl/curl.h>
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_util.h"
#include "remote_api_fixture.h"
#include "web_control/remote_control.h"

namespace kov {
namespace {

using nlohmann::json;

struct HttpResult {
    long status = 0;
    std::string body;
};

// Remote control as a program runs it, called over HTTP with libcurl.
class RemoteHttpTest : public test::RemoteHomeTest {
protected:
    void SetUp() override {
        if (!HaveNginx()) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed";
        settings.remote.Enabled = 1;
        settings.remote.Address = "127.0.0.1";
        settings.remote.Port = 0;  // a free one
        RemoteHomeTest::SetUp();
        control = std::make_unique<RemoteControl>(
            RemoteTargets{settings, *document, *session, *log, loop}, "", Home("token"));
        ASSERT_TRUE(control->Start());
        ASSERT_TRUE(control->Running());
        RemoteToken token(Home("token"));
        ASSERT_TRUE(token.Load());
        bearer = "Authorization: Bearer " + token.Value();
    }
    void TearDown() override {
        control.reset();
        RemoteHomeTest::TearDown();
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(control->Port()) + path;
    }

    // One request on this thread (the main loop must run elsewhere or not be needed).
    HttpResult Send(const std::string& method, const std::string& path,
                    const std::string& body = "", std::vector<std::string> headers = {}) const {
        CURL* curl = curl_easy_init();
        HttpResult result;
        curl_slist* list = nullptr;
        if (headers.empty()) headers.push_back(bearer);
        headers.push_back("Content-Type: application/json");
        for (const std::string& h : headers)
            list = curl_slist_append(list, h.c_str());
        const std::string url = Url(path);
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        if (!body.empty() || method == "POST") {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        }
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
        if (curl_easy_perform(curl) == CURLE_OK)
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
        curl_slist_free_all(list);
        curl_easy_cleanup(curl);
        return result;
    }
    // The same while this thread runs the main loop.
    HttpResult Call(const std::string& method, const std::string& path,
                    const std::string& body = "", std::vector<std::string> headers = {}) {
        HttpResult result;
        WhileLoopRuns([&] { result = Send(method, path, body, std::move(headers)); });
        return result;
    }

    static std::size_t Append(char* data, std::size_t size, std::size_t n, void* out) {
        static_cast<std::string*>(out)->append(data, size * n);
        return size * n;
    }

    std::unique_ptr<RemoteControl> control;
    std::string bearer;
};

// Reads /api/v1/events on a thread of its own until stopped.
class EventReader {
public:
    EventReader(const std::string& url, const std::string& bearer) {
        m_thread = std::thread([this, url, bearer] {
            CURL* curl = curl_easy_init();
            curl_slist* list = curl_slist_append(nullptr, bearer.c_str());
            curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
            curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Take);
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
            curl_easy_perform(curl);
            curl_slist_free_all(list);
            curl_easy_cleanup(curl);
        });
    }
    ~EventReader() {
        m_stop = true;
        m_thread.join();
    }
    bool Has(const std::string& text) const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_text.find(text) != std::string::npos;
    }

private:
    static std::size_t Take(char* data, std::size_t size, std::size_t n, void* self) {
        auto* reader = static_cast<EventReader*>(self);
        if (reader->m_stop) return 0;  // ends the transfer
        std::lock_guard<std::mutex> hold(reader->m_lock);
        reader->m_text.append(data, size * n);
        return size * n;
    }

    mutable std::mutex m_lock;
    std::string m_text;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The file's digest, in hex as sha256sum prints it.
std::string Sha256Hex(const std::string& data) {
    unsigned char digest[32];
    std::size_t length = 0;
    EVP_Q_digest(nullptr, "SHA256", nullptr, data.data(), data.size(), digest, &length);
    std::string hex;
    for (std::size_t i = 0; i < length; ++i)
        hex += "0123456789abcdef"[digest[i] >> 4], hex += "0123456789abcdef"[digest[i] & 15];
    return hex;
}

TEST_F(RemoteHttpTest, AUrlAddedOverHttpIsDownloadedWhileTheStreamFollows) {
    EventReader events(Url("/api/v1/events"), bearer);
    const HttpResult added = Call(
        "POST", "/api/v1/items", json{{"urls", {Nginx("/slow/big")}}, {"dest", Home("dl")}}.dump());
    ASSERT_EQ(added.status, 201) << added.body;
    const RowId id = Json(added.body)["ids"][0].get<RowId>();
    const json items = Json(Call("GET", "/api/v1/items").body);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]["id"], id);
    ASSERT_EQ(Call("POST", "/api/v1/session/start").status, 202);
    ASSERT_TRUE(
        loop.RunUntil([&] { return events.Has(R"("state":"ended")"); }, std::chrono::seconds(60)));
    EXPECT_TRUE(events.Has("event: progress"));
    EXPECT_TRUE(events.Has(R"("state":"done")"));
    EXPECT_EQ(Sha256Hex(ReadFile(Home("dl/big")).value_or("")),
              Sha256Hex(std::string(kSlowSize, 's')));
    const json item = Json(Call("GET", "/api/v1/items/" + std::to_string(id)).body);
    EXPECT_EQ(item["state"], "done");
    EXPECT_EQ(item["bytes"], kSlowSize);
}

struct HttpRefusal {
    const char* what;
    const char* method;
    const char* path;
    std::string body;
    std::vector<std::string> headers;  // empty: the right token
    long status;
};

TEST_F(RemoteHttpTest, EveryRefusalHoldsOverHttp) {
    const std::string host = "Host: 127.0.0.1:" + std::to_string(control->Port());
    const HttpRefusal cases[] = {
        {"no token", "GET", "/api/v1/items", "", {"X-None: 1"}, 401},
        {"wrong token",
         "GET",
         "/api/v1/items",
         "",
         {"Authorization: Bearer " + std::string(64, 'a')},
         401},
        {"foreign host", "GET", "/api/v1/items", "", {bearer, "Host: evil.example"}, 403},
        {"foreign origin",
         "POST",
         "/api/v1/items",
         R"({"urls": ["http://a/"]})",
         {bearer, "Origin: http://evil.example"},
         403},
        {"2 MB body", "POST", "/api/v1/items", std::string(2 << 20, ' '), {}, 413},
        {"bad JSON", "POST", "/api/v1/items", "{", {}, 400},
        {"unknown item", "GET", "/api/v1/items/999", "", {}, 404},
        {"bad URL", "POST", "/api/v1/items", R"({"urls": ["gopher://x/"]})", {}, 400},
    };
    for (const HttpRefusal& c : cases) {
        const HttpResult r = Call(c.method, c.path, c.body, c.headers);
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.body;
    }
    EXPECT_EQ(document->Rows().Count(), 0u);
}

TEST_F(RemoteHttpTest, AListSwitchDuringASessionIsAConflict) {
    const HttpResult added = Call(
        "POST", "/api/v1/items", json{{"urls", {Nginx("/slow/big")}}, {"dest", Home("dl")}}.dump());
    ASSERT_EQ(added.status, 201);
    ASSERT_EQ(Call("POST", "/api/v1/session/start").status, 202);
    const HttpResult r = Call("POST", "/api/v1/lists/current", R"({"list": 2})");
    EXPECT_EQ(r.status, 409) << r.body;
    EXPECT_EQ(Json(r.body)["error"], "session running");
    ASSERT_EQ(Call("POST", "/api/v1/session/stop", R"({"now": true})").status, 202);
    ASSERT_TRUE(loop.RunUntil([&] { return session->State() == SessionState::Idle; }));
}

TEST_F(RemoteHttpTest, AHundredClientsAtOnceWhileAThousandFilesDownload) {
    settings.newUrl.PutNewToQueue = 1;  // what the clients add joins the running session
    std::vector<std::string> urls;
    for (int i = 0; i < 1000; ++i)
        urls.push_back(
            Nginx("/files/f" + std::to_string(i % 3 + 1) + ".txt?n=" + std::to_string(i)));
    ASSERT_EQ(
        Call("POST", "/api/v1/items", json{{"urls", urls}, {"dest", Home("many")}}.dump()).status,
        201);
    EventReader events(Url("/api/v1/events"), bearer);
    ASSERT_EQ(Call("POST", "/api/v1/session/start").status, 202);

    constexpr int kClients = 100;
    std::atomic<int> finished{0};
    std::atomic<int> failures{0};
    std::vector<RowId> ids(kClients, 0);
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            const std::string url = Nginx("/files/f2.txt?client=" + std::to_string(c));
            const HttpResult r = Send("POST", "/api/v1/items", json{{"urls", {url}}}.dump());
            const HttpResult status = Send("GET", "/api/v1/status");
            const json body = Json(r.body);
            if (r.status != 201 || status.status != 200 || !body.contains("ids")) {
                ++failures;
            } else {
                ids[c] = body["ids"][0].get<RowId>();
            }
            ++finished;
        });
    }
    ASSERT_TRUE(loop.RunUntil([&] { return finished == kClients; }, std::chrono::seconds(120)));
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(failures, 0);
    ASSERT_TRUE(
        loop.RunUntil([&] { return events.Has(R"("state":"ended")"); }, std::chrono::seconds(180)));
    std::set<RowId> listed;
    for (const json& item : Json(Call("GET", "/api/v1/items").body)) {
        listed.insert(item["id"].get<RowId>());
        EXPECT_EQ(item["state"], "done") << item;
    }
    EXPECT_EQ(listed.size(), 1000u + kClients);
    for (RowId id : ids)
        EXPECT_TRUE(listed.count(id)) << id;
}

}  // namespace
}  // namespace kov
