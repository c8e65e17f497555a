#include "net/http/thread_multi.h"

namespace kov {

namespace {

// Connections kept open for the jobs of a session (libcurl's default keeps four): a finished
// transfer's connection goes back to the shared cache, which this handle's limit would
// otherwise hold to four.
constexpr long kSharedConnections = 64;

class ThreadMulti {
public:
    ThreadMulti() : m_multi(curl_multi_init()) {
        if (m_multi != nullptr)
            curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, kSharedConnections);
    }
    ~ThreadMulti() {
        // Every transfer of the thread has detached by now: readers do not outlive it.
        if (m_multi != nullptr) curl_multi_cleanup(m_multi);
    }
    ThreadMulti(const ThreadMulti&) = delete;
    ThreadMulti& operator=(const ThreadMulti&) = delete;

    CURLM* Handle() const { return m_multi; }

private:
    CURLM* m_multi;
};

}  // namespace

CURLM* ThreadMultiHandle() {
    thread_local ThreadMulti multi;
    return multi.Handle();
}

}  // namespace kov
