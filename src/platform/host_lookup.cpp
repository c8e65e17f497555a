#include "platform/host_lookup.h"

#include "platform/helper_threads.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

namespace kov {

namespace {

constexpr auto kStopCheck = std::chrono::milliseconds(20);

// One query, shared by the caller and its helper thread.
struct Query {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    bool found = false;
    HostAddresses addresses;
};

bool Resolve(const std::string& name, int flags, HostAddresses& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in sin{};
            std::memcpy(&sin, ai->ai_addr, sizeof sin);
            const auto* b = reinterpret_cast<const std::uint8_t*>(&sin.sin_addr);
            out.emplace_back(b, b + 4);
        } else if (ai->ai_family == AF_INET6 && ai->ai_addrlen >= sizeof(sockaddr_in6)) {
            sockaddr_in6 sin6{};
            std::memcpy(&sin6, ai->ai_addr, sizeof sin6);
            const std::uint8_t* b = sin6.sin6_addr.s6_addr;
            out.emplace_back(b, b + 16);
        }
    }
    ::freeaddrinfo(list);
    return true;
}

}  // namespace

bool SystemResolve(const std::string& name, HostAddresses& out) {
    return Resolve(name, 0, out);
}

bool ResolveForConnect(const std::string& name, HostAddresses& out) {
    // Loopback names still resolve when no interface but lo is configured.
    return Resolve(name, AI_ADDRCONFIG, out) || Resolve(name, 0, out);
}

LookupStatus LookUpHostBounded(const std::string& name, HostAddresses& out,
                               std::chrono::milliseconds limit,
                               const std::function<bool()>& stopped, const HostResolver& resolver) {
    auto query = std::make_shared<Query>();
    HostResolver resolve = resolver ? resolver : HostResolver(SystemResolve);
    const bool started = StartHelperThread([query, name, resolve = std::move(resolve)] {
        HostAddresses found;
        const bool ok = resolve(name, found);
        std::lock_guard lock(query->lock);
        query->found = ok;
        query->addresses = std::move(found);
        query->done = true;
        query->finished.notify_all();
    });
    // No thread to be had: the lookup is not worth waiting for without a bound.
    if (!started) return LookupStatus::TimedOut;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(query->lock);
    while (!query->done) {
        if (stopped && stopped()) return LookupStatus::Stopped;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return LookupStatus::TimedOut;
        query->finished.wait_for(
            lock, std::min<std::chrono::steady_clock::duration>(kStopCheck, deadline - now));
    }
    if (!query->found) return LookupStatus::NotFound;
    out = std::move(query->addresses);
    return LookupStatus::Found;
}

}  // namespace kov
