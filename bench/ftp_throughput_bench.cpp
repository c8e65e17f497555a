// Throughput of one FTP download from vsftpd on loopback against curl (passive mode, a fresh
// control connection per run for both). Runs alternate between the tools; medians of wall and
// CPU time are reported with the ratios to curl.
//
// Usage: ftp_throughput_bench [SIZE_MIB (default 200)] [ROUNDS (default 5)]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench_util.h"
#include "net/ftp_client.h"
#include "net/ftp_fetch.h"
#include "net/traffic_meter.h"
#include "platform/file_util.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using kov::bench::HaveTool;
using kov::bench::MakeFile;
using kov::bench::Median;
using kov::bench::Seconds;
using kov::bench::ThreadCpu;

struct Sample {
    double wall = 0;
    double cpu = 0;
};

bool RunKov(int port, const std::string& path, kov::TrafficMeter& meter, Sample& sample) {
    std::remove(path.c_str());
    const auto start = Clock::now();
    const double cpu = ThreadCpu();
    kov::FtpClient client;
    if (!client.Connect("127.0.0.1", port) || !client.Login("", "")) return false;
    client.SetDataMode(kov::FtpDataMode::Passive);
    kov::HttpFetchJob job;
    job.meter = &meter;
    job.isLocal = true;
    const int result = kov::FetchFtp(client, "/big.bin", path, job);
    client.Quit();
    sample.wall = std::chrono::duration<double>(Clock::now() - start).count();
    sample.cpu = ThreadCpu() - cpu;
    return result == kov::kResultOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') args.emplace_back(argv[i]);
    }
    const std::size_t mib = args.size() > 0 ? std::strtoul(args[0].c_str(), nullptr, 10) : 200;
    const int rounds = args.size() > 1 ? std::atoi(args[1].c_str()) : 5;
    if (!kov::test::VsftpdServer::Available()) {
        std::fprintf(stderr, "vsftpd is not installed, or this is not run as root\n");
        return 1;
    }
    kov::test::VsftpdServer server;
    if (!server.WriteFile("placeholder.txt", "x") || !MakeFile(server.Root() + "/big.bin", mib) ||
        !server.Start()) {
        std::fprintf(stderr, "cannot start vsftpd: %s\n", server.Log().c_str());
        return 1;
    }
    kov::test::TempDir dir;
    const std::string out = dir.File("out.bin");
    const std::string url = server.Url("/big.bin");

    std::map<std::string, std::function<bool(Sample&)>> tools;
    kov::TrafficMeter meter;
    tools["kov"] = [&](Sample& s) { return RunKov(server.Port(), out, meter, s); };
    if (!HaveTool("curl")) {
        std::fprintf(stderr, "curl is not installed\n");
        return 1;
    }
    tools["curl"] = [&](Sample& s) {
        const kov::bench::ChildRun run = kov::bench::RunChild({"curl", "-s", "-o", out, url});
        s.wall = run.wall;
        s.cpu = run.cpu;
        return run.ok;
    };

    std::map<std::string, std::vector<double>> wall, cpu;
    for (int round = 0; round < rounds; ++round) {
        for (auto& [name, run] : tools) {
            Sample s;
            if (!run(s) || kov::FileSize(out).value_or(0) != static_cast<std::int64_t>(mib << 20)) {
                std::fprintf(stderr, "%s failed in round %d\n", name.c_str(), round + 1);
                return 1;
            }
            wall[name].push_back(s.wall);
            cpu[name].push_back(s.cpu);
        }
    }
    std::printf("FTP download of %zu MiB from vsftpd on loopback, %d rounds, medians:\n", mib,
                rounds);
    std::printf("%-8s %9s %9s %11s %11s\n", "tool", "wall s", "cpu s", "wall/curl", "cpu/curl");
    const double curlWall = Median(wall["curl"]);
    const double curlCpu = Median(cpu["curl"]);
    for (auto& [name, samples] : wall) {
        const double w = Median(samples);
        const double c = Median(cpu[name]);
        std::printf("%-8s %9.3f %9.3f %11.2f %11.2f\n", name.c_str(), w, c,
                    curlWall > 0 ? w / curlWall : 0, curlCpu > 0 ? c / curlCpu : 0);
    }
    return 0;
}
