#pragma once

#include <mutex>
#include <string>

namespace kov {

// Message boxes and questions of the core. The desktop shows dialogs; the headless program
// writes to standard error and takes the default answer. Implementations must accept calls
// from any thread.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual void Inform(const std::string& text) = 0;
    virtual bool Ask(const std::string& text, bool defaultAnswer) = 0;
};

// Writes "kov: <text>" lines to standard error; questions take their default answer.
class StderrPrompter : public Prompter {
public:
    void Inform(const std::string& text) override;
    bool Ask(const std::string& text, bool defaultAnswer) override;

private:
    std::mutex m_lock;
};

// The prompter used where none is passed explicitly. Until one is set it is a StderrPrompter.
Prompter& DefaultPrompter();
// Sets the default prompter (not owned; must outlive its use). nullptr restores the built-in one.
void SetDefaultPrompter(Prompter* prompter);

}  // namespace kov
