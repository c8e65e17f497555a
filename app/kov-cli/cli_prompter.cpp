#include "cli_prompter.h"

#include "cli_messages.h"

namespace kov::cli {

void CliPrompter::Inform(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    PrintError(text);
}

bool CliPrompter::Ask(const std::string& text, bool defaultAnswer) {
    std::lock_guard<std::mutex> guard(m_lock);
    PrintError(text + (defaultAnswer ? " [yes]" : " [no]"));
    return defaultAnswer;
}

}  // namespace kov::cli
