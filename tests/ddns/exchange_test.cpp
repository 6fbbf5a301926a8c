// Connection set-up and the timed exchange against scripted loopback peers: one send, one
// receive, one budget for both waits, and each failure's message on its own stream.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "ddns/transport.h"
#include "support/clogged_connection.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"
#include "support/scripted_peer.h"

namespace {

using namespace std::chrono_literals;
using ozu::ddns::connect_to_server;
using ozu::ddns::exchange_http;
using ozu::ddns::ExchangeBuffer;
using ozu::ddns::SocketHandle;
using ozu_test::OutputCapture;
using ozu_test::ScriptedPeer;

namespace address = ozu_test::address;

const std::string kRequest = "GET /update.php?mymac=AA&myip=& HTTP/1.0\r\nHost:x\r\n\r\n";
const std::string kReply = "HTTP/1.0 200 OK\r\n\r\nSUCCESS";

int fail_to_resolve(const char*, std::uint32_t*)
{
    return -1;
}

ExchangeBuffer request_buffer()
{
    ExchangeBuffer buffer{};
    std::memcpy(buffer.data(), kRequest.c_str(), kRequest.size() + 1);
    return buffer;
}

bool is_open(int descriptor)
{
    return fcntl(descriptor, F_GETFD) != -1;
}

long long milliseconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

TEST(Exchange, SendsTheRequestOnceReceivesTheReplyAndClosesTheSocket)
{
    ScriptedPeer peer(address::kExchangeReply, {ozu_test::reply_with(kReply)});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection = connect_to_server(address::kExchangeReply, peer.port(), ozu_test::resolve_numeric);
    ASSERT_TRUE(connection);
    const int descriptor = connection.get();
    ExchangeBuffer buffer = request_buffer();

    OutputCapture capture;
    const int received = exchange_http(std::move(connection), buffer, 5s);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_EQ(received, static_cast<int>(kReply.size()));
    EXPECT_EQ(std::string(buffer.data()), kReply);
    EXPECT_FALSE(is_open(descriptor));
    ASSERT_TRUE(peer.wait_for_requests(1, 5s));
    EXPECT_EQ(peer.requests()[0], kRequest);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
}

TEST(Exchange, SilentCloseFailsWithoutAnyMessage)
{
    ScriptedPeer peer(address::kExchangeSilentClose, {ozu_test::close_silently()});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection =
        connect_to_server(address::kExchangeSilentClose, peer.port(), ozu_test::resolve_numeric);
    const int descriptor = connection.get();
    ExchangeBuffer buffer = request_buffer();

    OutputCapture capture;
    const int received = exchange_http(std::move(connection), buffer, 5s);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_EQ(received, -1);
    EXPECT_FALSE(is_open(descriptor));
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
}

TEST(Exchange, ReceiveErrorIsReportedOnStandardError)
{
    ScriptedPeer peer(address::kExchangeReset, {ozu_test::reset_connection()});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection = connect_to_server(address::kExchangeReset, peer.port(), ozu_test::resolve_numeric);
    ExchangeBuffer buffer = request_buffer();

    OutputCapture capture;
    const int received = exchange_http(std::move(connection), buffer, 5s);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_EQ(received, -1);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "error recv()ing reply: Connection reset by peer\n");
}

TEST(Exchange, ReplyInTwoPiecesIsJudgedOnTheFirst)
{
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    ScriptedPeer peer(address::kExchangeSplit, {ozu_test::reply_in_pieces({head, "SUCCESS"})});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection = connect_to_server(address::kExchangeSplit, peer.port(), ozu_test::resolve_numeric);
    ExchangeBuffer buffer = request_buffer();

    EXPECT_EQ(exchange_http(std::move(connection), buffer, 5s), static_cast<int>(head.size()));
    EXPECT_EQ(std::string(buffer.data()), head);
}

TEST(Exchange, OversizedReplyIsCutAt2047BytesAndTerminated)
{
    const std::string reply = "HTTP/1.0 200 OK\r\n\r\n" + std::string(3000, 'x');
    ScriptedPeer peer(address::kExchangeOversized, {ozu_test::reply_with(reply)});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection =
        connect_to_server(address::kExchangeOversized, peer.port(), ozu_test::resolve_numeric);
    ExchangeBuffer buffer = request_buffer();
    buffer.fill('#');
    std::memcpy(buffer.data(), kRequest.c_str(), kRequest.size() + 1);

    const int received = exchange_http(std::move(connection), buffer, 5s);

    ASSERT_GT(received, 0);
    EXPECT_LE(received, 2047);
    EXPECT_EQ(buffer[static_cast<std::size_t>(received)], '\0');
    EXPECT_EQ(std::string(buffer.data()), reply.substr(0, static_cast<std::size_t>(received)));
}

TEST(Exchange, FailedSendIsReportedAndTheReplyStillCounts)
{
    ScriptedPeer peer(address::kExchangeFailedSend, {ozu_test::reply_with(kReply)});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection =
        connect_to_server(address::kExchangeFailedSend, peer.port(), ozu_test::resolve_numeric);
    ASSERT_EQ(shutdown(connection.get(), SHUT_WR), 0);
    ExchangeBuffer buffer = request_buffer();

    OutputCapture capture;
    const int received = exchange_http(std::move(connection), buffer, 5s);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_EQ(received, static_cast<int>(kReply.size()));
    EXPECT_EQ(output.out, "error send()ing request:Broken pipe\n");
    EXPECT_EQ(output.err, "");
}

TEST(Exchange, ReadWaitTimeoutIsReportedOnStandardError)
{
    ScriptedPeer peer(address::kExchangeReadTimeout, {ozu_test::stall()});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection =
        connect_to_server(address::kExchangeReadTimeout, peer.port(), ozu_test::resolve_numeric);
    ExchangeBuffer buffer = request_buffer();

    const auto start = std::chrono::steady_clock::now();
    OutputCapture capture;
    const int received = exchange_http(std::move(connection), buffer, 300ms);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_EQ(received, -1);
    EXPECT_GE(milliseconds_since(start), 300);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "timeout\n");
}

TEST(Exchange, WriteWaitTimeoutIsReportedOnStandardOutput)
{
    ozu_test::CloggedConnection clogged(address::kExchangeWriteTimeout);
    ExchangeBuffer buffer = request_buffer();

    const auto start = std::chrono::steady_clock::now();
    OutputCapture capture;
    const int received = exchange_http(clogged.take_client(), buffer, 300ms);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_EQ(received, -1);
    EXPECT_GE(milliseconds_since(start), 300);
    EXPECT_EQ(output.out, "time out\n");
    EXPECT_EQ(output.err, "");
}

TEST(Exchange, BothWaitsShareOneBudget)
{
    ozu_test::CloggedConnection clogged(address::kExchangeSharedBudget);
    clogged.drain_after(600ms);
    ExchangeBuffer buffer = request_buffer();

    const auto start = std::chrono::steady_clock::now();
    OutputCapture capture;
    const int received = exchange_http(clogged.take_client(), buffer, 1000ms);
    const ozu_test::CapturedOutput output = capture.finish();
    const long long elapsed = milliseconds_since(start);

    EXPECT_EQ(received, -1);
    EXPECT_EQ(output.out, "") << "the write wait must have ended in time";
    EXPECT_EQ(output.err, "timeout\n");
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 1450) << "the read wait must get only what the write wait left";
}

// A descriptor number that no test opens.
constexpr int kUnusedDescriptor = 1999;

TEST(Exchange, WriteWaitErrorIsReportedOnStandardOutput)
{
    ASSERT_FALSE(is_open(kUnusedDescriptor));
    ExchangeBuffer buffer = request_buffer();

    OutputCapture capture;
    const int received = exchange_http(SocketHandle(kUnusedDescriptor), buffer, 1s);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_EQ(received, -1);
    EXPECT_EQ(output.out, "select error:Bad file descriptor\n");
    EXPECT_EQ(output.err, "");
}

TEST(Exchange, ReadWaitErrorIsTheBareErrorText)
{
    ASSERT_FALSE(is_open(kUnusedDescriptor));
    const ozu::ddns::ExchangeDeadline deadline(1s);

    OutputCapture capture;
    const bool ready = ozu::ddns::wait_until_readable(kUnusedDescriptor, deadline);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_FALSE(ready);
    EXPECT_EQ(output.out, "Bad file descriptor");
    EXPECT_EQ(output.err, "");
}

TEST(Exchange, WorksOnADescriptorBeyondFdSetSize)
{
    constexpr int kHighDescriptor = FD_SETSIZE + 100;
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const auto needed = static_cast<rlim_t>(kHighDescriptor + 1);
    if (limit.rlim_cur < needed) {
        limit.rlim_cur = std::min(limit.rlim_max, needed);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < needed) {
        GTEST_SKIP() << "the descriptor limit does not reach " << kHighDescriptor;
    }
    ScriptedPeer peer(address::kExchangeHighDescriptor, {ozu_test::reply_with(kReply)});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection =
        connect_to_server(address::kExchangeHighDescriptor, peer.port(), ozu_test::resolve_numeric);
    const int high = fcntl(connection.get(), F_DUPFD, kHighDescriptor);
    ASSERT_GE(high, kHighDescriptor);
    connection = SocketHandle(high);
    ExchangeBuffer buffer = request_buffer();

    EXPECT_EQ(exchange_http(std::move(connection), buffer, 5s), static_cast<int>(kReply.size()));
    EXPECT_EQ(std::string(buffer.data()), kReply);
}

TEST(Connection, RefusedConnectIsReportedWithPerror)
{
    const int placeholder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, address::kConnectRefused, &local.sin_addr);
    socklen_t length = sizeof local;
    ASSERT_EQ(bind(placeholder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    getsockname(placeholder, reinterpret_cast<sockaddr*>(&local), &length);

    OutputCapture capture;
    const SocketHandle connection =
        connect_to_server(address::kConnectRefused, ntohs(local.sin_port), ozu_test::resolve_numeric);
    const ozu_test::CapturedOutput output = capture.finish();
    close(placeholder);

    EXPECT_FALSE(connection);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "connect: Connection refused\n");
}

TEST(Connection, UnresolvedServerFailsWithoutMessage)
{
    OutputCapture capture;
    const SocketHandle connection = connect_to_server("server", 80, fail_to_resolve);
    const ozu_test::CapturedOutput output = capture.finish();

    EXPECT_FALSE(connection);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
}

}  // namespace
