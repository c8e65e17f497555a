#pragma once

#include <thread>

namespace kov {

// The thread that made an object, for the objects that only the main loop may change (the
// rows, the log, the session's commands). In debug builds Check aborts with the caller's name
// when another thread calls; release builds check nothing.
class ThreadOwner {
public:
#ifdef NDEBUG
    void Check(const char*) const {}
#else
    void Check(const char* where) const;

private:
    std::thread::id m_owner = std::this_thread::get_id();
#endif
};

}  // namespace kov
