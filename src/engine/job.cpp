#include "engine/job.h"

namespace kov {

namespace {
std::atomic<std::uint64_t> g_nextJobId{1};
}

Job::Job() : jobId(g_nextJobId.fetch_add(1)) {}

}  // namespace kov
