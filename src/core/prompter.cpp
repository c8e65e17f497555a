#include "core/prompter.h"

#include <atomic>
#include <cstdio>

#include "core/text/terminal_text.h"

namespace kov {

void StderrPrompter::Inform(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::fprintf(stderr, "kov: %s\n", TerminalSafe(text, true).c_str());
}

bool StderrPrompter::Ask(const std::string& text, bool defaultAnswer) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::fprintf(stderr, "kov: %s [%s]\n", TerminalSafe(text, true).c_str(),
                 defaultAnswer ? "yes" : "no");
    return defaultAnswer;
}

namespace {

StderrPrompter& BuiltInPrompter() {
    static StderrPrompter prompter;
    return prompter;
}

std::atomic<Prompter*> g_default{nullptr};

}  // namespace

Prompter& DefaultPrompter() {
    Prompter* p = g_default.load();
    return p ? *p : BuiltInPrompter();
}

void SetDefaultPrompter(Prompter* prompter) {
    g_default.store(prompter);
}

}  // namespace kov
