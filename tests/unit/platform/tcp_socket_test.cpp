#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace kov {
namespace {

using namespace std::chrono_literals;

// A connected pair over loopback: the listener's end and the client's end.
struct Pair {
    TcpSocket listener, server, client;
    bool Open(const std::string& address = "127.0.0.1") {
        if (!listener.Listen(address)) return false;
        std::thread connect([&] { client.Connect(address, listener.LocalPort(), 2s); });
        const bool accepted = listener.Accept(server, 2s);
        connect.join();
        return accepted && client.IsOpen();
    }
};

TEST(TcpSocket, CarriesBytesBothWaysAndSeesTheClose) {
    Pair p;
    ASSERT_TRUE(p.Open());
    EXPECT_EQ(p.client.PeerAddress(), "127.0.0.1");
    EXPECT_EQ(p.server.PeerAddress(), p.client.LocalAddress());
    EXPECT_FALSE(p.client.IsIPv6());

    // More than a socket buffer, so that SendAll has to wait for the reader.
    const std::string big(4 << 20, 'x');
    std::thread writer([&] { EXPECT_TRUE(p.client.SendAll(big, 5s)); });
    std::string got;
    char block[65536];
    while (got.size() < big.size()) {
        const long n = p.server.Receive(block, sizeof block, 5s);
        ASSERT_GT(n, 0);
        got.append(block, static_cast<std::size_t>(n));
    }
    writer.join();
    EXPECT_EQ(got, big);

    p.client.Close();
    EXPECT_EQ(p.server.Receive(block, sizeof block, 2s), 0);
}

TEST(TcpSocket, WaitsEndByTimeOutOrCancel) {
    Pair p;
    ASSERT_TRUE(p.Open());
    char c;
    EXPECT_EQ(p.client.Receive(&c, 1, 50ms), -1);
    EXPECT_EQ(p.client.Error(), ETIMEDOUT);

    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(p.client.Receive(&c, 1, 30s, [&] { return stop.load(); }), -1);
    stopper.join();
    EXPECT_EQ(p.client.Error(), ECANCELED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    TcpSocket none;
    EXPECT_FALSE(p.listener.Accept(none, 50ms));
    EXPECT_EQ(p.listener.Error(), ETIMEDOUT);
}

}  // namespace
}  // namespace kov
