// Ten files from nginx on loopback with four workers, against aria2c -j4 and
// curl --parallel --parallel-max 4; or ("small") 1,000 files of 10 KB with eight workers
// sharing their connections as a session's jobs do, against the same tools with eight.
// Runs alternate; medians of the wall time are reported.
//
// Usage: parallel_download_bench [FILE_MIB (default 100)] [ROUNDS (default 3)]
//        parallel_download_bench small [ROUNDS (default 5)]

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench_util.h"
#include "engine/download_job.h"
#include "engine/worker_pool.h"
#include "net/http/inet.h"
#include "net/http/shared_connections.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
// What one run moves: files of bytes each, workers at a time.
struct Shape {
    int files = 10;
    std::size_t bytes = std::size_t{100} << 20;
    int workers = 4;
    int rounds = 3;
};

class CountingSink : public kov::JobEventSink {
public:
    void Post(kov::JobEvent event) override {
        if (event.code == 506 && event.param1 != 0) failures++;
    }
    std::atomic<int> failures{0};
};

bool Run(const std::vector<std::string>& argv) {
    return kov::bench::RunChild(argv).ok;
}

using kov::bench::Median;

bool Have(const std::string& tool) {
    return kov::bench::HaveTool(tool);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') args.emplace_back(argv[i]);
    }
    Shape shape;
    if (!args.empty() && args[0] == "small") {
        shape = {1000, 10 * 1000, 8, args.size() > 1 ? std::atoi(args[1].c_str()) : 5};
    } else {
        if (!args.empty()) shape.bytes = std::strtoul(args[0].c_str(), nullptr, 10) << 20;
        if (args.size() > 1) shape.rounds = std::atoi(args[1].c_str());
    }
    const int kFiles = shape.files;
    const std::string workers = std::to_string(shape.workers);
    kov::InternetGlobalInit();
    if (!kov::test::NginxServer::Available()) return 1;
    kov::test::NginxServer nginx;
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 131 % 251);
    for (int f = 0; f < kFiles; ++f) {
        std::ofstream out(nginx.DocRoot() + "/f" + std::to_string(f) + ".bin", std::ios::binary);
        for (std::size_t left = shape.bytes; left > 0;) {
            const std::size_t n = std::min(left, block.size());
            out.write(block.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
    }
    if (!nginx.Start()) return 1;
    kov::test::TempDir dir;
    std::vector<std::string> urls;
    for (int f = 0; f < kFiles; ++f)
        urls.push_back(nginx.Url("/f" + std::to_string(f) + ".bin"));
    {
        std::ofstream list(dir.File("urls.txt"));
        for (const auto& u : urls)
            list << u << "\n";
    }

    kov::AppSettings settings;
    settings.ProxyFromIE = 0;
    kov::TrafficMeter meter;
    CountingSink sink;
    auto env = std::make_shared<kov::JobEnvironment>();
    env->settings = std::make_shared<const kov::AppSettings>(settings);
    env->meter = &meter;
    env->sink = &sink;
    env->startWait = std::chrono::milliseconds(0);
    env->endWait = std::chrono::milliseconds(0);
    env->connections = kov::SharedConnections::Create();

    std::map<std::string, std::vector<double>> wall;
    auto clean = [&] { std::system(("rm -rf '" + dir.path() + "/out'").c_str()); };
    for (int round = 0; round < shape.rounds; ++round) {
        clean();
        auto start = Clock::now();
        {
            kov::WorkerPool pool;
            pool.SetMaxThreads(shape.workers);
            for (int f = 0; f < kFiles; ++f) {
                kov::UrlItem item = kov::FreshItem();
                item.Url = urls[f];
                item.Dest = dir.path() + "/out/";
                pool.Enqueue(std::make_unique<kov::DownloadJob>(item, f + 1, f, env));
            }
            pool.WaitIdle();
        }
        wall["kov"].push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (sink.failures) {
            std::fprintf(stderr, "kov: %d failed transfers\n", sink.failures.load());
            return 1;
        }
        if (Have("aria2c")) {
            clean();
            start = Clock::now();
            if (!Run({"aria2c", "-q", "-j" + workers, "-x1", "-s1", "--file-allocation=none", "-d",
                      dir.path() + "/out", "-i", dir.File("urls.txt")})) {
                return 1;
            }
            wall["aria2c -j" + workers].push_back(
                std::chrono::duration<double>(Clock::now() - start).count());
        }
        if (Have("curl")) {
            clean();
            kov::CreateFolders(dir.path() + "/out");
            std::vector<std::string> cmd = {
                "curl", "-s", "--no-progress-meter", "--parallel", "--parallel-max", workers};
            for (int f = 0; f < kFiles; ++f) {
                cmd.push_back("-o");
                cmd.push_back(dir.path() + "/out/f" + std::to_string(f) + ".bin");
                cmd.push_back(urls[f]);
            }
            start = Clock::now();
            if (!Run(cmd)) return 1;
            wall["curl --parallel"].push_back(
                std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    clean();
    std::printf(
        "%d files of %zu bytes from nginx on loopback, %d at a time, %d rounds, median "
        "wall:\n",
        kFiles, shape.bytes, shape.workers, shape.rounds);
    double best = 0;
    for (const auto& [name, v] : wall) {
        if (name != "kov" && (best == 0 || Median(v) < best)) best = Median(v);
    }
    for (const auto& [name, v] : wall) {
        std::printf("%-16s %8.3f s  %5.2f x the faster tool\n", name.c_str(), Median(v),
                    best > 0 ? Median(v) / best : 0);
    }
    return 0;
}
