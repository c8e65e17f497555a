#include <gtest/gtest.h>

#include <string>

#include "mail_control/distributed_download.h"
#include "net/transfer/resource_prober.h"
#include "platform/clock.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/recording_prompter.h"

namespace kov {
namespace {

TEST(DistributedProbe, TheServersSizeSplitsTheItemAndNoSizeRefusesIt) {
    if (!test::NginxServer::Available()) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed";
    test::NginxServer nginx;
    ASSERT_TRUE(nginx.WriteFile("files/big.bin", std::string(1000001, 'x')));
    ASSERT_TRUE(nginx.Start()) << nginx.ErrorLog();
    struct Case {
        std::string path;
        bool found;
        std::int64_t size, partSize;
    } cases[] = {
        {"/files/big.bin", true, 1000001, 500000},
        {"/redirect", true, 11, 5},  // the size of where the redirect leads
        {"/files/missing.bin", false, 0, 0},
    };
    ASSERT_TRUE(nginx.WriteFile("files/a.txt", "hello world"));
    AppSettings settings;
    ResourceProber prober(settings);
    for (const Case& c : cases) {
        test::RecordingPrompter prompter;
        UrlItem item = FreshItem();
        item.Url = nginx.Url(c.path);
        item.DstDlActive = 1;
        EXPECT_EQ(ProbeFileSize(item, prober, SystemClock().Now(), prompter), c.found) << c.path;
        EXPECT_EQ(item.DstDlFileSize, c.size) << c.path;
        EXPECT_EQ(item.DstDlPartSize, c.partSize) << c.path;
        EXPECT_EQ(item.DstDlActive, c.found ? 1 : 0) << c.path;
        EXPECT_EQ(prompter.informed,
                  c.found ? std::vector<std::string>{}
                          : std::vector<std::string>{
                                "Distributed download for this URL is Impossible !"});
    }
}

}  // namespace
}  // namespace kov
