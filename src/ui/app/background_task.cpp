#include "ui/app/background_task.h"

#include "platform/helper_threads.h"

namespace kov {

struct BackgroundTask::State {
    std::mutex lock;
    QObject* owner = nullptr;  // cleared when the task goes
    std::atomic<int> stop{0};
    std::atomic<bool> running{false};

    // The owner cannot go while the lock is held; a call posted to it dies with it.
    void Deliver(std::function<void()> step) {
        std::lock_guard<std::mutex> guard(lock);
        if (owner) QMetaObject::invokeMethod(owner, std::move(step), Qt::QueuedConnection);
    }
};

BackgroundTask::BackgroundTask(QObject* owner) : m_state(std::make_shared<State>()) {
    m_state->owner = owner;
}

BackgroundTask::~BackgroundTask() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->owner = nullptr;
    m_state->stop = 2;
}

bool BackgroundTask::Run(Work work) {
    if (m_state->running.exchange(true)) return false;
    m_state->stop = 0;
    const bool started = StartHelperThread([state = m_state, work = std::move(work)] {
        const Post post = [&state](std::function<void()> step) { state->Deliver(std::move(step)); };
        std::function<void()> then = work(state->stop, post);
        state->Deliver([state, then = std::move(then)] {
            state->running = false;
            if (then) then();
        });
    });
    if (!started) m_state->running = false;
    return started;
}

bool BackgroundTask::Running() const {
    return m_state->running;
}

void BackgroundTask::RequestStop() {
    m_state->stop = 2;
}

}  // namespace kov
