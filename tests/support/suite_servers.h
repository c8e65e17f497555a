#pragma once

#include <functional>
#include <memory>
#include <string>

#include "support/fault_server.h"
#include "support/nginx_server.h"

namespace kov::test {

// nginx and the fault server shared by the tests of one suite: started in SetUpTestSuite,
// stopped in TearDownTestSuite. Tests skip when a server program is not installed.
struct SuiteServers {
    // Creates nginx, lets fill write its documents and locations, then starts both servers.
    // Returns "" on success (or when a server is not installed), else what failed.
    std::string Start(const std::function<void(NginxServer&)>& fill) {
        if (!NginxServer::Available() || !FaultServer::Available()) return {};
        nginx = std::make_unique<NginxServer>();
        fill(*nginx);
        if (!nginx->Start()) return "nginx did not start: " + nginx->ErrorLog();
        faults = std::make_unique<FaultServer>();
        if (!faults->Start()) return "the fault server did not start";
        return {};
    }
    void Stop() {
        nginx.reset();
        faults.reset();
    }
    bool Ready() const { return nginx && faults; }

    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<FaultServer> faults;
};

}  // namespace kov::test
