#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/dialup/nm_dialer.h"

namespace kov {

// The parties that may hold the dial-up line.
enum DialRequester : int { kRequesterSession = 1, kRequesterMail = 2, kRequesterQuery = 3 };

// The dial-up line, on NetworkManager: the phone-book entry is a connection profile, dialling
// is "nmcli connection up", hanging up "nmcli connection down". Without nmcli ("library
// missing") or without any profile the feature is absent and the line counts as always up.
// The download session and the mail check share the line: it is hung up when the last of them
// releases it. Any thread may call; a dial blocks its caller (the connection step runs on a
// thread of its own) and watches the caller's cancel flag.
class DialUpLink {
public:
    static constexpr int kAttempts = 8;
    static constexpr auto kLockWait = std::chrono::seconds(10);
    static constexpr auto kAttemptPause = std::chrono::milliseconds(200);
    // lastError values.
    static constexpr int kErrorLibraryMissing = 1001;
    static constexpr int kErrorEntryParams = 1002;
    static constexpr int kErrorEnumConnections = 304;
    static constexpr int kErrorDialFailed = 1003;  // nmcli refused to bring the profile up

    explicit DialUpLink(NmDialer dialer = NmDialer());

    // enabled := enable, entryName not empty and nmcli present. notify: the dial reports its
    // progress (kept for the front ends; the line's events come from the session side).
    void Init(bool enable, std::string entryName, bool notify);

    // nmcli is present and has at least one profile.
    bool IsAvailable();
    int CountEntries();
    // The profiles, for the preferences' chooser; empty when none or nmcli failed.
    std::vector<std::string> Entries();

    // 0 failed, 1 a dial is already in progress, 2 connected (also when the link is disabled).
    // dialled (may be null) becomes true when this call made the connection.
    int QueryForConnect(int requester, const std::atomic<bool>* cancel = nullptr,
                        bool* dialled = nullptr);
    // 0 failed, 1 the line stays because another requester holds it, 2 released.
    int ReleaseConnection(int requester);
    // True when the line is down afterwards.
    bool Hangup();
    // True when the entry's connection (name, or the entry when name is empty) is up; also
    // when the link is disabled.
    bool Poll(const std::string& name = {});
    bool IsConnected() const { return !m_enabled || m_connected; }
    // 1 nothing to do (line up, link disabled or a dial running), 2 redialled, 0 failed.
    int CheckAndRedial(const std::atomic<bool>* cancel = nullptr);

    bool Loaded() const { return m_loaded; }
    bool Enabled() const { return m_enabled; }
    bool Dialling() const { return m_dialling; }
    bool Notify() const { return m_notify; }
    std::string EntryName() const;
    std::vector<int> Requesters() const;
    int LastError() const { return m_lastError; }
    std::string LastErrorText() const;

private:
    int Dial(const std::atomic<bool>* cancel, bool* dialled);
    bool PollEntry(const std::string& name);

    NmDialer m_dialer;
    std::atomic<bool> m_loaded{false};
    std::atomic<bool> m_enabled{false};
    std::atomic<bool> m_notify{false};
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_dialling{false};
    std::atomic<int> m_lastError{0};
    mutable std::mutex m_fields;  // m_entryName, m_lastErrorText
    std::string m_entryName;
    std::string m_lastErrorText;
    // Guards the requesters and hang-ups; waited for at most kLockWait.
    mutable std::timed_mutex m_lock;
    std::vector<int> m_requesters;
};

}  // namespace kov
