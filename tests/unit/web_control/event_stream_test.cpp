#include "web_control/event_stream.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kov {
namespace {

using std::chrono::milliseconds;

TEST(EventStreamTest, FormatsOneEventPerBlockWithADataLinePerLine) {
    struct Case {
        HubEvent event;
        const char* text;
    } const cases[] = {
        {{"item", R"({"id":1})"}, "event: item\ndata: {\"id\":1}\n\n"},
        {{"log", ""}, "event: log\ndata: \n\n"},
        {{"log", "a\nb"}, "event: log\ndata: a\ndata: b\n\n"},
        {{"log", "a\n"}, "event: log\ndata: a\ndata: \n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event.data);
        EXPECT_EQ(c.event.Wire(), c.text);
    }
}

std::string ReadAll(EventStream& stream, std::size_t max, int calls) {
    std::string text;
    char buffer[4096];
    for (int i = 0; i < calls; ++i) {
        const ssize_t n = stream.Read(buffer, std::min(max, sizeof buffer));
        if (n < 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

TEST(EventStreamTest, GreetsThenSendsWaitingEventsInPiecesOfAtMostMax) {
    EventHub hub;
    std::atomic<bool> stopping{false};
    EventStream stream(hub.Subscribe(), stopping, std::chrono::hours(1));
    hub.Publish("item", "12345");
    hub.Publish("item", "67890");
    const std::string expected = ": ok\n\nevent: item\ndata: 12345\n\nevent: item\ndata: 67890\n\n";
    std::string text;
    char buffer[7];
    while (text.size() < expected.size()) {
        const ssize_t n = stream.Read(buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        ASSERT_LE(static_cast<std::size_t>(n), sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(text, expected);
}

TEST(EventStreamTest, WritesKeepAliveWhenQuietAndEndsOnStop) {
    EventHub hub;
    std::atomic<bool> stopping{false};
    EventStream stream(hub.Subscribe(), stopping, milliseconds(0));
    EXPECT_EQ(ReadAll(stream, 4096, 3), ": ok\n\n: keep-alive\n\n: keep-alive\n\n");
    stopping = true;
    char buffer[64];
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), -1);
}

TEST(EventStreamTest, EndsWhenTheHubClosesOrTheClientHangsUp) {
    EventHub hub;
    std::atomic<bool> stopping{false};
    char buffer[64];
    EventStream closing(hub.Subscribe(), stopping, std::chrono::hours(1));
    EXPECT_GT(closing.Read(buffer, sizeof buffer), 0);
    hub.Close();
    EXPECT_EQ(closing.Read(buffer, sizeof buffer), -1);

    EventHub open;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EventStream orphaned(open.Subscribe(), stopping, std::chrono::hours(1), pair[0]);
    EXPECT_GT(orphaned.Read(buffer, sizeof buffer), 0);
    ::close(pair[1]);
    EXPECT_EQ(orphaned.Read(buffer, sizeof buffer), -1);
    ::close(pair[0]);
}

// A burst far larger than one write, as a session of many small files makes: it comes whole and
// in order over many writes, the later ones written while the stream is behind.
TEST(EventStreamTest, SendsABurstLargerThanManyWritesWholeAndInOrder) {
    constexpr int kEvents = 3000;  // below what a reader's queue holds
    EventHub hub;
    std::atomic<bool> stopping{false};
    EventStream stream(hub.Subscribe(), stopping, std::chrono::hours(1));
    for (int i = 0; i < kEvents; ++i)
        hub.Publish("progress", std::to_string(i));
    std::string text;
    std::size_t at = 0;
    int next = 0;
    char buffer[4096];
    while (next < kEvents) {
        const ssize_t n = stream.Read(buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        text.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = text.find("\n\n", at)) != std::string::npos; at = end + 2) {
            const std::string block = text.substr(at, end - at);
            if (block == ": ok") continue;
            ASSERT_EQ(block, "event: progress\ndata: " + std::to_string(next))
                << "lost or reordered";
            ++next;
        }
    }
}

}  // namespace
}  // namespace kov
