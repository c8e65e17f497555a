#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "core/prompter.h"

namespace kov {

// Message boxes for the core. Callable from any thread: a call from another thread is carried
// out on the GUI thread and waits for the answer. A hook may answer instead of a dialog (tests,
// and the time after the window has gone, when a box would have no owner).
class QtPrompter : public Prompter {
public:
    using Answerer = std::function<bool(const std::string& text, bool isQuestion, bool def)>;

    QtPrompter() = default;
    void SetParent(QWidget* parent) { m_parent = parent; }
    // Replaces the dialogs; empty: dialogs again.
    void SetAnswerer(Answerer answerer) { m_answerer = std::move(answerer); }

    void Inform(const std::string& text) override;
    bool Ask(const std::string& text, bool defaultAnswer) override;

private:
    bool Show(const std::string& text, bool isQuestion, bool defaultAnswer);
    bool ShowOnGuiThread(const std::string& text, bool isQuestion, bool defaultAnswer);

    QPointer<QWidget> m_parent;
    Answerer m_answerer;
};

}  // namespace kov
