#include "net/http/shared_connections.h"

#include <curl/curl.h>

#include <pthread.h>

#include "net/http/inet.h"

namespace kov {

struct SharedConnections::Impl {
    CURLSH* share = nullptr;
    // Adaptive: libcurl holds them for a few instructions, many times per transfer, and the
    // workers of a session of small files meet at them all the time. A short spin takes such
    // a lock without the two system calls of a sleep and a wake-up.
    pthread_mutex_t locks[CURL_LOCK_DATA_LAST];

    Impl() {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
        for (pthread_mutex_t& lock : locks)
            pthread_mutex_init(&lock, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    ~Impl() {
        for (pthread_mutex_t& lock : locks)
            pthread_mutex_destroy(&lock);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        pthread_mutex_lock(&static_cast<Impl*>(self)->locks[data]);
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        pthread_mutex_unlock(&static_cast<Impl*>(self)->locks[data]);
    }
};

std::shared_ptr<SharedConnections> SharedConnections::Create() {
    if (!InternetGlobalInit()) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->share = curl_share_init();
    if (impl->share == nullptr) return nullptr;
    CURLSH* share = impl->share;
    bool ok = curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Impl::Lock) == CURLSHE_OK &&
              curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Impl::Unlock) == CURLSHE_OK &&
              curl_share_setopt(share, CURLSHOPT_USERDATA, impl.get()) == CURLSHE_OK &&
              curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK;
    // Connections are not shared here: libcurl does not support a connection cache shared by
    // threads that run transfers at the same time (the workers of a session do), and its
    // transfers then race on the connections' data inside libcurl. Each thread keeps the
    // connections it opened in its multi handle instead, so that a worker's next file to the
    // same host still goes over its last one's connection.
    // TLS session reuse is a bonus; a libcurl without it still shares DNS answers.
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    if (!ok) {
        curl_share_cleanup(share);
        return nullptr;
    }
    return std::shared_ptr<SharedConnections>(new SharedConnections(std::move(impl)));
}

SharedConnections::SharedConnections(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

SharedConnections::~SharedConnections() {
    // The transfers hold this object, so none is using the handle any more.
    curl_share_cleanup(m_impl->share);
}

void* SharedConnections::Handle() const {
    return m_impl->share;
}

}  // namespace kov
