#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "core/prompter.h"

namespace kov::test {

// Remembers every message and question; questions take their default answer.
// Lock `lock` when reading the vectors while other threads may still prompt.
class RecordingPrompter : public kov::Prompter {
public:
    void Inform(const std::string& text) override {
        std::lock_guard<std::mutex> guard(lock);
        informed.push_back(text);
    }
    bool Ask(const std::string& text, bool defaultAnswer) override {
        std::lock_guard<std::mutex> guard(lock);
        asked.push_back(text);
        return defaultAnswer;
    }

    // How many messages equal text.
    std::size_t InformCount(const std::string& text) {
        std::lock_guard<std::mutex> guard(lock);
        std::size_t n = 0;
        for (const auto& t : informed)
            n += (t == text) ? 1 : 0;
        return n;
    }
    void Reset() {
        std::lock_guard<std::mutex> guard(lock);
        informed.clear();
        asked.clear();
    }

    std::mutex lock;
    std::vector<std::string> informed;
    std::vector<std::string> asked;
};

}  // namespace kov::test
