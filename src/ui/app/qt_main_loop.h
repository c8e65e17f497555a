#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "core/main_loop.h"

namespace kov {

// The main loop of the desktop program on Qt's event loop: posted tasks run on the thread that
// owns this object, timers are QTimers. Posting from any thread is safe; a task posted after the
// loop was destroyed is dropped. Tasks wait in a queue of their own and one queued call runs
// them in turns of a few milliseconds: a session's thousands of events then cost a few wake-ups
// of the event loop instead of one each, and painting still gets its turn.
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
    void RunPosted();

    std::atomic<bool> m_alive{true};
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_posted;  // under m_mutex
    bool m_scheduled = false;                    // a call of RunPosted is queued; under m_mutex
    std::map<int, QTimer*> m_timers;
};

}  // namespace kov
