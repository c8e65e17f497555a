// Mirroring a documentation site from nginx on loopback: Debian's python3.11-doc HTML, one
// item on index.html with WithLinks 1, WithPics 1 and NestedDepth 2 run by `kov-cli -a` with
// MaxThreads 8 (so the rip fetches over its most connections, 6, as the peer uses 8 threads),
// against `wget2 --max-threads=8 -r -l2 -k -np` (wget -p when wget2 is missing) on the same
// start page. Each round runs kov into an empty folder, kov again over that mirror with
// nothing changed, and the peer; medians of wall and CPU times, their ratios, the files each
// fetched, the local links that lead nowhere, and the files the re-run wrote are reported.
// Then the ripping itself is timed in process over every HTML page of the site: milliseconds
// per MB of HTML.
//
// Usage: mirror_bench [KOV_CLI_PATH] (default: ../app/kov-cli/kov-cli beside this program)
//        mirror_bench rip (the ripping time only)
//        mirror_bench passes (the whole rip in process, its records "fetched" by copying the
//        site's files, on one thread: what a fetcher does to each page, what the job's thread
//        does, the cross references and the writes at the end, each timed apart)

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_util.h"
#include "content/html/html_ripper.h"
#include "content/html/link_list.h"
#include "content/html/page_file.h"
#include "content/html/page_tags.h"
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

// Time (ns) and inode of every file: a file written again has another of either.
std::map<std::string, std::pair<long long, unsigned long>> Stamps(const std::string& folder) {
    std::map<std::string, std::pair<long long, unsigned long>> stamps;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        struct stat st {};
        if (::stat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        stamps[it->path().string()] = {st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                                       static_cast<unsigned long>(st.st_ino)};
    }
    return stamps;
}

int Changed(const std::map<std::string, std::pair<long long, unsigned long>>& before,
            const std::map<std::string, std::pair<long long, unsigned long>>& after) {
    int changed = 0;
    for (const auto& [path, stamp] : after) {
        const auto it = before.find(path);
        changed += it == before.end() || it->second != stamp ? 1 : 0;
    }
    return changed;
}

// The relative href and src values of a page (no scheme, no fragment or query).
std::vector<std::string> LocalReferences(const std::string& text) {
    std::vector<std::string> found;
    for (const char* attribute : {"href=\"", "src=\""}) {
        for (std::size_t at = text.find(attribute); at != std::string::npos;
             at = text.find(attribute, at + 1)) {
            const std::size_t start = at + std::char_traits<char>::length(attribute);
            const std::size_t end = text.find('"', start);
            if (end == std::string::npos) break;
            std::string value = text.substr(start, end - start);
            value = value.substr(0, value.find_first_of("#?"));
            const std::size_t colon = value.find(':');
            if (value.empty() || value[0] == '/' ||
                (colon != std::string::npos && colon < value.find('/')))
                continue;
            found.push_back(value);
        }
    }
    return found;
}

// Links of the mirror's pages to local files that are not there; the MB of HTML.
std::pair<int, double> BrokenLinks(const std::string& folder) {
    int broken = 0;
    std::uintmax_t bytes = 0;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string ext = it->path().extension().string();
        if (!it->is_regular_file() || (ext != ".html" && ext != ".htm")) continue;
        bytes += it->file_size();
        const std::string text = kov::ReadFile(it->path().string()).value_or("");
        for (const std::string& reference : LocalReferences(text)) {
            std::error_code missing;
            if (!fs::exists(it->path().parent_path() / reference, missing)) ++broken;
        }
    }
    return {broken, static_cast<double>(bytes) / 1e6};
}

void ClearFolder(const std::string& path) {
    std::error_code error;
    fs::remove_all(path, error);
    fs::create_directories(path, error);
}

// A kov-cli program folder whose list holds the one site item.
void WriteKovHome(const std::string& home, const std::string& url, const std::string& dest) {
    fs::create_directories(home);
    std::ofstream(home + "/kov.ini") << "[KOV-Main]\nMaxThreads=8\nLogDetail=0\n";
    std::ofstream(home + "/Default.ini")
        << "[item 1]\nName=site\nUrl=" << url << "\nDest=" << dest
        << "/\nWithLinks=1\nWithPics=1\nNestedDepth=2\nUpdateMode=0\n";
}

// User and system time of this process so far: on a busy machine the fairer figure.
double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Every page of the site through the ripper as a job runs it, on copies: ms per MB of HTML.
void TimeRipping() {
    kov::test::TempDir work;
    const double cpuStart = CpuSeconds();
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
        ripper.SetHoldBytes(std::size_t{64} << 20);  // as a job holds its pages
        ripper.SetModern(true);
        ripper.SetKinds(255);
        ripper.SetPageHost(url);
        ripper.ResetLinks(copy, url);
        ripper.ParseHtmlFile(copy, url, false);
        ripper.GrabHtmlLinks(copy, url, 0, 0);
        ripper.AdjustCrossRefs(0);
        ripper.WriteHeldPages();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bytes += entry.file_size();
        ++pages;
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    const double cpu = CpuSeconds() - cpuStart;
    std::printf(
        "ripping: %d pages, %.1f MB of HTML in %.3f s (%.3f s CPU): %.1f ms per MB, "
        "%.1f ms CPU per MB\n",
        pages, mb, seconds, cpu, mb > 0 ? seconds * 1000 / mb : 0, mb > 0 ? cpu * 1000 / mb : 0);
}

// One rip of the site as a job runs it, without the network: ms spent on each part.
struct PassTimes {
    double preload = 0, passes = 0, crossRefs = 0, writes = 0;
};

PassTimes TimePasses(const std::string& out) {
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point t) {
        return std::chrono::duration<double>(Clock::now() - t).count() * 1000;
    };
    const std::string prefix = "http://127.0.0.1/py/";
    const std::string site = std::string(kSite) + "/";
    ClearFolder(out);
    PassTimes times;
    kov::HtmlRipper ripper;
    ripper.SetHoldBytes(std::size_t{64} << 20);
    ripper.SetModern(true);
    ripper.SetEnableHttps(true);
    ripper.SetKinds(255);
    const std::string main = out + "/index.html";
    fs::copy_file(site + "index.html", main);
    ripper.SetPageHost(prefix + "index.html");
    ripper.ResetLinks(main, prefix + "index.html");
    auto start = Clock::now();
    ripper.ParseHtmlFile(main, prefix + "index.html", false);
    ripper.GrabHtmlLinks(main, prefix + "index.html", 0, 0);
    times.passes += since(start);
    for (std::size_t i = 1; i < ripper.Count(); ++i) {
        const kov::LinkRecord record = ripper.Record(i);
        if (!record.fetch || record.downloaded || !record.url.starts_with(prefix)) continue;
        std::string path = record.url.substr(prefix.size());
        path = path.substr(0, path.find('?'));
        std::error_code error;
        fs::copy_file(site + path, record.localPath, fs::copy_options::overwrite_existing, error);
        if (error) continue;
        ripper.SetDownloaded(i, true);
        start = Clock::now();
        if (path.ends_with(".css")) ripper.ParseCssFile(record.localPath, record.url);
        times.passes += since(start);
        if (!path.ends_with(".html")) continue;
        start = Clock::now();
        kov::PageFile page;
        page.Load(record.localPath);
        kov::PageTags tags = kov::HtmlRipper::TagsOf(page.text);
        times.preload += since(start);
        start = Clock::now();
        ripper.SetHtml(i);
        ripper.HoldPage(record.localPath, std::move(page), std::move(tags));
        ripper.ParseHtmlFile(record.localPath, record.url, false);
        if (record.depth < 2)
            ripper.GrabHtmlLinks(record.localPath, record.url, record.depth, static_cast<int>(i));
        times.passes += since(start);
    }
    start = Clock::now();
    auto worker = ripper.CrossRefWorker();
    for (std::size_t i = 0; i < ripper.Count(); ++i) {
        const kov::LinkRecord& record = ripper.Record(i);
        if (!record.downloaded || !record.html) continue;
        ripper.HandOver(record.localPath, *worker);
        worker->AdjustCrossRefs(i);
    }
    times.crossRefs = since(start);
    start = Clock::now();
    worker.reset();
    ripper.WriteHeldPages();
    times.writes = since(start);
    return times;
}

void TimeAllPasses() {
    kov::test::TempDir work;
    std::vector<double> preload, passes, crossRefs, writes;
    for (int round = 0; round < kRounds; ++round) {
        // A folder of its own each round (see the rounds of main).
        const PassTimes t = TimePasses(work.File("rip-" + std::to_string(round)));
        preload.push_back(t.preload);
        passes.push_back(t.passes);
        crossRefs.push_back(t.crossRefs);
        writes.push_back(t.writes);
    }
    std::printf(
        "rip in process, medians of %d: fetchers' reading and tag walks %.1f ms, the job's "
        "passes %.1f ms, cross references %.1f ms, writes %.1f ms\n",
        kRounds, Median(preload), Median(passes), Median(crossRefs), Median(writes));
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
    if (!args.empty() && args[0] == "passes") {
        TimeAllPasses();
        return 0;
    }
    const std::string kovCli = args.empty() ? DefaultKovCli() : args[0];
    const bool wget2 = kov::bench::HaveTool("wget2");
    if (!kov::test::NginxServer::Available() || (!wget2 && !kov::bench::HaveTool("wget"))) {
        std::fprintf(stderr, "mirror_bench: nginx or wget2 missing\n");
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
    std::string kovOut = dir.File("kov-0");
    std::string wgetOut = dir.File("wget-0");
    const std::vector<std::pair<std::string, std::string>> env = {
        {"KOV_HOME", home}, {"XDG_CONFIG_HOME", dir.File("config")}};
    std::vector<std::string> peer =
        wget2 ? std::vector<std::string>{"wget2", "-q", "--max-threads=8", "-r", "-l2", "-k",
                                         "-np",   "-P", wgetOut,           url}
              : std::vector<std::string>{"wget", "-q",  "-r", "-l2",   "-p",
                                         "-k",   "-np", "-P", wgetOut, url};

    std::map<std::string, std::vector<double>> wall, cpu;
    int kovFiles = 0, wgetFiles = 0, rewritten = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Each round mirrors into folders of its own, removed only after the last round: a
        // mirror made where another was just deleted waits on the file system reusing those
        // inodes, and how long depends on the layout more than on the tool.
        kovOut = dir.File("kov-" + std::to_string(round));
        wgetOut = dir.File("wget-" + std::to_string(round));
        ClearFolder(kovOut);
        ClearFolder(wgetOut);
        WriteKovHome(home, url, kovOut);
        peer[peer.size() - 2] = wgetOut;
        ::sync();
        const auto kov = kov::bench::RunChild({kovCli, "-a"}, env, "/tmp/mirror_bench_kov.log");
        kovFiles = CountFiles(kovOut);
        const auto before = Stamps(kovOut);
        const auto again = kov::bench::RunChild({kovCli, "-a"}, env, "/tmp/mirror_bench_kov.log");
        rewritten = Changed(before, Stamps(kovOut));
        ::sync();
        const auto wget = kov::bench::RunChild(peer);
        wgetFiles = CountFiles(wgetOut);
        // Both report a page that links to a missing file (kov 1, wget 8); the files count.
        if (kov.exitCode > 1 || again.exitCode > 1 || kovFiles == 0 || wgetFiles == 0) {
            std::fprintf(stderr, "round %d failed: kov exit %d/%d, %s exit %d\n", round + 1,
                         kov.exitCode, again.exitCode, peer[0].c_str(), wget.exitCode);
            return 1;
        }
        for (const auto& [name, run] :
             {std::pair{"kov", kov}, {"kov re-run", again}, {peer[0].c_str(), wget}}) {
            wall[name].push_back(run.wall);
            cpu[name].push_back(run.cpu);
        }
    }
    const auto [kovBroken, kovMb] = BrokenLinks(kovOut);
    const auto [wgetBroken, wgetMb] = BrokenLinks(wgetOut);
    std::printf("mirror of %s, %d rounds, medians:\n", url.c_str(), kRounds);
    std::printf("%-11s %8s %8s %7s %7s %8s %10s\n", "tool", "wall s", "cpu s", "files", "broken",
                "HTML MB", "cpu s/MB");
    auto row = [&](const std::string& name, int files, int broken, double mb) {
        const double c = Median(cpu[name]);
        std::printf("%-11s %8.3f %8.3f %7d %7d %8.1f %10.3f\n", name.c_str(), Median(wall[name]), c,
                    files, broken, mb, mb > 0 ? c / mb : 0);
    };
    row("kov", kovFiles, kovBroken, kovMb);
    row("kov re-run", kovFiles, kovBroken, kovMb);
    row(peer[0], wgetFiles, wgetBroken, wgetMb);
    const double k = Median(wall["kov"]);
    const double w = Median(wall[peer[0]]);
    std::printf("wall time kov/%s: %.2f\n", peer[0].c_str(), w > 0 ? k / w : 0);
    std::printf("wall time re-run/first run: %.2f, files the re-run wrote: %d\n",
                k > 0 ? Median(wall["kov re-run"]) / k : 0, rewritten);
    TimeRipping();
    return 0;
}
