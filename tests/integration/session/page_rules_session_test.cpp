#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "content/rules/page_rules.h"
#include "core/event_loop.h"
#include "core/language/message_table.h"
#include "engine/page_rules_step.h"
#include "engine/worker_pool.h"
#include "model/list_document.h"
#include "net/http/inet.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "session/event_log.h"
#include "session/session_controller.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using namespace std::chrono_literals;

// Hands every delivered page to the rules, as the page processing of a session does.
class RulesOnly : public PageProcessor {
public:
    void ProcessPage(DownloadJob& job, const std::string& url, const std::string& localPath,
                     ResourceInfo&) override {
        ApplyPageRules(job, url, localPath, false);
    }
};

// A session of a list whose pages go through the site rules, the banner rules and the items'
// own rules, with the rule files read as at start-up.
TEST(PageRulesSession, RulesRewritePagesAndBannedWordsKeepURLsAway) {
    if (!test::NginxServer::Available()) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed";
    InternetGlobalInit();
    test::NginxServer nginx;
    const std::string page = "<html><h1>Top</h1><img src=/ads/banner.gif>news story</html>";
    nginx.WriteFile("news/index.html", page);
    nginx.WriteFile("ads/banner.gif", "GIF89a");
    ASSERT_TRUE(nginx.Start()) << nginx.ErrorLog();

    test::TempDir dir;
    ASSERT_TRUE(WriteFileAtomic(dir.File("banners.ini"),
                                "[BanneRipping]\ns_find1=<img src=/ads/\ns_repl1=>\n"
                                "s_action1=3\nBannedWords=xx BANNER " +
                                    std::string(1100, 'z') + "\n"));
    ASSERT_TRUE(WriteFileAtomic(
        dir.File("SiteRipper.ini"),
        "[Site 1]\nName=News\nUrl=" + nginx.Url("/NEWS/") + "\ns_find1=<h1>Top</h1>\ns_repl1=\n"));
    auto rules = std::make_shared<PageRules>();
    std::string error;
    ASSERT_TRUE(LoadPageRules(dir.File("banners.ini"), dir.File("SiteRipper.ini"), *rules, error));

    AppSettings settings;
    settings.ProxyFromIE = 0;
    settings.LogDetail = 2;
    settings.lists.push_back({"Main", dir.File("Default.ini"), dir.File("dl/")});
    test::RecordingPrompter prompter;
    ListDocument document(settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr},
                          prompter);
    document.LoadCatalogue();
    auto add = [&](const std::string& name, const std::string& path, int ripBanners) {
        UrlItem item = FreshItem();
        item.Name = name;
        item.Url = nginx.Url(path);
        item.Dest = dir.File("dl/" + name + "/");
        item.RipBanners = ripBanners;
        item.rules = {ReplaceRule{"", "story", "STORY", 0, 0, 0}};
        document.Rows().Append(item);
    };
    add("news", "/news/index.html", 1);
    add("ads", "/ads/banner.gif", 0);

    EventLoop loop;
    EventLog log(settings, dir.File("Kov.log"));
    TrafficMeter meter;
    RulesOnly pages;
    auto env = std::make_shared<JobEnvironment>();
    env->meter = &meter;
    env->pages = &pages;
    env->rules = rules;
    bool ended = false;
    {
        WorkerPool pool;
        SessionHooks hooks;
        hooks.endOfSessionAction = [&](bool) { ended = true; };
        SessionController session(settings, document, loop, pool, log, prompter, env, hooks);
        session.SetAutoMode(true, false);
        session.StartRequest(false, {});
        for (int i = 0; i < 2000 && !ended; ++i)
            loop.RunFor(10ms);
    }
    ASSERT_TRUE(ended);

    EXPECT_EQ(dir.Read("dl/news/index.html"), "<html>news STORY</html>");
    EXPECT_FALSE(FileExists(dir.File("dl/ads/banner.gif")));
    EXPECT_EQ(nginx.AccessLog().find("/ads/"), std::string::npos) << nginx.AccessLog();

    std::string text;
    for (const LogLine& line : log.Lines())
        text += line.text + "\n";
    const std::string path = dir.File("dl/news/index.html");
    for (const std::string& expected :
         {"[news] - " + path + " - (SiteRipper) Replace performed : 1",
          "[news] - " + path + " - (BanneRipper) Replace performed : 1",
          GetString(EventCode::BannedWordsCut),  // the words past the capacity
          "[news] - " + path + " - Replace performed : 1", std::string("result code: 925")}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
}

}  // namespace
}  // namespace kov
