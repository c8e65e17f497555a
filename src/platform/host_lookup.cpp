#include "platform/host_lookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

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

struct Helper {
    std::thread thread;
    std::shared_ptr<Query> query;
};

// The helper threads not yet joined. Never destroyed: a thread still in getaddrinfo when the
// program ends must not meet a destroyed list (it never touches the list, but its std::thread
// object lives here and must not be destroyed while joinable).
struct Helpers {
    std::mutex lock;
    std::list<Helper> running;
};

Helpers& AllHelpers() {
    static Helpers* helpers = new Helpers;
    return *helpers;
}

bool IsDone(Query& q) {
    std::lock_guard guard(q.lock);
    return q.done;
}

// Joins the helpers that have ended; the caller holds the list's lock.
void JoinEnded(std::list<Helper>& helpers) {
    for (auto it = helpers.begin(); it != helpers.end();) {
        if (IsDone(*it->query)) {
            it->thread.join();
            it = helpers.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

bool SystemResolve(const std::string& name, HostAddresses& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
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

LookupStatus LookUpHostBounded(const std::string& name, HostAddresses& out,
                               std::chrono::milliseconds limit,
                               const std::function<bool()>& stopped, const HostResolver& resolver) {
    auto query = std::make_shared<Query>();
    HostResolver resolve = resolver ? resolver : HostResolver(SystemResolve);
    {
        Helpers& helpers = AllHelpers();
        std::lock_guard guard(helpers.lock);
        JoinEnded(helpers.running);
        try {
            helpers.running.push_back({std::thread([query, name, resolve = std::move(resolve)] {
                                           HostAddresses found;
                                           const bool ok = resolve(name, found);
                                           std::lock_guard lock(query->lock);
                                           query->found = ok;
                                           query->addresses = std::move(found);
                                           query->done = true;
                                           query->finished.notify_all();
                                       }),
                                       query});
        } catch (const std::system_error&) {
            // No thread to be had: the lookup is not worth waiting for without a bound.
            return LookupStatus::TimedOut;
        }
    }
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

int JoinHostLookups(std::chrono::milliseconds limit) {
    Helpers& helpers = AllHelpers();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock guard(helpers.lock);
    for (;;) {
        JoinEnded(helpers.running);
        if (helpers.running.empty() || std::chrono::steady_clock::now() >= deadline) break;
        guard.unlock();
        std::this_thread::sleep_for(kStopCheck);
        guard.lock();
    }
    return static_cast<int>(helpers.running.size());
}

}  // namespace kov
