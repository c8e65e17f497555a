#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace kov {
namespace {

using namespace std::chrono_literals;

// Bytes both ways and the close are carried by every transfer of the net layer's tests; what
// only shows here is how a wait ends when nothing arrives.
TEST(TcpSocket, WaitsEndByTimeOutOrCancel) {
    TcpSocket listener, server, client;
    ASSERT_TRUE(listener.Listen("127.0.0.1"));
    std::thread connect([&] { client.Connect("127.0.0.1", listener.LocalPort(), 2s); });
    ASSERT_TRUE(listener.Accept(server, 2s));
    connect.join();
    ASSERT_TRUE(client.IsOpen());
    EXPECT_EQ(server.PeerAddress(), client.LocalAddress());

    char c;
    EXPECT_EQ(client.Receive(&c, 1, 50ms), -1);
    EXPECT_EQ(client.Error(), ETIMEDOUT);

    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Receive(&c, 1, 30s, [&] { return stop.load(); }), -1);
    stopper.join();
    EXPECT_EQ(client.Error(), ECANCELED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    TcpSocket none;
    EXPECT_FALSE(listener.Accept(none, 50ms));
    EXPECT_EQ(listener.Error(), ETIMEDOUT);
}

}  // namespace
}  // namespace kov
