#include "web_control/main_loop_call.h"

#include <algorithm>
#include <optional>

#include "core/main_loop.h"

namespace kov {

namespace {

ApiResponse Unavailable() {
    return ApiResponse::Error(503, "unavailable", "the program is shutting down");
}

}  // namespace

MainLoopCall::MainLoopCall(MainLoop& loop, std::chrono::milliseconds limit)
    : m_loop(loop), m_limit(limit) {}

MainLoopCall::~MainLoopCall() {
    Close();
}

ApiResponse MainLoopCall::Run(std::function<ApiResponse()> work,
                              const std::atomic<bool>* stopping) {
    if (Closed() || !m_loop.Alive()) return Unavailable();
    // Owned by the task and the wait together: a wait that gave up leaves the task harmless.
    auto answer = std::make_shared<std::optional<ApiResponse>>();
    m_loop.Post([shared = m_shared, answer, work = std::move(work)] {
        {
            std::lock_guard<std::mutex> hold(shared->lock);
            if (shared->closed) return;
        }
        // Close runs on this thread too, so the work cannot outlive what it reads.
        ApiResponse response = work();
        std::lock_guard<std::mutex> hold(shared->lock);
        *answer = std::move(response);
        shared->wake.notify_all();
    });
    // The server's stop flag has no wake-up of its own: it is looked at every slice.
    constexpr std::chrono::milliseconds kSlice{50};
    const auto deadline = std::chrono::steady_clock::now() + m_limit;
    std::unique_lock<std::mutex> hold(m_shared->lock);
    while (!answer->has_value()) {
        if (m_shared->closed || (stopping && stopping->load())) return Unavailable();
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return ApiResponse::Error(503, "busy", "the program did not answer in time");
        m_shared->wake.wait_for(
            hold, std::min<std::chrono::steady_clock::duration>(kSlice, deadline - now));
    }
    return std::move(**answer);
}

void MainLoopCall::Close() {
    std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->closed = true;
    m_shared->wake.notify_all();
}

bool MainLoopCall::Closed() const {
    std::lock_guard<std::mutex> hold(m_shared->lock);
    return m_shared->closed;
}

}  // namespace kov
