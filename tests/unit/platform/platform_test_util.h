#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// Puts the listed environment variables back as they were when it goes out of scope.
class EnvGuard {
public:
    explicit EnvGuard(std::vector<std::string> names) {
        for (auto& name : names) {
            const char* value = std::getenv(name.c_str());
            m_saved.emplace_back(std::move(name),
                                 value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~EnvGuard() {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace kov::test
