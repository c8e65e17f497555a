#pragma once

#include <mutex>
#include <string>

#include "core/prompter.h"

namespace kov::cli {

// What the lower layers report (a list file that cannot be read or saved) reaches the user
// with kov-cli's own prefix, like the program's other messages; questions take their default
// answer, as nobody may be at the terminal.
class CliPrompter : public Prompter {
public:
    void Inform(const std::string& text) override;
    bool Ask(const std::string& text, bool defaultAnswer) override;

private:
    std::mutex m_lock;
};

}  // namespace kov::cli
