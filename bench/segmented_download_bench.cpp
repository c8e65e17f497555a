// One file over several connections: 100 MiB from nginx with a limit of 25 MB/s per connection
// (Kov with Connections=8 against aria2c -x8 -s8 -k1M, axel -n 8, and curl over one connection),
// and a large file without a limit (Kov with the default 4 connections and with one, against curl).
// Runs alternate between the tools; medians of wall and CPU time with the ratios to curl.
//
// Usage: segmented_download_bench [LARGE_MIB (default 1024)] [ROUNDS (default 5)]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_util.h"
#include "net/http/http_download.h"
#include "net/http/inet.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

namespace {

using kov::bench::Sample;

double ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return kov::bench::Seconds(usage.ru_utime) + kov::bench::Seconds(usage.ru_stime);
}

// Kov's fetch of url over the given connections; CPU of all its threads.
struct KovRun {
    std::string url;
    std::string path;
    int connections = 1;

    bool operator()(Sample& sample) const {
        std::remove(path.c_str());
        const auto start = std::chrono::steady_clock::now();
        const double cpu = ProcessCpu();
        kov::TrafficMeter meter;
        auto session = kov::InternetSession::Create("kov-bench", kov::AccessType::Direct);
        kov::TransferJob job;
        job.session = session.get();
        job.meter = &meter;
        job.isLocal = true;
        job.connections = connections;
        std::string local = path;
        const int result = kov::FetchHttp(url, local, 0, 0, {}, nullptr, job);
        sample.wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sample.cpu = ProcessCpu() - cpu;
        return result == kov::kResultOk;
    }
};

// Runs the comparison of one file, with the tools that are installed.
bool Compare(const std::string& title, const std::string& url, const std::string& folder,
             std::size_t mib, std::map<int, const char*> kovModes, int rounds, bool aria) {
    const std::string out = folder + "/out.bin";
    std::map<std::string, kov::bench::Tool> tools;
    for (const auto& [connections, name] : kovModes)
        tools[name] = KovRun{url, out, connections};
    if (kov::bench::HaveTool("curl"))
        tools["curl"] = [&](Sample& s) {
            return kov::bench::RunTool({"curl", "-s", "-o", out, url}, s);
        };
    if (aria && kov::bench::HaveTool("aria2c")) {
        tools["aria2c"] = [&](Sample& s) {
            std::remove(out.c_str());
            return kov::bench::RunTool(
                {"aria2c", "-q", "-x8", "-s8", "-k1M", "--file-allocation=none",
                 "--allow-overwrite=true", "-d", folder, "-o", "out.bin", url},
                s);
        };
    }
    if (aria && kov::bench::HaveTool("axel")) {
        tools["axel"] = [&](Sample& s) {
            std::remove(out.c_str());
            return kov::bench::RunTool({"axel", "-q", "-n", "8", "-o", out, url}, s);
        };
    }
    const auto delivered = [&] {
        return kov::FileSize(out).value_or(0) == static_cast<std::int64_t>(mib << 20);
    };
    return kov::bench::CompareTools(tools, rounds, delivered, title);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = kov::bench::PlainArgs(argc, argv);
    const std::size_t large = args.empty() ? 1024 : std::strtoul(args[0].c_str(), nullptr, 10);
    const int rounds = args.size() < 2 ? 5 : std::atoi(args[1].c_str());
    if (!kov::InternetGlobalInit() || !kov::test::NginxServer::Available()) {
        std::fprintf(stderr, "libcurl or nginx is missing\n");
        return 1;
    }
    kov::test::NginxServer nginx;
    nginx.AddLocation("location /rated/ { limit_rate 25m; rewrite ^/rated/(.*)$ /$1 break; }");
    if (!kov::bench::MakeFile(nginx.DocRoot() + "/100mib.bin", 100) ||
        !kov::bench::MakeFile(nginx.DocRoot() + "/large.bin", large) || !nginx.Start()) {
        std::fprintf(stderr, "cannot start nginx: %s\n", nginx.ErrorLog().c_str());
        return 1;
    }
    kov::test::TempDir dir;
    const bool rated = Compare("100 MiB at 25 MB/s per connection", nginx.Url("/rated/100mib.bin"),
                               dir.path(), 100, {{8, "kov-x8"}}, rounds, true);
    const bool whole =
        Compare(std::to_string(large) + " MiB without a limit", nginx.Url("/large.bin"), dir.path(),
                large, {{4, "kov-x4"}, {1, "kov-x1"}}, rounds, false);
    return rated && whole ? 0 : 1;
}
