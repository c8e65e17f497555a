#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kov {

// Splits a Server-Sent Events stream, fed in pieces as they arrive, into events: "event:" names
// one (default "message"), its "data:" lines are joined with line breaks, a blank line ends it;
// comments (": keep-alive") and blocks without data are skipped. Line ends may be "\n", "\r\n"
// or "\r".
class EventStreamReader {
public:
    // Returns false to stop reading.
    using Handler = std::function<bool(const std::string& name, const std::string& data)>;

    explicit EventStreamReader(Handler handler) : m_handler(std::move(handler)) {}

    // False once the handler asked to stop, or the stream sent more than a line may hold.
    bool Feed(std::string_view piece);

    static constexpr std::size_t kMaxLine = 4u << 20;

private:
    bool Line(std::string_view line);

    Handler m_handler;
    std::string m_line;
    std::string m_name;
    std::string m_data;
    bool m_hasData = false;
    bool m_afterCr = false;
    bool m_stopped = false;
};

}  // namespace kov
