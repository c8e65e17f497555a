#include "web_control/event_stream_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kov {
namespace {

using Events = std::vector<std::pair<std::string, std::string>>;

// Feeds text in pieces of every size from 1 up: an event split anywhere reads the same.
Events ReadInPieces(const std::string& text, std::size_t piece) {
    Events got;
    EventStreamReader reader([&got](const std::string& name, const std::string& data) {
        got.emplace_back(name, data);
        return true;
    });
    for (std::size_t i = 0; i < text.size(); i += piece)
        EXPECT_TRUE(reader.Feed(std::string_view(text).substr(i, piece)));
    return got;
}

TEST(EventStreamReader, SplitsTheStreamIntoEventsWhereverItIsCut) {
    const struct {
        const char* what;
        std::string stream;
        Events events;
    } cases[] = {
        {"named", "event: item\ndata: {\"id\":1}\n\n", {{"item", "{\"id\":1}"}}},
        {"unnamed", "data: x\n\n", {{"message", "x"}}},
        {"no blank after the colon", "event:log\ndata:y\n\n", {{"log", "y"}}},
        {"two data lines", "event: log\ndata: a\ndata: b\n\n", {{"log", "a\nb"}}},
        {"CRLF",
         "event: a\r\ndata: 1\r\n\r\nevent: b\r\ndata: 2\r\n\r\n",
         {{"a", "1"}, {"b", "2"}}},
        {"lone CR", "event: a\rdata: 1\r\r", {{"a", "1"}}},
        {"comments", ": ok\n\n: keep-alive\n\nevent: s\ndata: e\n\n", {{"s", "e"}}},
        {"no data is no event", "event: lonely\n\ndata: z\n\n", {{"message", "z"}}},
        {"unknown fields", "id: 5\nretry: 10\nevent: p\ndata: q\n\n", {{"p", "q"}}},
        {"empty data", "event: e\ndata:\n\n", {{"e", ""}}},
        {"unfinished event waits", "event: a\ndata: 1\n\nevent: b\ndata: 2\n", {{"a", "1"}}},
    };
    for (const auto& c : cases) {
        for (std::size_t piece = 1; piece <= c.stream.size(); ++piece)
            EXPECT_EQ(ReadInPieces(c.stream, piece), c.events) << c.what << ", pieces of " << piece;
    }
}

TEST(EventStreamReader, StopsWhenTheHandlerSaysSo) {
    int seen = 0;
    EventStreamReader reader([&seen](const std::string& name, const std::string&) {
        ++seen;
        return name != "session";
    });
    EXPECT_TRUE(reader.Feed("event: log\ndata: 1\n\n"));
    EXPECT_FALSE(reader.Feed("event: session\ndata: {}\n\nevent: log\ndata: 2\n\n"));
    EXPECT_FALSE(reader.Feed("event: log\ndata: 3\n\n"));
    EXPECT_EQ(seen, 2);
}

TEST(EventStreamReader, ALineWithoutEndIsCutOff) {
    EventStreamReader reader([](const std::string&, const std::string&) { return true; });
    const std::string chunk(1 << 20, 'x');
    bool going = reader.Feed("data: ");
    for (int i = 0; i < 5 && going; ++i)
        going = reader.Feed(chunk);
    EXPECT_FALSE(going);
}

}  // namespace
}  // namespace kov
