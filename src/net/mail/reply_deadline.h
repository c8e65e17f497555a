#pragma once

#include <chrono>
#include <cstddef>

#include "net/tls/tls_stream.h"

namespace kov {

// Bounds the reading of one server reply: it must be complete within the stream's time-out
// plus one second for every kMinRate bytes that came, so a server that sends a byte now and
// then cannot hold the reply open for hours. Lifted again when the reply has been read.
class ReplyDeadline {
public:
    static constexpr std::size_t kMinRate = 1024;

    explicit ReplyDeadline(TlsStream& stream)
        : m_stream(stream), m_start(std::chrono::steady_clock::now()) {
        Update(0);
    }
    ~ReplyDeadline() { m_stream.SetDeadline({}); }
    ReplyDeadline(const ReplyDeadline&) = delete;
    ReplyDeadline& operator=(const ReplyDeadline&) = delete;

    void Received(std::size_t count) {
        m_received += count;
        Update(m_received);
    }

private:
    std::chrono::steady_clock::time_point End(std::size_t received) const {
        return m_start + m_stream.Timeout() + std::chrono::seconds(received / kMinRate);
    }
    void Update(std::size_t received) { m_stream.SetDeadline(End(received)); }

    TlsStream& m_stream;
    std::chrono::steady_clock::time_point m_start;
    std::size_t m_received = 0;
};

}  // namespace kov
