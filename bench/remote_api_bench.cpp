// The remote-control server under load: latency of GET /api/v1/status and GET /api/v1/items
// (10,000 items) through the real server, alone and beside busy clients, and how many events
// per second one event stream delivers. The routes here answer from prepared JSON, so the
// figures are the server's own share of a request.
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "support/temp_dir.h"
#include "web_control/event_hub.h"
#include "web_control/remote_server.h"
#include "web_control/remote_token.h"

namespace {

using Clock = std::chrono::steady_clock;

nlohmann::json Items(int count) {
    nlohmann::json items = nlohmann::json::array();
    for (int i = 1; i <= count; ++i) {
        items.push_back({{"id", i},
                         {"list", 1},
                         {"index", i},
                         {"name", "file" + std::to_string(i) + ".bin"},
                         {"url", "http://mirror.example/pub/file" + std::to_string(i) + ".bin"},
                         {"dest", "/home/user/Downloads/file" + std::to_string(i) + ".bin"},
                         {"enabled", true},
                         {"state", i % 3 ? "idle" : "done"},
                         {"bytes", i * 1000},
                         {"total", i * 1000},
                         {"speed", 0},
                         {"lastDownload", "2026-12-08T06:00:00"},
                         {"error", nullptr}});
    }
    return items;
}

// One server for the whole program, as a running Kov has.
struct Served {
    kov::test::TempDir dir;
    kov::RemoteToken token{dir.File("token")};
    kov::EventHub hub;
    nlohmann::json items = Items(10'000);
    std::string prepared = items.dump();
    std::unique_ptr<kov::RemoteServer> server;

    Served() {
        token.LoadOrMake();
        kov::RemoteSettings settings;
        settings.Port = 0;
        auto routes = [this](const kov::ApiRequest& request) {
            // "?prepared": the list's JSON made once, to tell the server's share from the dump's.
            if (request.path == "/api/v1/items" && request.query.contains("prepared")) {
                return kov::ApiResponse{200, prepared};
            }
            if (request.path == "/api/v1/items") return kov::ApiResponse::Json(200, items);
            return kov::ApiResponse::Json(
                200, nlohmann::json{{"session", "running"}, {"list", 1}, {"jobs", items.front()}});
        };
        server = std::make_unique<kov::RemoteServer>(settings, token, routes, hub, "");
        server->Start();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server->Port()) + path;
    }
};

Served& Server() {
    static Served served;
    return served;
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// A client that keeps its connection between requests, as a dashboard does.
class Client {
public:
    explicit Client(const std::string& url) : m_curl(curl_easy_init()) {
        m_auth =
            curl_slist_append(nullptr, ("Authorization: Bearer " + Server().token.Value()).c_str());
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_auth);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &Discard);
    }
    ~Client() {
        curl_easy_cleanup(m_curl);
        curl_slist_free_all(m_auth);
    }
    bool Get() {
        long status = 0;
        return curl_easy_perform(m_curl) == CURLE_OK &&
               curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
               status == 200;
    }

private:
    CURL* m_curl;
    curl_slist* m_auth;
};

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(share * static_cast<double>(values.size())))];
}

// state.range(0): other clients asking for the status all the while.
void Latency(benchmark::State& state, const std::string& path) {
    Client client(Server().Url(path));
    std::atomic<bool> done{false};
    std::vector<std::thread> others;
    for (int i = 0; i < state.range(0); ++i) {
        others.emplace_back([&done] {
            Client busy(Server().Url("/api/v1/status"));
            while (!done.load())
                busy.Get();
        });
    }
    std::vector<double> milliseconds;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!client.Get()) state.SkipWithError("request failed");
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    done = true;
    for (auto& other : others)
        other.join();
    state.counters["p50_ms"] = Percentile(milliseconds, 0.50);
    state.counters["p99_ms"] = Percentile(milliseconds, 0.99);
}

void BM_Status(benchmark::State& state) {
    Latency(state, "/api/v1/status");
}
void BM_Items10000(benchmark::State& state) {
    Latency(state, "/api/v1/items");
}
void BM_Items10000Prepared(benchmark::State& state) {
    Latency(state, "/api/v1/items?prepared");
}
BENCHMARK(BM_Status)->Arg(0)->Arg(8)->Iterations(2000)->UseRealTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Items10000)
    ->Arg(0)
    ->Arg(8)
    ->Iterations(100)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Items10000Prepared)
    ->Arg(0)
    ->Arg(8)
    ->Iterations(100)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

struct StreamCount {
    std::size_t events = 0;
    std::size_t dropped = 0;
    std::string tail;  // an event cut in two by the reads
};

std::size_t CountEvents(char* data, std::size_t size, std::size_t count, void* cls) {
    auto& seen = *static_cast<StreamCount*>(cls);
    seen.tail.append(data, size * count);
    std::size_t at = 0;
    for (std::size_t end; (end = seen.tail.find("\n\n", at)) != std::string::npos; at = end + 2) {
        const std::string block = seen.tail.substr(at, end - at);
        if (block.starts_with("event: end")) return 0;  // stop reading
        if (block.starts_with("event: lost")) {
            seen.dropped += std::stoul(block.substr(block.find(':', 20) + 1));
        } else if (block.starts_with("event: ")) {
            ++seen.events;
        }
    }
    seen.tail.erase(0, at);
    return size * count;
}

// state.range(0): events published per second (0: as fast as possible).
void BM_EventStream(benchmark::State& state) {
    const int kEvents = state.range(0) ? 3'000 : 200'000;
    StreamCount seen;
    for (auto _ : state) {
        seen = StreamCount{};
        CURL* curl = curl_easy_init();
        curl_slist* auth =
            curl_slist_append(nullptr, ("Authorization: Bearer " + Server().token.Value()).c_str());
        curl_easy_setopt(curl, CURLOPT_URL, Server().Url("/api/v1/events").c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, auth);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CountEvents);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &seen);
        std::thread reader([curl] { curl_easy_perform(curl); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the stream is open
        const auto start = Clock::now();
        const std::string data = R"({"id":123,"bytes":456789,"total":1000000,"speed":125000})";
        for (int i = 0; i < kEvents; ++i) {
            Server().hub.Publish("progress", data);
            if (state.range(0))
                std::this_thread::sleep_until(
                    start + std::chrono::microseconds(1'000'000LL * i / state.range(0)));
        }
        Server().hub.Publish("end", "{}");
        reader.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        curl_easy_cleanup(curl);
        curl_slist_free_all(auth);
    }
    state.counters["delivered_per_s"] =
        benchmark::Counter(static_cast<double>(seen.events), benchmark::Counter::kIsRate);
    state.counters["delivered"] = static_cast<double>(seen.events);
    state.counters["dropped"] = static_cast<double>(seen.dropped);
}
BENCHMARK(BM_EventStream)
    ->Arg(0)
    ->Arg(1000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
