// The remote API's reads through the real server while a list of 10,000 items is open: the
// latency of GET /api/v1/status and GET /api/v1/items, first with no session, then while a
// session of 1,000 files from nginx on loopback runs (started again whenever it ends). The
// main loop runs on a thread of its own, as in the programs; the requests come one after the
// other from a libcurl handle that keeps its connection. The target: p99 under 20 ms.
//
// Usage: remote_items_bench [requests per figure (default 300)]

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "remote_bench_program.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kov;

constexpr int kFiles = 1000;
constexpr int kItems = 10000;

std::size_t Discard(char*, std::size_t size, std::size_t n, void*) {
    return size * n;
}

struct Figures {
    double p50 = 0, p99 = 0, max = 0;
    int failed = 0;
};

Figures Measure(CURL* curl, const std::string& url, int requests) {
    std::vector<double> ms;
    Figures f;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    for (int i = 0; i < requests; ++i) {
        const auto start = Clock::now();
        long status = 0;
        if (curl_easy_perform(curl) == CURLE_OK)
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (status != 200) ++f.failed;
    }
    std::sort(ms.begin(), ms.end());
    f.p50 = ms[ms.size() / 2];
    f.p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    f.max = ms.back();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const int requests = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    bench::RemoteBenchSetup setup(kItems, kFiles);
    if (!setup.Ready()) return 1;
    bench::RemoteBenchProgram& program = setup.Program();

    CURL* curl = curl_easy_init();
    const std::string bearer = "Authorization: Bearer " + setup.Token();
    curl_slist* headers = curl_slist_append(nullptr, bearer.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const std::string base = setup.Url("/api/v1/");

    std::printf("%d items in the list, %d requests per figure\n", kItems, requests);
    std::printf("%-8s %-10s %9s %9s %9s %7s\n", "GET", "session", "p50 ms", "p99 ms", "max ms",
                "failed");
    for (const bool running : {false, true}) {
        program.KeepSessionRunning(running);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        for (const char* path : {"status", "items"}) {
            const Figures f =
                Measure(curl, base + path, path == std::string("items") ? requests / 3 : requests);
            std::printf("%-8s %-10s %9.2f %9.2f %9.2f %7d\n", path, running ? "running" : "idle",
                        f.p50, f.p99, f.max, f.failed);
        }
    }
    std::printf("sessions run meanwhile: %ld\n", program.Sessions());
    program.KeepSessionRunning(false);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return 0;
}
