#pragma once

namespace kov {

class Application;

// While it lives, the global traffic meter counts on from the application's traffic counter;
// at its end (or at End(), for a front end that saves before leaving the scope) the count goes
// back into the application. Every front end runs its sessions inside one, so that none loses
// the counter.
class TrafficCountScope {
public:
    explicit TrafficCountScope(Application& app);
    ~TrafficCountScope();
    TrafficCountScope(const TrafficCountScope&) = delete;
    TrafficCountScope& operator=(const TrafficCountScope&) = delete;

    // Takes the count back now; later calls and the destructor do nothing.
    void End();

private:
    Application& m_app;
    bool m_ended = false;
};

}  // namespace kov
