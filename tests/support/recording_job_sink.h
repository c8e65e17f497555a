#pragma once

#include <mutex>
#include <vector>

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
    // The codes in order, progress events (504) left out.
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const auto& e : events) {
            if (e.code != 504) codes.push_back(e.code);
        }
        return codes;
    }
    int Count(int code) const {
        int n = 0;
        for (const auto& e : events)
            n += e.code == code ? 1 : 0;
        return n;
    }
    // The last event with this code, or nullptr.
    const kov::JobEvent* Last(int code) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (it->code == code) return &*it;
        }
        return nullptr;
    }
    std::vector<kov::JobEvent> events;

private:
    std::mutex m_lock;
};

}  // namespace kov::test
