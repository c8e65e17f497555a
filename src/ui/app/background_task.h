#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace kov {

// Work for a dialog on a thread of its own. The work returns what is to be done with its
// result on the GUI thread; that part runs only while the owner still exists. The owner keeps
// the task as a member: when the task goes, the work is told to stop and delivers nothing,
// and the owner does not wait for it; main joins what is left for a bounded time.
class BackgroundTask {
public:
    // Hands a step to the GUI thread on the way (progress); dropped once the owner has gone.
    using Post = std::function<void(std::function<void()>)>;
    // The stop flag reads 2 or more when the work should end early.
    using Work =
        std::function<std::function<void()>(const std::atomic<int>& stop, const Post& post)>;

    explicit BackgroundTask(QObject* owner);
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // Starts work unless some is still running or no thread can be had; false then.
    bool Run(Work work);
    bool Running() const;
    void RequestStop();

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace kov
