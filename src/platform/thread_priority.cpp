#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kov {

namespace {

// On Linux the nice level belongs to each thread; its id addresses the calling thread alone.
id_t ThisThread() {
    return static_cast<id_t>(gettid());
}

}  // namespace

int CurrentThreadNiceness() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, ThisThread());
    return errno == 0 ? nice : 0;
}

bool LowerCurrentThreadPriority(int steps) {
    if (steps <= 0) return true;
    const int target = std::min(19, CurrentThreadNiceness() + steps);
    return setpriority(PRIO_PROCESS, ThisThread(), target) == 0;
}

}  // namespace kov
