#pragma once

#include <memory>

namespace kov {

// Connections, DNS answers and TLS sessions shared by every transfer of the sessions that hold
// this object, so that the jobs of one download session reuse each other's connections to the
// same host instead of opening one per file. Safe to use from several threads at once.
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
