// The remote API's reads through the real server while a list of 10,000 items is open: the
// latency of GET /api/v1/status and GET /api/v1/items, first with no session, then while a
// session of 1,000 files from nginx on loopback runs (started again whenever it ends). The
// main loop runs on a thread of its own, as in the programs; the requests come one after the
// other from a libcurl handle that keeps its connection. The target: p99 under 20 ms. Beside
// the whole request, the p99 of the time to the answer's first byte (what the server took
// before it sent) tells the server's part from the transfer's.
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
    double p50 = 0, p99 = 0, max = 0, firstByteP99 = 0;
    int failed = 0;
};

// The nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& sorted, int percent) {
    const std::size_t rank = (sorted.size() * percent + 99) / 100;
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

Figures Measure(CURL* curl, const std::string& url, int requests) {
    std::vector<double> ms, firstByte;
    Figures f;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    for (int i = 0; i < requests; ++i) {
        const auto start = Clock::now();
        long status = 0;
        if (curl_easy_perform(curl) == CURLE_OK)
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        double seconds = 0;
        curl_easy_getinfo(curl, CURLINFO_STARTTRANSFER_TIME, &seconds);
        firstByte.push_back(seconds * 1000);
        if (status != 200) ++f.failed;
    }
    std::sort(ms.begin(), ms.end());
    std::sort(firstByte.begin(), firstByte.end());
    f.p50 = Percentile(ms, 50);
    f.p99 = Percentile(ms, 99);
    f.max = ms.back();
    f.firstByteP99 = Percentile(firstByte, 99);
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
    std::printf("%-8s %-10s %9s %9s %9s %12s %7s\n", "GET", "session", "p50 ms", "p99 ms", "max ms",
                "1st byte p99", "failed");
    for (const bool running : {false, true}) {
        program.KeepSessionRunning(running);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        for (const char* path : {"status", "items"}) {
            const Figures f = Measure(curl, base + path, requests);
            std::printf("%-8s %-10s %9.2f %9.2f %9.2f %12.2f %7d\n", path,
                        running ? "running" : "idle", f.p50, f.p99, f.max, f.firstByteP99,
                        f.failed);
        }
    }
    std::printf("sessions run meanwhile: %ld\n", program.Sessions());
    program.KeepSessionRunning(false);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return 0;
}
