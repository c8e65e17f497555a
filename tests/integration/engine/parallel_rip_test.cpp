#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/site_page_processor.h"
#include "job_test_fixture.h"

namespace kov {
namespace {

namespace fs = std::filesystem;

// A wide site: pages of the same name in two folders, pictures of the same name, a style
// sheet, a redirect, a missing page, and links back and forth, so that the local names and
// the rewritten links depend on the order the records are taken in.
void FillWide(test::NginxServer& n) {
    n.AddLocation("location = /wide/go { return 302 /wide/a/p1.html; }");
    std::string index =
        "<html><link rel=\"stylesheet\" href=\"s.css\"><a href=\"go\">go</a>"
        "<a href=\"gone.html\">gone</a>";
    for (const std::string folder : {"a", "b"}) {
        for (int p = 1; p <= 6; ++p) {
            const std::string page = folder + "/p" + std::to_string(p) + ".html";
            index += "<a href=\"" + page + "#top\">" + page + "</a>";
            n.WriteFile("wide/" + page,
                        "<html><img src=\"img/x.png\"><img src=\"../shared.gif\">"
                        "<a href=\"../index.html\">up</a><a href=\"p" +
                            std::to_string(p % 6 + 1) + ".html\">next</a>" +
                            "<link rel=\"next\" href=\"../" + folder + "/q.html\"></html>");
        }
        n.WriteFile("wide/" + folder + "/q.html", "<html><img src=\"img/x.png\">q</html>");
        n.WriteFile("wide/" + folder + "/img/x.png", "picture of " + folder);
    }
    n.WriteFile("wide/index.html", index + "</html>");
    n.WriteFile("wide/s.css", "body{background:url(bg.png)}");
    n.WriteFile("wide/bg.png", "background");
    n.WriteFile("wide/shared.gif", "shared");
    // A page whose first picture comes at once and the others slowly.
    n.AddLocation("location /slow/big/ { limit_rate 4k; }");
    std::string slow = "<html><img src=\"quick.png\">";
    for (int p = 1; p <= 5; ++p) {
        const std::string name = "big/p" + std::to_string(p) + ".png";
        slow += "<img src=\"" + name + "\">";
        n.WriteFile("slow/" + name, std::string(16384, 'p'));
    }
    n.WriteFile("slow/index.html", slow + "</html>");
    n.WriteFile("slow/quick.png", "quick");
}

class ParallelRipTest : public test::NginxJobTest<FillWide> {
protected:
    void SetUp() override {
        NginxJobTest::SetUp();
        env->pages = &SitePageProcessor::Shared();
    }
    // Cross references rewritten on this many threads, however many cores the machine has.
    static RipLimits CrossRefThreads(int threads) {
        RipLimits limits;
        limits.crossRefThreads = threads;
        return limits;
    }
    SitePageProcessor m_threaded{CrossRefThreads(4)};
    UrlItem WideItem(const std::string& dest, int depth) const {
        UrlItem item = Item(nginx->Url("/wide/index.html"), dest);
        item.WithLinks = 1;
        item.WithPics = 1;
        item.NestedDepth = depth;
        return item;
    }
    // Every file of a mirror by its name, with the mirror's own folder written as "@", and its
    // time (a rewritten page has the server's time and two seconds, whoever read it); the
    // rip's own record file has the time it was written.
    std::map<std::string, std::string> Mirror(const std::string& dest) const {
        std::map<std::string, std::string> files;
        const std::string root = Local(dest);
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            std::string text = Slurp(entry.path().string());
            for (std::size_t at = text.find(root); at != std::string::npos;
                 at = text.find(root, at))
                text.replace(at, root.size(), "@");
            const std::string name = fs::relative(entry.path(), root).string();
            if (name.front() != '.')
                text += " @" + std::to_string(LastWriteTime(entry.path().string()).value_or(0));
            files[name] = text;
        }
        return files;
    }
};

TEST_F(ParallelRipTest, SeveralFetchersMakeTheMirrorOneMakes) {
    struct Case {
        const char* what;
        int depth;
        int modern;
        int textOnly;
        int runs;  // a second run asks about every record with conditional requests
    } cases[] = {
        {"one level", 1, 1, 0, 1},
        {"three levels", 3, 1, 0, 1},
        {"older pages, text only", 3, 0, 1, 1},
        {"run again over the mirror", 3, 1, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings.ModernHtml = c.modern;
        settings.DocModeFlags = c.textOnly;
        std::map<std::string, std::string> mirrors[2];
        for (const int threads : {1, 4}) {
            settings.MaxThreads = threads;
            env->pages = threads == 1 ? &SitePageProcessor::Shared() : &m_threaded;
            const std::string dest = std::string(c.what) + std::to_string(threads) + "/";
            for (int run = 0; run < c.runs; ++run)
                Run(WideItem(dest, c.depth));
            EXPECT_EQ(events.Codes().back(), kEventJobFinished);
            mirrors[threads == 1 ? 0 : 1] = Mirror(dest);
        }
        EXPECT_GT(mirrors[0].size(), 10u);
        EXPECT_EQ(mirrors[0], mirrors[1]);
    }
}

// A stop at once during a parallel rip ends every fetcher; the rip keeps no record list, so
// that the next run rips in full.
TEST_F(ParallelRipTest, StopNowEndsAParallelRip) {
    class StopSink : public test::RecordingJobSink {
    public:
        void Post(JobEvent event) override {
            if (event.code == kEventFileResult && ++results == 4 && job)
                job->stopRequest = kStopNow;
            RecordingJobSink::Post(std::move(event));
        }
        DownloadJob* job = nullptr;
        int results = 0;
    } stopper;
    env->sink = &stopper;
    settings.MaxThreads = 6;
    auto job = MakeJob(WideItem("stopped/", 3));
    stopper.job = job.get();
    job->Run();
    EXPECT_EQ(stopper.Codes().back(), kEventJobAborted);
    EXPECT_TRUE(FileExists(Local("stopped/index.html")));
    EXPECT_FALSE(FileExists(Local("stopped/.index.html.kov-rip")));
}

// A stop after the current file ends a parallel rip as it ends one fetch at a time: the file
// being taken in completes, the fetches of the records after it end unfinished, and none
// begins.
TEST_F(ParallelRipTest, StopAfterFileEndsAtTheFileBeingTakenIn) {
    class StopSink : public test::RecordingJobSink {
    public:
        void Post(JobEvent event) override {
            if (event.code == kEventFileResult) {
                if (stopped && event.param1 == kResultOk) ++completedAfter;
                if (event.text1.ends_with("quick.png") && job) {
                    job->stopRequest = kStopAfterFile;
                    stopped = true;
                }
            }
            RecordingJobSink::Post(std::move(event));
        }
        DownloadJob* job = nullptr;
        bool stopped = false;
        int completedAfter = 0;
    } stopper;
    env->sink = &stopper;
    settings.MaxThreads = 6;
    UrlItem item = Item(nginx->Url("/slow/index.html"), "after-file/");
    item.WithPics = 1;
    auto job = MakeJob(item);
    stopper.job = job.get();
    job->Run();
    ASSERT_TRUE(stopper.stopped);
    EXPECT_EQ(stopper.completedAfter, 0);
    EXPECT_EQ(ReadFile(Local("after-file/quick.png")).value_or(""), "quick");
    for (int p = 1; p <= 5; ++p) {
        const std::string big = Local("after-file/p" + std::to_string(p) + ".png");
        EXPECT_LT(FileSize(big).value_or(0), 16384) << big;
    }
    EXPECT_FALSE(FileExists(Local("after-file/.index.html.kov-rip")));
}

}  // namespace
}  // namespace kov
