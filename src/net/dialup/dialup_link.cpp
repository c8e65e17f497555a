#include "net/dialup/dialup_link.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "net/http/inet.h"

namespace kov {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Waits for the pause unless the cancel flag comes up first; false when cancelled.
bool Pause(std::chrono::milliseconds pause, const std::atomic<bool>* cancel) {
    const auto step = std::chrono::milliseconds(20);
    for (auto waited = std::chrono::milliseconds(0); waited < pause; waited += step) {
        if (cancel != nullptr && cancel->load()) return false;
        std::this_thread::sleep_for(step);
    }
    return cancel == nullptr || !cancel->load();
}

// Locks within wait by polling try_lock. A timed lock goes through pthread_mutex_clocklock,
// which ThreadSanitizer (as shipped with GCC 12) does not see: every unlock after it would be
// reported as one of an unlocked mutex, hiding real reports behind it.
std::unique_lock<std::timed_mutex> LockWithin(std::timed_mutex& mutex,
                                              std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::unique_lock<std::timed_mutex> guard(mutex, std::try_to_lock);
    while (!guard.owns_lock() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        guard.try_lock();
    }
    return guard;
}

}  // namespace

DialUpLink::DialUpLink(NmDialer dialer) : m_dialer(dialer), m_loaded(NmDialer::Present()) {}

void DialUpLink::Init(bool enable, std::string entryName, bool notify) {
    // nmcli may have been installed or removed since the last look.
    m_loaded = NmDialer::Present();
    m_enabled = enable && !entryName.empty() && m_loaded;
    m_notify = notify;
    std::lock_guard<std::mutex> guard(m_fields);
    if (!SameName(entryName, m_entryName)) m_connected = false;
    m_entryName = std::move(entryName);
}

std::string DialUpLink::EntryName() const {
    std::lock_guard<std::mutex> guard(m_fields);
    return m_entryName;
}

std::vector<int> DialUpLink::Requesters() const {
    std::lock_guard<std::timed_mutex> guard(m_lock);
    return m_requesters;
}

std::string DialUpLink::LastErrorText() const {
    switch (m_lastError.load()) {
        case 0:
            return {};
        case kErrorLibraryMissing:
            return "Dial-up needs NetworkManager's nmcli, which is not installed";
        case kErrorEntryParams:
            return "The connection profile \"" + EntryName() + "\" cannot be found";
        default: {
            std::lock_guard<std::mutex> guard(m_fields);
            return m_lastErrorText;
        }
    }
}

int DialUpLink::CountEntries() {
    return static_cast<int>(Entries().size());
}

std::vector<std::string> DialUpLink::Entries() {
    if (!m_loaded) return {};
    auto profiles = m_dialer.Profiles();
    return profiles ? std::move(*profiles) : std::vector<std::string>{};
}

bool DialUpLink::IsAvailable() {
    return m_loaded && CountEntries() > 0;
}

int DialUpLink::QueryForConnect(int requester, const std::atomic<bool>* cancel, bool* dialled) {
    if (dialled != nullptr) *dialled = false;
    if (!m_enabled || !m_loaded) return 2;
    {
        std::unique_lock<std::timed_mutex> guard = LockWithin(m_lock, kLockWait);
        if (!guard.owns_lock()) return 0;
        // A party holds the line once, however often it asks.
        if (std::find(m_requesters.begin(), m_requesters.end(), requester) == m_requesters.end())
            m_requesters.push_back(requester);
    }
    const int result = Dial(cancel, dialled);
    if (result == 0) {
        // A party whose dial failed holds nothing: it must not keep the line from being hung up
        // when the others let it go.
        std::unique_lock<std::timed_mutex> guard = LockWithin(m_lock, kLockWait);
        if (guard.owns_lock()) {
            auto it = std::find(m_requesters.begin(), m_requesters.end(), requester);
            if (it != m_requesters.end()) m_requesters.erase(it);
        }
    }
    return result;
}

int DialUpLink::Dial(const std::atomic<bool>* cancel, bool* dialled) {
    if (!m_enabled) return 2;
    if (!m_loaded) {
        m_lastError = kErrorLibraryMissing;
        return 0;
    }
    if (m_dialling.exchange(true)) return 1;
    const std::string entry = EntryName();
    m_connected = PollEntry(entry);
    if (m_connected) {
        m_dialling = false;
        return 2;
    }
    for (int attempt = 1; attempt <= kAttempts && !m_connected; ++attempt) {
        // The entry's parameters: the profile must exist.
        const auto profiles = m_dialer.Profiles();
        if (!profiles || std::none_of(profiles->begin(), profiles->end(),
                                      [&](const std::string& p) { return SameName(p, entry); })) {
            m_lastError = kErrorEntryParams;
            m_dialling = false;
            return 0;
        }
        if (!Pause(kAttemptPause, cancel)) break;
        std::string error;
        if (m_dialer.Up(entry, cancel, &error)) {
            m_connected = true;
            SetConnectedState(true);
            if (dialled != nullptr) *dialled = true;
            break;
        }
        {
            std::lock_guard<std::mutex> guard(m_fields);
            m_lastErrorText = error;
        }
        m_lastError = kErrorDialFailed;
        if (cancel != nullptr && cancel->load()) break;
    }
    m_dialling = false;
    return m_connected ? 2 : 0;
}

int DialUpLink::ReleaseConnection(int requester) {
    if (!m_enabled || !m_loaded) return 2;
    std::unique_lock<std::timed_mutex> guard = LockWithin(m_lock, kLockWait);
    if (!guard.owns_lock()) return 0;
    auto it = std::find(m_requesters.begin(), m_requesters.end(), requester);
    if (it != m_requesters.end()) m_requesters.erase(it);
    if (!m_requesters.empty()) return 1;
    guard.unlock();
    return Hangup() ? 2 : 0;
}

bool DialUpLink::Hangup() {
    if (!m_loaded) {
        m_lastError = kErrorLibraryMissing;
        return false;
    }
    if (!m_enabled) return true;
    std::unique_lock<std::timed_mutex> guard = LockWithin(m_lock, kLockWait);
    if (!guard.owns_lock()) return false;
    const std::string entry = EntryName();
    // Only the entry's own connection: the other connections of the machine are not ours.
    if (PollEntry(entry)) m_connected = true;
    if (!m_connected) return true;
    std::string error;
    if (!m_dialer.Down(entry, &error)) {
        std::lock_guard<std::mutex> fields(m_fields);
        m_lastErrorText = error;
    }
    m_connected = PollEntry(entry);
    return !m_connected;
}

bool DialUpLink::PollEntry(const std::string& name) {
    std::string error;
    const auto active = m_dialer.Active(&error);
    if (!active) {
        m_lastError = kErrorEnumConnections;
        std::lock_guard<std::mutex> guard(m_fields);
        m_lastErrorText = error;
        return false;
    }
    return std::any_of(active->begin(), active->end(), [&](const NmActiveConnection& c) {
        return c.state == "activated" && SameName(c.name, name);
    });
}

bool DialUpLink::Poll(const std::string& name) {
    if (!m_enabled) return true;
    // Every network connection of the machine is listed, not only dialled ones: the line is
    // the entry's connection.
    const bool up = PollEntry(name.empty() ? EntryName() : name);
    if (up || name.empty()) m_connected = up;
    return up;
}

int DialUpLink::CheckAndRedial(const std::atomic<bool>* cancel) {
    if (!m_enabled) return 1;
    if (Poll()) return 1;
    switch (Dial(cancel, nullptr)) {
        case 2:
            return 2;
        case 1:
            return 1;
        default:
            return 0;
    }
}

}  // namespace kov
