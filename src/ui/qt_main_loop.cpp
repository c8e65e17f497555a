#include "ui/qt_main_loop.h"

#include <QMetaObject>

namespace kov {

QtMainLoop::QtMainLoop(QObject* parent) : QObject(parent) {}

QtMainLoop::~QtMainLoop() {
    Shutdown();
}

void QtMainLoop::Post(std::function<void()> task) {
    if (!m_alive.load() || !task) return;
    // Queued even when posted from the main thread itself, so a task never runs inside its
    // poster's call.
    QMetaObject::invokeMethod(
        this,
        [this, task = std::move(task)]() {
            if (m_alive.load()) task();
        },
        Qt::QueuedConnection);
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
    for (auto& [id, timer] : m_timers) {
        timer->stop();
        timer->deleteLater();
    }
    m_timers.clear();
}

}  // namespace kov
