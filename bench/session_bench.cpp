// Whole sessions of kov-cli (`kov-cli -a`) against nginx on loopback:
//   1. one 1 GiB item against `curl -s -o`: wall and CPU time of the child, ratios to curl;
//   2. 1,000 files of 10 KB with MaxThreads 8 against `curl --parallel --parallel-max 8` and
//      `wget -i`: files per second, wall and CPU time; then requests in nginx's access log for one
//      more kov run over the unchanged files (one request per file is the target);
//   3. 10,000 files of 1 KB with MaxThreads 8: peak memory (ru_maxrss) and wall time.
// Runs alternate between the tools (with the small files each round starts with the next tool, and
// no folder is deleted while runs are timed); medians over the rounds are reported. Every child
// runs with the proxy variables removed from its environment.
//
// Usage: session_bench [KOV_CLI_PATH [files [OTHER_KOV_CLI]]] (default: ../app/kov-cli/kov-cli
// beside this program; "files" runs only the second part, OTHER_KOV_CLI takes its turn there
// too, as "kov-cli other", to compare two builds in one run)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;
constexpr int kFileRounds = 5;  // short runs on a loaded machine need more of them
constexpr std::uintmax_t kBigSize = std::uintmax_t{1} << 30;
constexpr int kSmallCount = 1000;
constexpr std::size_t kSmallSize = 10 * 1000;
constexpr int kTinyCount = 10000;
constexpr std::size_t kTinySize = 1000;
constexpr int kThreads = 8;

using Sample = kov::bench::ChildRun;
using kov::bench::Median;

bool Have(const std::string& tool) {
    return kov::bench::HaveTool(tool);
}

Sample Run(const std::vector<std::string>& argv,
           const std::vector<std::pair<std::string, std::string>>& env,
           const std::string& outputFile) {
    return kov::bench::RunChild(argv, env, outputFile);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The last lines of a child's output, for failure messages.
std::string Tail(const std::string& path, std::size_t lines = 15) {
    const std::string text = ReadFile(path);
    std::size_t pos = text.size();
    for (std::size_t n = 0; n <= lines && pos > 0;) {
        pos = text.rfind('\n', pos - 1);
        if (pos == std::string::npos) return text;
        ++n;
    }
    return text.substr(pos + 1);
}

void ClearFolder(const std::string& path) {
    std::error_code error;
    fs::remove_all(path, error);
    fs::create_directories(path, error);
}

// Gives each timed run an empty folder without deleting anything while runs are timed: ext4
// without a journal keeps freshly deleted inodes out of use for a minute and steps over each of
// them on every file it creates, so a run right after a deletion pays for the files of the
// runs before it. The old folders wait under aside and go when the timed runs are over.
class FreshFolder {
public:
    FreshFolder(std::string path, std::string aside)
        : m_path(std::move(path)), m_aside(std::move(aside)) {
        std::error_code error;
        fs::create_directories(m_aside, error);
    }
    ~FreshFolder() { Drop(); }
    FreshFolder(const FreshFolder&) = delete;
    FreshFolder& operator=(const FreshFolder&) = delete;

    void Renew() {
        std::error_code error;
        if (fs::exists(m_path, error))
            fs::rename(m_path, m_aside + "/" + std::to_string(++m_count), error);
        fs::create_directories(m_path, error);
    }
    void Drop() {
        std::error_code error;
        fs::remove_all(m_aside, error);
        fs::create_directories(m_aside, error);
    }

private:
    std::string m_path;
    std::string m_aside;
    int m_count = 0;
};

// Names of the expected files that are missing or have the wrong size.
std::vector<std::string> Missing(const std::string& folder, const std::vector<std::string>& names,
                                 std::uintmax_t size) {
    std::vector<std::string> missing;
    for (const auto& name : names) {
        std::error_code error;
        if (fs::file_size(folder + "/" + name, error) != size || error) missing.push_back(name);
    }
    return missing;
}

// A program folder for kov-cli with the given number of parallel downloads and a list of
// items that all save into dest.
class KovHome {
public:
    explicit KovHome(int maxThreads) {
        fs::create_directories(m_dir.File("home"));
        fs::create_directories(m_dir.File("config"));
        std::ofstream ini(m_dir.File("home/kov.ini"));
        ini << "[KOV-Main]\nMaxThreads=" << maxThreads << "\n";
    }

    void WriteList(const std::vector<std::string>& urls, const std::vector<std::string>& names,
                   const std::string& dest) const {
        std::ofstream list(m_dir.File("home/Default.ini"), std::ios::trunc);
        for (std::size_t i = 0; i < urls.size(); ++i) {
            list << "[item " << i + 1 << "]\nName=" << names[i] << "\nUrl=" << urls[i]
                 << "\nDest=" << dest << "/\n";
        }
    }

    std::vector<std::pair<std::string, std::string>> Env() const {
        return {{"KOV_HOME", m_dir.File("home")}, {"XDG_CONFIG_HOME", m_dir.File("config")}};
    }

private:
    kov::test::TempDir m_dir;
};

std::string DefaultKovCli() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return "kov-cli";
    return (self.parent_path() / ".." / "app" / "kov-cli" / "kov-cli").lexically_normal().string();
}

void ReportFailure(const std::string& what, const Sample& s, const std::string& outputFile) {
    std::fprintf(stderr, "%s: exit code %d after %.2f s; last output:\n%s\n", what.c_str(),
                 s.exitCode, s.wall, Tail(outputFile).c_str());
}

// Writes count files of size bytes named prefix<N>.bin into the document root.
std::vector<std::string> MakeFiles(const kov::test::NginxServer& nginx, const std::string& folder,
                                   const std::string& prefix, int count, std::size_t size) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>(i * 131 % 251);
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) {
        names.push_back(prefix + std::to_string(i) + ".bin");
        nginx.WriteFile(folder + "/" + names.back(), content);
    }
    return names;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kovCli = argc > 1 ? argv[1] : DefaultKovCli();
    const bool onlyFiles = argc > 2 && std::string(argv[2]) == "files";
    const std::string otherCli = onlyFiles && argc > 3 ? argv[3] : "";
    if (access(kovCli.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "kov-cli not found at %s\n", kovCli.c_str());
        return 1;
    }
    if (!kov::test::NginxServer::Available()) {
        std::fprintf(stderr, "nginx is not installed\n");
        return 1;
    }
    kov::test::NginxServer nginx;
    if (!onlyFiles) {
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 131 % 251);
        std::ofstream out(nginx.DocRoot() + "/big.bin", std::ios::binary);
        for (std::uintmax_t m = 0; m < kBigSize / block.size(); ++m)
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    const std::vector<std::string> smallNames =
        MakeFiles(nginx, "small", "s", kSmallCount, kSmallSize);
    const std::vector<std::string> tinyNames =
        onlyFiles ? std::vector<std::string>{}
                  : MakeFiles(nginx, "tiny", "t", kTinyCount, kTinySize);
    if (!nginx.Start()) {
        std::fprintf(stderr, "nginx did not start:\n%s\n", nginx.ErrorLog().c_str());
        return 1;
    }
    kov::test::TempDir work;
    const std::string out = work.File("out");
    const std::string log = work.File("child.log");
    int status = 0;

    // 1. One 1 GiB item.
    if (!onlyFiles) {
        KovHome home(1);
        home.WriteList({nginx.Url("/big.bin")}, {"big"}, out);
        std::map<std::string, std::vector<double>> wall, cpu;
        long kovRss = 0;
        for (int round = 0; round < kRounds; ++round) {
            ClearFolder(out);
            Sample s = Run({kovCli, "-a"}, home.Env(), log);
            if (!s.ok || !Missing(out, {"big.bin"}, kBigSize).empty()) {
                ReportFailure("kov-cli -a (1 GiB)", s, log);
                return 1;
            }
            wall["kov-cli -a"].push_back(s.wall);
            cpu["kov-cli -a"].push_back(s.cpu);
            kovRss = std::max(kovRss, s.maxRssKib);
            ClearFolder(out);
            s = Run({"curl", "-s", "-o", out + "/big.bin", nginx.Url("/big.bin")}, {}, log);
            if (!s.ok || !Missing(out, {"big.bin"}, kBigSize).empty()) {
                ReportFailure("curl (1 GiB)", s, log);
                return 1;
            }
            wall["curl -s -o"].push_back(s.wall);
            cpu["curl -s -o"].push_back(s.cpu);
        }
        ClearFolder(out);
        const double curlWall = Median(wall["curl -s -o"]);
        const double curlCpu = Median(cpu["curl -s -o"]);
        std::printf("1. One 1 GiB file from nginx on loopback, %d rounds, medians\n", kRounds);
        std::printf("   %-12s %9s %9s %9s %9s %10s\n", "tool", "wall s", "CPU s", "wall x", "CPU x",
                    "MiB/s");
        for (const char* name : {"kov-cli -a", "curl -s -o"}) {
            const double w = Median(wall[name]);
            const double c = Median(cpu[name]);
            std::printf("   %-12s %9.3f %9.3f %9.2f %9.2f %10.0f\n", name, w, c, w / curlWall,
                        c / curlCpu, static_cast<double>(kBigSize) / (1 << 20) / w);
        }
        std::printf("   targets: wall <= 1.20 x, CPU <= 1.50 x curl; kov peak RSS %.1f MiB\n\n",
                    static_cast<double>(kovRss) / 1024);
    }

    // 2. 1,000 files of 10 KB, eight at a time.
    {
        std::vector<std::string> urls;
        for (const auto& name : smallNames)
            urls.push_back(nginx.Url("/small/" + name));
        const std::string urlList = work.File("small-urls.txt");
        const std::string curlConfig = work.File("small-curl.cfg");
        {
            std::ofstream list(urlList);
            std::ofstream config(curlConfig);
            for (std::size_t i = 0; i < urls.size(); ++i) {
                list << urls[i] << "\n";
                config << "url = \"" << urls[i] << "\"\noutput = \"" << out << "/" << smallNames[i]
                       << "\"\n";
            }
        }
        KovHome home(kThreads);
        std::map<std::string, std::vector<double>> wall, cpu;
        std::vector<std::string> order = {"kov-cli -a"};
        if (!otherCli.empty()) order.push_back("kov-cli other");
        if (Have("curl")) order.push_back("curl --parallel");
        if (Have("wget")) order.push_back("wget -i");
        const std::vector<std::string> names = order;
        FreshFolder fresh(out, work.File("aside"));
        std::string loadBefore = ReadFile("/proc/loadavg");
        loadBefore = loadBefore.substr(0, loadBefore.find('\n'));
        for (int round = 0; round < kFileRounds && status == 0; ++round) {
            // Each tool takes each place in the round in turn, so none always follows the same.
            std::rotate(order.begin(), order.begin() + 1, order.end());
            for (const auto& name : order) {
                fresh.Renew();
                Sample s;
                if (name.starts_with("kov-cli")) {
                    // A fresh list each round, so no round sees state saved by the one before.
                    home.WriteList(urls, smallNames, out);
                    s = Run({name == "kov-cli -a" ? kovCli : otherCli, "-a"}, home.Env(), log);
                } else if (name == "curl --parallel") {
                    s = Run({"curl", "-s", "--parallel", "--parallel-max", "8", "-K", curlConfig},
                            {}, log);
                } else {
                    s = Run({"wget", "-q", "-i", urlList, "-P", out}, {}, log);
                }
                const auto missing = Missing(out, smallNames, kSmallSize);
                if (!s.ok || !missing.empty()) {
                    ReportFailure(name + " (1,000 files)", s, log);
                    std::fprintf(stderr, "%zu files missing or short%s%s\n", missing.size(),
                                 missing.empty() ? "" : ", first: ",
                                 missing.empty() ? "" : missing.front().c_str());
                    status = 1;
                    break;
                }
                wall[name].push_back(s.wall);
                cpu[name].push_back(s.cpu);
            }
        }
        fresh.Renew();
        fresh.Drop();
        // One more kov run over the files it has: each should cost exactly one request.
        ClearFolder(out);
        home.WriteList(urls, smallNames, out);
        Sample first = Run({kovCli, "-a"}, home.Env(), log);
        const std::string earlier = nginx.AccessLog();
        const auto before = std::count(earlier.begin(), earlier.end(), '\n');
        Sample second = Run({kovCli, "-a"}, home.Env(), log);
        const std::string access = nginx.AccessLog();
        const auto requests = std::count(access.begin(), access.end(), '\n') - before;
        std::set<std::string> connections;
        {
            std::istringstream lines(access);
            std::string line;
            for (long n = 0; std::getline(lines, line); ++n)
                if (n >= before) connections.insert(line.substr(0, line.find(' ')));
        }
        ClearFolder(out);
        std::printf("2. %d files of %zu bytes, %d at a time (wget: one at a time), %d rounds\n",
                    kSmallCount, kSmallSize, kThreads, kFileRounds);
        // Short runs on two cores: what else ran at the time belongs with the figures.
        std::printf("   load average before the runs: %s\n", loadBefore.c_str());
        std::printf("   %-16s %12s %9s %9s %9s %9s\n", "tool", "files/s", "wall s", "CPU s",
                    "wall x", "CPU x");
        const double curlWall =
            wall["curl --parallel"].empty() ? 0 : Median(wall["curl --parallel"]);
        const double curlCpu = cpu["curl --parallel"].empty() ? 0 : Median(cpu["curl --parallel"]);
        for (const auto& name : names) {
            if (wall[name].empty()) continue;
            const double w = Median(wall[name]);
            const double c = Median(cpu[name]);
            std::printf("   %-16s %12.0f %9.3f %9.3f %9.2f %9.2f\n", name.c_str(), kSmallCount / w,
                        w, c, curlWall > 0 ? w / curlWall : 0, curlCpu > 0 ? c / curlCpu : 0);
        }
        std::printf(
            "   kov-cli -a again over the unchanged files: %ld requests on %zu "
            "connections in %.2f s (target: exactly %d requests)%s\n\n",
            static_cast<long>(requests), connections.size(), second.wall, kSmallCount,
            first.ok && second.ok ? "" : " [a run failed]");
    }

    // 3. 10,000 items of 1 KB, eight at a time: peak memory and wall time.
    if (!onlyFiles) {
        std::vector<std::string> urls;
        for (const auto& name : tinyNames)
            urls.push_back(nginx.Url("/tiny/" + name));
        std::printf("3. kov-cli -a over a list of 1 KB items, %d at a time, one run each\n",
                    kThreads);
        std::printf("   %-8s %12s %9s %12s\n", "items", "peak RSS", "wall s", "items/s");
        for (const int count : {1, kTinyCount}) {
            KovHome home(kThreads);
            const std::vector<std::string> names(tinyNames.begin(), tinyNames.begin() + count);
            home.WriteList(std::vector<std::string>(urls.begin(), urls.begin() + count), names,
                           out);
            ClearFolder(out);
            const Sample s = Run({kovCli, "-a"}, home.Env(), log);
            const auto missing = Missing(out, names, kTinySize);
            if (!s.ok || !missing.empty()) {
                ReportFailure("kov-cli -a (" + std::to_string(count) + " items)", s, log);
                std::fprintf(stderr, "%zu files missing or short\n", missing.size());
                status = 1;
            }
            std::printf("   %-8d %8.1f MiB %9.2f %12.0f\n", count,
                        static_cast<double>(s.maxRssKib) / 1024, s.wall, count / s.wall);
        }
        ClearFolder(out);
    }
    return status;
}
