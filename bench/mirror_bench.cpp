// Mirroring a documentation site from nginx on loopback: Debian's python3.11-doc HTML, one
// item on index.html with WithLinks 1, WithPics 1 and NestedDepth 2 run by `kov-cli -a`,
// against `wget -r -l2 -p -k -np` on the same start page. The tools take turns; medians of
// the wall times, their ratio, and the files each fetched are reported. Then the ripping
// itself is timed in process over every HTML page of the site: milliseconds per MB of HTML.
//
// Usage: mirror_bench [KOV_CLI_PATH] (default: ../app/kov-cli/kov-cli beside this program)
//        mirror_bench rip (the ripping time only)

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "content/html/html_ripper.h"
#include "platform/file_util.h"
#include "support/nginx_server.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using kov::bench::Median;

constexpr int kRounds = 5;
constexpr const char* kSite = "/usr/share/doc/python3.11/html";

std::string DefaultKovCli() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return "kov-cli";
    return (self.parent_path() / ".." / "app" / "kov-cli" / "kov-cli").lexically_normal().string();
}

int CountFiles(const std::string& folder) {
    int count = 0;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file()) ++count;
    }
    return count;
}

void ClearFolder(const std::string& path) {
    std::error_code error;
    fs::remove_all(path, error);
    fs::create_directories(path, error);
}

// A kov-cli program folder whose list holds the one site item.
void WriteKovHome(const std::string& home, const std::string& url, const std::string& dest) {
    fs::create_directories(home);
    std::ofstream(home + "/kov.ini") << "[KOV-Main]\nMaxThreads=1\nLogDetail=0\n";
    std::ofstream(home + "/Default.ini")
        << "[item 1]\nName=site\nUrl=" << url << "\nDest=" << dest
        << "/\nWithLinks=1\nWithPics=1\nNestedDepth=2\nUpdateMode=1\n";
}

// Every page of the site through the ripper as a job runs it, on copies: ms per MB of HTML.
void TimeRipping() {
    kov::test::TempDir work;
    double seconds = 0;
    std::uintmax_t bytes = 0;
    int pages = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kSite)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".html") continue;
        const std::string copy = work.File("page.html");
        std::error_code error;
        fs::copy_file(entry.path(), copy, fs::copy_options::overwrite_existing, error);
        if (error) continue;
        const std::string url =
            "http://127.0.0.1/py/" + fs::relative(entry.path(), kSite).generic_string();
        const auto start = std::chrono::steady_clock::now();
        kov::HtmlRipper ripper;
        ripper.SetModern(true);
        ripper.SetKinds(255);
        ripper.SetPageHost(url);
        ripper.ResetLinks(copy, url);
        ripper.ParseHtmlFile(copy, url, false);
        ripper.GrabHtmlLinks(copy, url, 0, 0);
        ripper.AdjustCrossRefs(0);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bytes += entry.file_size();
        ++pages;
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("ripping: %d pages, %.1f MB of HTML in %.3f s: %.1f ms per MB\n", pages, mb,
                seconds, mb > 0 ? seconds * 1000 / mb : 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (!fs::exists(std::string(kSite) + "/index.html")) {
        std::fprintf(stderr, "mirror_bench: %s missing (scripts/deps --bench installs it)\n",
                     kSite);
        return 1;
    }
    const std::vector<std::string> args = kov::bench::PlainArgs(argc, argv);
    if (!args.empty() && args[0] == "rip") {
        TimeRipping();
        return 0;
    }
    const std::string kovCli = args.empty() ? DefaultKovCli() : args[0];
    if (!kov::test::NginxServer::Available() || !kov::bench::HaveTool("wget")) {
        std::fprintf(stderr, "mirror_bench: nginx or wget missing\n");
        return 1;
    }
    kov::test::NginxServer nginx;
    nginx.AddLocation(std::string("location /py/ { alias ") + kSite + "/; }");
    if (!nginx.Start()) {
        std::fprintf(stderr, "nginx: %s\n", nginx.ErrorLog().c_str());
        return 1;
    }
    const std::string url = nginx.Url("/py/index.html");
    kov::test::TempDir dir;
    const std::string home = dir.File("home");
    const std::string kovOut = dir.File("kov");
    const std::string wgetOut = dir.File("wget");
    WriteKovHome(home, url, kovOut);
    const std::vector<std::pair<std::string, std::string>> env = {
        {"KOV_HOME", home}, {"XDG_CONFIG_HOME", dir.File("config")}};

    std::vector<double> kovWall, wgetWall;
    int kovFiles = 0, wgetFiles = 0;
    for (int round = 0; round < kRounds; ++round) {
        ClearFolder(kovOut);
        const auto kov = kov::bench::RunChild({kovCli, "-a"}, env, "/tmp/mirror_bench_kov.log");
        kovFiles = CountFiles(kovOut);
        ClearFolder(wgetOut);
        const auto wget = kov::bench::RunChild(
            {"wget", "-q", "-r", "-l2", "-p", "-k", "-np", "-P", wgetOut, url});
        wgetFiles = CountFiles(wgetOut);
        // Both report a page that links to a missing file (kov 1, wget 8); the files count.
        if (kov.exitCode > 1 || kovFiles == 0 || wgetFiles == 0) {
            std::fprintf(stderr, "round %d failed: kov exit %d, wget exit %d\n", round + 1,
                         kov.exitCode, wget.exitCode);
            return 1;
        }
        kovWall.push_back(kov.wall);
        wgetWall.push_back(wget.wall);
    }
    const double k = Median(kovWall);
    const double w = Median(wgetWall);
    std::printf("mirror of %s, %d rounds, medians:\n", url.c_str(), kRounds);
    std::printf("%-6s %9s %7s\n", "tool", "wall s", "files");
    std::printf("%-6s %9.3f %7d\n", "kov", k, kovFiles);
    std::printf("%-6s %9.3f %7d\n", "wget", w, wgetFiles);
    std::printf("wall time kov/wget: %.2f\n", w > 0 ? k / w : 0);
    TimeRipping();
    return 0;
}
