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
#include "net/ftp/ftp_client.h"
#include "net/ftp/ftp_fetch.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using kov::bench::HaveTool;
using kov::bench::MakeFile;
using kov::bench::RunTool;
using kov::bench::Sample;
using kov::bench::ThreadCpu;

bool RunKov(int port, const std::string& path, kov::TrafficMeter& meter, Sample& sample) {
    std::remove(path.c_str());
    const auto start = Clock::now();
    const double cpu = ThreadCpu();
    kov::FtpClient client;
    if (!client.Connect("127.0.0.1", port) || !client.Login("", "")) return false;
    client.SetDataMode(kov::FtpDataMode::Passive);
    kov::TransferJob job;
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
    const std::vector<std::string> args = kov::bench::PlainArgs(argc, argv);
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

    std::map<std::string, kov::bench::Tool> tools;
    kov::TrafficMeter meter;
    tools["kov"] = [&](Sample& s) { return RunKov(server.Port(), out, meter, s); };
    if (!HaveTool("curl")) {
        std::fprintf(stderr, "curl is not installed\n");
        return 1;
    }
    tools["curl"] = [&](Sample& s) { return RunTool({"curl", "-s", "-o", out, url}, s); };

    const auto delivered = [&] {
        return kov::FileSize(out).value_or(0) == static_cast<std::int64_t>(mib << 20);
    };
    if (!kov::bench::CompareTools(
            tools, rounds, delivered,
            "FTP download of " + std::to_string(mib) + " MiB from vsftpd on loopback"))
        return 1;
    return 0;
}
