#pragma once

// Small helpers shared by the benchmark programs that compare Kov with other tools.

#include <fcntl.h>
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
#include <utility>
#include <vector>

namespace kov::bench {

// How one run of a child program went; the rusage comes from wait4, so it covers only it.
struct ChildRun {
    bool ok = false;
    int exitCode = -1;
    double wall = 0;
    double cpu = 0;
    long maxRssKib = 0;
};

inline double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// CPU time of the calling thread so far.
inline double ThreadCpu() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// Writes mib MiB of pseudo-random bytes (the same every time; each MiB differs in its first
// byte) to path.
inline bool MakeFile(const std::string& path, std::size_t mib) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    unsigned seed = 12345;
    for (auto& c : block) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    for (std::size_t i = 0; i < mib && out; ++i) {
        block[0] = static_cast<char>(i);
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return static_cast<bool>(out);
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

inline bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs argv with the proxy variables removed and the given variables set; standard output and
// error go to outputFile.
inline ChildRun RunChild(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& env = {},
                         const std::string& outputFile = "/dev/null") {
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return run;
    if (pid == 0) {
        for (const char* name :
             {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
              "HTTPS_PROXY", "FTP_PROXY", "ALL_PROXY", "NO_PROXY"}) {
            unsetenv(name);
        }
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        const int fd = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            close(fd);
        }
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.maxRssKib = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// Wall and CPU time of one run.
struct Sample {
    double wall = 0;
    double cpu = 0;
};
using Tool = std::function<bool(Sample&)>;

// The arguments that are not options (those are meant for the Google Benchmark programs).
inline std::vector<std::string> PlainArgs(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') args.emplace_back(argv[i]);
    }
    return args;
}

// A child program's run as a tool of CompareTools.
inline bool RunTool(const std::vector<std::string>& argv, Sample& sample) {
    const ChildRun run = RunChild(argv);
    sample.wall = run.wall;
    sample.cpu = run.cpu;
    return run.ok;
}

// Runs every tool rounds times, the tools taking turns; a run counts when the tool succeeds
// and delivered() agrees. Prints title and the medians with their ratios to "curl". False
// (with a message) when a run failed.
inline bool CompareTools(const std::map<std::string, Tool>& tools, int rounds,
                         const std::function<bool()>& delivered, const std::string& title) {
    std::map<std::string, std::vector<double>> wall, cpu;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& [name, run] : tools) {
            Sample s;
            if (!run(s) || !delivered()) {
                std::fprintf(stderr, "%s failed in round %d\n", name.c_str(), round + 1);
                return false;
            }
            wall[name].push_back(s.wall);
            cpu[name].push_back(s.cpu);
        }
    }
    std::printf("%s, %d rounds, medians:\n", title.c_str(), rounds);
    std::printf("%-8s %9s %9s %11s %11s\n", "tool", "wall s", "cpu s", "wall/curl", "cpu/curl");
    const double curlWall = Median(wall["curl"]);
    const double curlCpu = Median(cpu["curl"]);
    for (const auto& [name, samples] : wall) {
        const double w = Median(samples);
        const double c = Median(cpu[name]);
        std::printf("%-8s %9.3f %9.3f %11.2f %11.2f\n", name.c_str(), w, c,
                    curlWall > 0 ? w / curlWall : 0, curlCpu > 0 ? c / curlCpu : 0);
    }
    return true;
}

}  // namespace kov::bench
