#include "core/thread_owner.h"

#ifndef NDEBUG
#include <cstdio>
#include <cstdlib>

namespace kov {

void ThreadOwner::Check(const char* where) const {
    if (std::this_thread::get_id() == m_owner) return;
    std::fprintf(stderr, "kov: %s called off the main loop's thread\n", where);
    std::abort();
}

}  // namespace kov
#endif
