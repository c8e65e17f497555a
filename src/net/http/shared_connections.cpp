#include "net/http/shared_connections.h"

#include <curl/curl.h>

#include <mutex>

#include "net/http/inet.h"

namespace kov {

struct SharedConnections::Impl {
    CURLSH* share = nullptr;
    std::mutex locks[CURL_LOCK_DATA_LAST];

    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<Impl*>(self)->locks[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<Impl*>(self)->locks[data].unlock();
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
              curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT) == CURLSHE_OK &&
              curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK;
    // TLS session reuse is a bonus; a libcurl without it still shares connections.
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
