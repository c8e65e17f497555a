#pragma once

#include <string>
#include <vector>

#include "support/env_guard.h"
#include "support/temp_dir.h"

namespace kov::test {

// A scripted nmcli put first on PATH for as long as it lives. It knows the profiles it was
// given, keeps the active ones as files, and answers "connection up" as the mode says:
// as the mode says. Every call is recorded.
class NmcliStandIn {
public:
    explicit NmcliStandIn(std::vector<std::string> profiles);

    // ok, fail, hang, slow (up after a second); "hang-show": listings never answer.
    void SetMode(const std::string& mode);
    // The line goes down (or comes up) as if the network did it.
    void SetActive(const std::string& profile, bool active);
    // The recorded calls, one line each: "up NAME", "down NAME", "show", "active".
    std::vector<std::string> Calls() const;
    int Count(const std::string& call) const;

private:
    TempDir m_dir;
    EnvGuard m_path{{"PATH"}};
};

}  // namespace kov::test
