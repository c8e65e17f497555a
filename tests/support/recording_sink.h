#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/event_codes.h"
#include "net/transfer/transfer_events.h"

namespace kov::test {

// Remembers every event a transfer posts.
class RecordingSink : public kov::TransferSink {
public:
    struct Event {
        int code;
        std::int64_t param1, param2;
        std::string text1, text2;
    };

    void Post(int code, std::int64_t param1, std::int64_t param2, const std::string& text1,
              const std::string& text2) override {
        std::lock_guard<std::mutex> guard(m_lock);
        events.push_back({code, param1, param2, text1, text2});
    }
    // The codes in order, progress events left out.
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const Event& e : events)
            if (e.code != kEventBlock) codes.push_back(e.code);
        return codes;
    }
    // The first event with this code, or nullptr.
    const Event* Find(int code) const {
        const auto it = std::find_if(events.begin(), events.end(),
                                     [&](const Event& e) { return e.code == code; });
        return it == events.end() ? nullptr : &*it;
    }
    // The bytes announced by progress events.
    std::int64_t ProgressBytes() const {
        std::int64_t total = 0;
        for (const Event& e : events)
            total += e.code == kEventBlock ? e.param1 : 0;
        return total;
    }

    std::vector<Event> events;

private:
    std::mutex m_lock;
};

}  // namespace kov::test
