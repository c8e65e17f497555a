#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/prompter.h"

namespace kov::test {

// Remembers every message; questions take their default answer.
class RecordingPrompter : public kov::Prompter {
public:
    void Inform(const std::string& text) override {
        std::lock_guard<std::mutex> guard(m_lock);
        informed.push_back(text);
    }
    bool Ask(const std::string&, bool defaultAnswer) override { return defaultAnswer; }
    void Reset() {
        std::lock_guard<std::mutex> guard(m_lock);
        informed.clear();
    }

    std::vector<std::string> informed;

private:
    std::mutex m_lock;
};

}  // namespace kov::test
