#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/env_guard.h"

namespace kov::test {

// A fresh folder under /tmp, removed with its contents at the end of the test.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = "/tmp/kov-platform-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern + "/";
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder with a trailing '/'; "" when it could not be created.
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

}  // namespace kov::test
