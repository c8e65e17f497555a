#pragma once

#include <memory>

namespace kov {

// What the transfers of the sessions that hold this object share: DNS answers and TLS sessions
// through libcurl's share, and connections through the multi handle of their thread, so that a
// worker's next file to the same host goes over the connection of its last one instead of a
// new one. (A transfer without this object connects on its own.) Safe to use from several
// threads at once.
class SharedConnections {
public:
    // nullptr when libcurl cannot share.
    static std::shared_ptr<SharedConnections> Create();
    ~SharedConnections();
    SharedConnections(const SharedConnections&) = delete;
    SharedConnections& operator=(const SharedConnections&) = delete;

    // The CURLSH handle.
    void* Handle() const;

private:
    struct Impl;
    explicit SharedConnections(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

}  // namespace kov
