#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace kov {
namespace {

using namespace std::chrono_literals;

// Bytes both ways, the close, and reads that end by time-out or stop are carried by the net
// layer's transfer tests; what only shows here is a listener that nobody calls.
TEST(TcpSocket, AcceptsItsPeerOrTimesOut) {
    TcpSocket listener, server, client;
    ASSERT_TRUE(listener.Listen("127.0.0.1"));
    std::thread connect([&] { client.Connect("127.0.0.1", listener.LocalPort(), 2s); });
    ASSERT_TRUE(listener.Accept(server, 2s));
    connect.join();
    ASSERT_TRUE(client.IsOpen());
    EXPECT_EQ(server.PeerAddress(), client.LocalAddress());
    // A name is looked up within the time-out, and each of its addresses is tried in turn.
    TcpSocket byName;
    std::thread named([&] { byName.Connect("localhost", listener.LocalPort(), 2s); });
    ASSERT_TRUE(listener.Accept(server, 2s));
    named.join();
    EXPECT_TRUE(byName.IsOpen()) << SocketErrorText(byName.Error());
    TcpSocket none;
    EXPECT_FALSE(listener.Accept(none, 50ms));
    EXPECT_EQ(listener.Error(), ETIMEDOUT);
}

}  // namespace
}  // namespace kov
