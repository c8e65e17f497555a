#pragma once

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/event_codes.h"
#include "engine/job_event.h"

namespace kov::test {

// Remembers every event a download job posts. (Header only: the support library itself does
// not link the engine.)
class RecordingJobSink : public kov::JobEventSink {
public:
    void Post(kov::JobEvent event) override {
        std::lock_guard<std::mutex> guard(m_lock);
        events.push_back(std::move(event));
    }
    // The codes in order, progress events left out.
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const auto& e : events)
            if (e.code != kEventBlock) codes.push_back(e.code);
        return codes;
    }
    int Count(int code) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [&](const auto& e) { return e.code == code; }));
    }
    // The last event with this code, or nullptr.
    const kov::JobEvent* Last(int code) const {
        const auto it = std::find_if(events.rbegin(), events.rend(),
                                     [&](const auto& e) { return e.code == code; });
        return it == events.rend() ? nullptr : &*it;
    }
    std::vector<kov::JobEvent> events;

private:
    std::mutex m_lock;
};

}  // namespace kov::test
