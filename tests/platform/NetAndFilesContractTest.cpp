// Contract of the sockets and files services, natively and under Wine.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/Files.h"
#include "platform/net/Socket.h"

namespace vestrel::platform {
namespace {

TEST(SocketContractTest, ConnectsToALoopbackListenerAndMovesBytesBothWays) {
    std::error_code error;
    net::Listener listener = net::Listener::OnLoopback(0, 16, error);
    ASSERT_TRUE(listener.Valid()) << error.message();
    ASSERT_NE(listener.Port(), 0);

    std::thread server([&] {
        std::error_code accept_error;
        net::Socket peer = listener.Accept(accept_error);
        ASSERT_TRUE(peer.Valid());
        char buffer[5];
        std::size_t got = 0;
        while (got < sizeof(buffer)) {
            const auto n = peer.Receive(buffer + got, sizeof(buffer) - got);
            ASSERT_GT(n, 0);
            got += static_cast<std::size_t>(n);
        }
        EXPECT_EQ(std::string(buffer, 5), "hello");
        EXPECT_TRUE(peer.SendAll("world"));
        peer.ShutdownSend();
    });

    net::Socket client = net::ConnectTcp("127.0.0.1", listener.Port(), std::chrono::seconds(5), error);
    ASSERT_TRUE(client.Valid()) << error.message();
    ASSERT_TRUE(client.SendAll("hello"));
    std::string answer;
    char buffer[16];
    for (;;) {
        const auto n = client.Receive(buffer, sizeof(buffer));
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    server.join();
    EXPECT_EQ(answer, "world");
}

TEST(SocketContractTest, ConnectToAClosedPortFailsQuickly) {
    std::error_code error;
    std::uint16_t port = 0;
    {
        net::Listener listener = net::Listener::OnLoopback(0, 1, error);
        ASSERT_TRUE(listener.Valid());
        port = listener.Port();
    }
    const auto began = std::chrono::steady_clock::now();
    net::Socket socket = net::ConnectTcp("127.0.0.1", port, std::chrono::seconds(5), error);
    EXPECT_FALSE(socket.Valid());
    EXPECT_TRUE(error);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4));
}

// A listener that never accepts and whose queue is full lets no more connects complete: the attempt
// stays in progress, and only its time limit or the cancel flag ends it.
TEST(SocketContractTest, ConnectThatNeverCompletesEndsAtItsLimitOrWhenCancelled) {
    std::error_code error;
    net::Listener listener = net::Listener::OnLoopback(0, 1, error);
    ASSERT_TRUE(listener.Valid()) << error.message();
    std::vector<net::Socket> queued;
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < 64; ++i) {
        net::Socket socket =
            net::ConnectTcp("127.0.0.1", listener.Port(), std::chrono::milliseconds(500), error);
        if (!socket.Valid()) break;
        queued.push_back(std::move(socket));
    }
    ASSERT_LT(queued.size(), 64u) << "the listener's queue never filled";
    EXPECT_EQ(error, std::errc::timed_out) << error.message();
    std::printf("queue full after %zu connects, %.2f s\n", queued.size(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());

    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    const auto asked = std::chrono::steady_clock::now();
    net::Socket socket =
        net::ConnectTcp("127.0.0.1", listener.Port(), std::chrono::seconds(60), error, &cancel);
    canceller.join();
    EXPECT_FALSE(socket.Valid());
    EXPECT_EQ(error, std::errc::operation_canceled) << error.message();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(30));
}

TEST(SocketContractTest, PollTellsWhenDataArrivesAndTimesOut) {
    std::error_code error;
    net::Listener listener = net::Listener::OnLoopback(0, 4, error);
    ASSERT_TRUE(listener.Valid());
    net::Socket client = net::ConnectTcp("localhost", listener.Port(), std::chrono::seconds(5), error);
    ASSERT_TRUE(client.Valid()) << error.message();
    net::Socket server = listener.Accept(error);
    ASSERT_TRUE(server.Valid());

    std::array<net::PollItem, 1> items{};
    items[0].socket = server.Handle();
    items[0].want_read = true;
    EXPECT_EQ(net::Poll(items, std::chrono::milliseconds(50)), 0);
    EXPECT_FALSE(items[0].readable);
    ASSERT_TRUE(client.SendAll("x"));
    EXPECT_EQ(net::Poll(items, std::chrono::seconds(5)), 1);
    EXPECT_TRUE(items[0].readable);
}

TEST(SocketContractTest, ShutdownWakesABlockedAccept) {
    std::error_code error;
    net::Listener listener = net::Listener::OnLoopback(0, 4, error);
    ASSERT_TRUE(listener.Valid());
    std::thread acceptor([&] {
        std::error_code accept_error;
        net::Socket none = listener.Accept(accept_error);
        EXPECT_FALSE(none.Valid());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    listener.Shutdown();
    acceptor.join();
}

class FilesContractTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = std::string("vestrel-files-test-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::remove(path_.c_str());
    }
    void TearDown() override { std::remove(path_.c_str()); }
    std::string path_;
};

TEST_F(FilesContractTest, WriteThenReadGivesTheSameBytesAndReplaces) {
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    bytes += "\r\nlast line without a break";
    ASSERT_FALSE(fs::WriteFileAtomically(path_, bytes));
    EXPECT_TRUE(fs::FileExists(path_));
    EXPECT_EQ(fs::ReadWholeFile(path_), bytes);
    ASSERT_FALSE(fs::WriteFileAtomically(path_, "short"));
    EXPECT_EQ(fs::ReadWholeFile(path_), std::string("short"));
    EXPECT_FALSE(fs::FileExists(path_ + ".tmp"));
}

TEST_F(FilesContractTest, FailedWriteLeavesTheOldFileWhole) {
    ASSERT_FALSE(fs::WriteFileAtomically(path_, "old contents"));
    // A folder in the temporary file's place makes the write fail before the old file is touched.
    const std::string blocker = path_ + ".tmp";
#ifdef _WIN32
    ASSERT_EQ(std::system(("mkdir " + blocker).c_str()), 0);
#else
    ASSERT_EQ(std::system(("mkdir '" + blocker + "'").c_str()), 0);
#endif
    EXPECT_TRUE(fs::WriteFileAtomically(path_, "new contents"));
    EXPECT_EQ(fs::ReadWholeFile(path_), std::string("old contents"));
#ifdef _WIN32
    std::system(("rmdir " + blocker).c_str());
#else
    std::system(("rmdir '" + blocker + "'").c_str());
#endif
}

TEST_F(FilesContractTest, MissingFileReadsAsNothing) {
    EXPECT_FALSE(fs::ReadWholeFile(path_).has_value());
    EXPECT_FALSE(fs::FileExists(path_));
}

}  // namespace
}  // namespace vestrel::platform
