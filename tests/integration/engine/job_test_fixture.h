#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/download_job.h"
#include "net/http/inet.h"
#include "net/http/shared_connections.h"
#include "net/transfer/traffic_meter.h"
#include "platform/file_util.h"
#include "support/missing_server.h"
#include "support/nginx_server.h"
#include "support/recording_job_sink.h"
#include "support/temp_dir.h"

namespace kov::test {

// The events of a job that fetched one file, and of one that fetched none.
inline const std::vector<int> kOneFile = {kEventJobStarted, kEventConnecting, kEventFileStarted,
                                          kEventFileResult, kEventJobFinished};
inline const std::vector<int> kNoFile = {kEventJobStarted, kEventConnecting, kEventFileResult,
                                         kEventJobFinished};

// A job environment around a scratch folder, with the events the jobs post.
class JobTest : public ::testing::Test {
protected:
    JobTest() {
        env = std::make_shared<JobEnvironment>();
        env->macros.appFolder = dir.path() + "/";
        env->macros.appDrive = "/";
        env->meter = &meter;
        env->sink = &events;
        env->retryWait = std::chrono::milliseconds(1);
        settings.ProxyFromIE = 0;  // the environment's proxies must not touch loopback tests
        settings.FtpProxy = 0;
    }

    UrlItem Item(const std::string& url, const std::string& dest = "dl/") const {
        UrlItem item = FreshItem();
        item.Name = "test";
        item.Url = url;
        item.Dest = dir.path() + "/" + dest;
        return item;
    }
    // A job for the item (row 42, index 7) that sees the settings as they are now, as jobs of a
    // session starting now would.
    std::unique_ptr<DownloadJob> MakeJob(const UrlItem& item) {
        events.events.clear();
        env->settings = std::make_shared<const AppSettings>(settings);
        return std::make_unique<DownloadJob>(item, 42, 7, env);
    }
    std::unique_ptr<DownloadJob> Run(const UrlItem& item, int presetStop = kStopNone) {
        auto job = MakeJob(item);
        job->stopRequest = presetStop;
        job->Run();
        return job;
    }
    std::string Local(const std::string& name) const { return dir.path() + "/" + name; }
    static std::string Slurp(const std::string& path) { return ReadFile(path).value_or("<none>"); }

    TempDir dir;
    AppSettings settings;
    TrafficMeter meter;
    RecordingJobSink events;
    std::shared_ptr<JobEnvironment> env;
};

// A JobTest whose suite shares one nginx, given its files by Fill before it starts; the tests
// are skipped without nginx.
template <void (*Fill)(NginxServer&)>
class NginxJobTest : public JobTest {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        if (!NginxServer::Available()) return;
        nginx = std::make_unique<NginxServer>();
        Fill(*nginx);
        ASSERT_TRUE(nginx->Start()) << nginx->ErrorLog();
    }
    static void TearDownTestSuite() { nginx.reset(); }
    void SetUp() override {
        if (!nginx) KOV_SKIP_WITHOUT_SERVER() << "nginx is not installed";
        env->connections = SharedConnections::Create();
    }

    static inline std::unique_ptr<NginxServer> nginx;
};

}  // namespace kov::test
