#include "ui/app/qt_main_loop.h"

#include <QMetaObject>
#include <chrono>

namespace kov {

QtMainLoop::QtMainLoop(QObject* parent) : QObject(parent) {}

QtMainLoop::~QtMainLoop() {
    Shutdown();
}

namespace {
// The longest turn of posted tasks before the event loop gets back control.
constexpr auto kTurn = std::chrono::milliseconds(8);
}  // namespace

void QtMainLoop::Post(std::function<void()> task) {
    if (!m_alive.load() || !task) return;
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(task));
        if (m_scheduled) return;
        m_scheduled = true;
    }
    // Queued even when posted from the main thread itself, so a task never runs inside its
    // poster's call.
    QMetaObject::invokeMethod(this, &QtMainLoop::RunPosted, Qt::QueuedConnection);
}

void QtMainLoop::RunPosted() {
    {
        std::lock_guard lock(m_mutex);
        m_scheduled = false;
    }
    const auto end = std::chrono::steady_clock::now() + kTurn;
    while (m_alive.load()) {
        std::function<void()> task;
        bool schedule = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_posted.empty()) return;
            const bool outOfTime = std::chrono::steady_clock::now() >= end;
            if (!outOfTime) {
                task = std::move(m_posted.front());
                m_posted.pop_front();
            }
            // The rest gets a turn of its own: after this one, or inside a dialog's event loop
            // that the task opens.
            if (!m_posted.empty() && !m_scheduled) schedule = m_scheduled = true;
            if (outOfTime && !schedule) return;
        }
        if (schedule) QMetaObject::invokeMethod(this, &QtMainLoop::RunPosted, Qt::QueuedConnection);
        if (!task) return;
        task();
    }
}

void QtMainLoop::StartTimer(int id, std::chrono::milliseconds period, std::function<void()> tick) {
    StopTimer(id);
    if (!m_alive.load()) return;
    auto* timer = new QTimer(this);
    timer->setInterval(period);
    connect(timer, &QTimer::timeout, this, [tick = std::move(tick)]() { tick(); });
    m_timers[id] = timer;
    timer->start();
}

void QtMainLoop::StopTimer(int id) {
    const auto it = m_timers.find(id);
    if (it == m_timers.end()) return;
    it->second->stop();
    it->second->deleteLater();
    m_timers.erase(it);
}

void QtMainLoop::Shutdown() {
    m_alive.store(false);
    {
        std::lock_guard lock(m_mutex);
        m_posted.clear();
    }
    for (auto& [id, timer] : m_timers) {
        timer->stop();
        timer->deleteLater();
    }
    m_timers.clear();
}

}  // namespace kov
