#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <map>

#include "core/main_loop.h"

namespace kov {

// The main loop of the desktop program on Qt's event loop: posted tasks become queued calls on
// the thread that owns this object, timers are QTimers. Posting from any thread is safe; a task
// posted after the loop was destroyed is dropped.
class QtMainLoop : public QObject, public MainLoop {
    Q_OBJECT
public:
    explicit QtMainLoop(QObject* parent = nullptr);
    ~QtMainLoop() override;

    void Post(std::function<void()> task) override;
    void StartTimer(int id, std::chrono::milliseconds period, std::function<void()> tick) override;
    void StopTimer(int id) override;
    bool Alive() const override { return m_alive.load(); }

    // Called when the main window goes: later posts are dropped, timers stop.
    void Shutdown();

private:
    std::atomic<bool> m_alive{true};
    std::map<int, QTimer*> m_timers;
};

}  // namespace kov
