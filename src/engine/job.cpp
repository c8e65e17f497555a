#include "engine/job.h"

namespace kov {

namespace {
std::atomic<std::uint64_t> g_nextJobId{1};
}

Job::Job()
    : m_stop(std::make_shared<std::atomic<int>>(0)),
      stopRequest(*m_stop),
      jobId(g_nextJobId.fetch_add(1)) {}

}  // namespace kov
