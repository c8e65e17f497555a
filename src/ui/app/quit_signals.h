#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "platform/unique_fd.h"

namespace kov {

// SIGTERM, SIGINT and SIGHUP (the desktop session ending, Ctrl+C in the terminal that started
// the program) become calls on the GUI thread, so that the program ends the way closing its
// window does, with everything saved, instead of dying at once.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    // At most one at a time; onSignal runs on the GUI thread for each signal received.
    explicit QuitSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    std::function<void()> m_onSignal;
    // The pipe that carries a signal from its handler to the GUI thread.
    UniqueFd m_readEnd;
    UniqueFd m_writeEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace kov
