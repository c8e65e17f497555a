// Throughput of one HTTP download from nginx on loopback, against curl, wget and aria2c (single
// connection), and the accuracy of the speed limit. Runs alternate between the tools; medians
// of wall and CPU time are reported with the ratios to curl.
//
// Usage: http_throughput_bench [SIZE_MIB (default 1024)] [ROUNDS (default 5)]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "net/http/http_download.h"
#include "net/http/inet.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

using kov::bench::HaveTool;
using kov::bench::MakeFile;
using kov::bench::RunTool;
using kov::bench::Sample;
using kov::bench::ThreadCpu;

bool RunFetch(const std::string& url, const std::string& path, kov::TrafficMeter& meter,
              Sample& sample, std::uint64_t* received = nullptr) {
    std::remove(path.c_str());
    const auto start = Clock::now();
    const double cpu = ThreadCpu();
    auto session = kov::InternetSession::Create("kov-bench", kov::AccessType::Direct);
    kov::TransferJob job;
    job.session = session.get();
    job.meter = &meter;
    job.isLocal = true;
    std::string local = path;
    kov::ResourceInfo info;
    const int result = kov::FetchHttp(url, local, 0, 0, {}, &info, job);
    sample.wall = std::chrono::duration<double>(Clock::now() - start).count();
    sample.cpu = ThreadCpu() - cpu;
    if (received) *received = info.size;
    return result == kov::kResultOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = kov::bench::PlainArgs(argc, argv);
    const std::size_t mib = args.size() > 0 ? std::strtoul(args[0].c_str(), nullptr, 10) : 1024;
    const int rounds = args.size() > 1 ? std::atoi(args[1].c_str()) : 5;
    kov::InternetGlobalInit();
    if (!kov::test::NginxServer::Available()) {
        std::fprintf(stderr, "nginx is not installed\n");
        return 1;
    }
    kov::test::NginxServer nginx;
    if (!MakeFile(nginx.DocRoot() + "/big.bin", mib) || !kov::test::NginxServer::Available() ||
        !nginx.WriteFile("small.bin", "") || !MakeFile(nginx.DocRoot() + "/5mib.bin", 5) ||
        !nginx.Start()) {
        std::fprintf(stderr, "cannot start nginx: %s\n", nginx.ErrorLog().c_str());
        return 1;
    }
    kov::test::TempDir dir;
    const std::string url = nginx.Url("/big.bin");
    const std::string out = dir.File("out.bin");

    std::map<std::string, kov::bench::Tool> tools;
    kov::TrafficMeter meter;
    tools["kov"] = [&](Sample& s) { return RunFetch(url, out, meter, s); };
    if (HaveTool("curl")) {
        tools["curl"] = [&](Sample& s) { return RunTool({"curl", "-s", "-o", out, url}, s); };
    }
    if (HaveTool("wget")) {
        tools["wget"] = [&](Sample& s) { return RunTool({"wget", "-q", "-O", out, url}, s); };
    }
    if (HaveTool("aria2c")) {
        tools["aria2c"] = [&](Sample& s) {
            std::remove(out.c_str());
            return RunTool({"aria2c", "-q", "-x1", "-s1", "--file-allocation=none",
                            "--allow-overwrite=true", "-d", dir.path(), "-o", "out.bin", url},
                           s);
        };
    }

    const auto delivered = [&] {
        return kov::FileSize(out).value_or(0) == static_cast<std::int64_t>(mib << 20);
    };
    if (!kov::bench::CompareTools(
            tools, rounds, delivered,
            "Download of " + std::to_string(mib) + " MiB from nginx on loopback"))
        return 1;

    // The speed limit: 200 KB/s over 5 MiB, the meter's period ended once a second as the
    // session controller does.
    kov::TrafficMeter limited;
    limited.SetLimits(200 * 1024, 200 * 1024, true);
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        auto next = Clock::now();
        while (!done) {
            next += std::chrono::seconds(1);
            std::this_thread::sleep_until(next);
            limited.TakePeriod();
        }
    });
    Sample s;
    std::uint64_t bytes = 0;
    const bool ok = RunFetch(nginx.Url("/5mib.bin"), out, limited, s, &bytes);
    done = true;
    ticker.join();
    const double rate = static_cast<double>(bytes) / s.wall;
    std::printf("Speed limit 200 KB/s over 5 MiB: %s, %.1f s, %.1f KB/s (%+.1f %%)\n",
                ok ? "ok" : "FAILED", s.wall, rate / 1024, (rate / (200 * 1024) - 1) * 100);
    return ok ? 0 : 1;
}
