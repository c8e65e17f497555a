#include "web_control/main_loop_call.h"

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

ApiResponse MainLoopCall::Run(std::function<ApiResponse()> work) {
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
    std::unique_lock<std::mutex> hold(m_shared->lock);
    const bool answered = m_shared->wake.wait_for(
        hold, m_limit, [&] { return answer->has_value() || m_shared->closed; });
    if (answered && answer->has_value()) return std::move(**answer);
    if (m_shared->closed) return Unavailable();
    return ApiResponse::Error(503, "busy", "the program did not answer in time");
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
