#include "engine/page_rules_step.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "content/rules/page_rules.h"
#include "engine/download_job.h"
#include "platform/file_util.h"
#include "support/recording_job_sink.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

ReplaceRule Rule(std::string find, std::string repl) {
    return ReplaceRule{"", std::move(find), std::move(repl), 0, 0, 1};
}

// Which sets run and which events go out, by log detail, for the item's page and for a page the
// ripper fetched; an edited page never keeps the server's time (the next update would take it
// for the start of the server's file), and one the rules leave alone is not touched.
TEST(PageRulesStep, SiteBannerAndItemRulesRunInOrderWithTheirEvents) {
    test::TempDir dir;
    auto rules = std::make_shared<PageRules>();
    rules->sites = {{"", 1, "other", "http://other/", {Rule("page", "X")}},
                    {"", 1, "news", "HTTP://NEWS/", {Rule("page", "site")}}};
    rules->banner.rules = {Rule("<ad>", "")};
    UrlItem item = FreshItem();
    item.rules = {Rule("site", "item")};
    struct Case {
        int logDetail;
        bool ripping;
        int ripBanners;
        std::vector<std::int64_t> sets;  // rule sets announced, in order
        std::string page;
    };
    for (const Case& c : std::vector<Case>{{1, false, 1, {2, 1, 0}, "item item"},
                                           {0, false, 1, {}, "item item"},
                                           {1, true, 1, {}, "item item"},
                                           {2, true, 0, {2, 0}, "item<ad> item"}}) {
        AppSettings settings;
        settings.LogDetail = c.logDetail;
        test::RecordingJobSink sink;
        auto env = std::make_shared<JobEnvironment>();
        env->settings = std::make_shared<const AppSettings>(settings);
        env->sink = &sink;
        env->rules = rules;
        item.RipBanners = c.ripBanners;
        DownloadJob job(item, 1, 0, env);
        const std::string path = dir.File("p.html");
        ASSERT_TRUE(WriteFileAtomic(path, "page<ad> page") && SetFileTimes(path, 1000000, 1000000));

        ApplyPageRules(job, "http://news/p.html", path, c.ripping);
        EXPECT_EQ(dir.Read("p.html"), c.page) << c.logDetail;
        EXPECT_EQ(LastWriteTime(path), 1000000 + kRewrittenShift);
        std::vector<std::int64_t> sets;
        for (const JobEvent& e : sink.events) {
            EXPECT_TRUE(e.code == kEventReplaceDone && e.text1 == path);
            EXPECT_EQ(e.param1, e.param2 == 1 ? 1 : 2);
            sets.push_back(e.param2);
        }
        EXPECT_EQ(sets, c.sets) << c.logDetail << c.ripping;

        ASSERT_TRUE(WriteFileAtomic(path, "nothing") && SetFileTimes(path, 1000000, 1000000));
        ApplyPageRules(job, "http://news/p.html", path, c.ripping);
        EXPECT_EQ(LastWriteTime(path), 1000000);
    }
}

}  // namespace
}  // namespace kov
