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
using namespace ozu::ddns;
using namespace ozu_test;

const std::string kRequest = "GET /update.php?mymac=AA&myip=& HTTP/1.0\r\nHost:x\r\n\r\n";
const std::string kReply = "HTTP/1.0 200 OK\r\n\r\nSUCCESS";
const std::string kHead = "HTTP/1.0 200 OK\r\n\r\n";

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

struct ExchangeOutcome {
    int received;
    std::string text;
    CapturedOutput output;
};

ExchangeOutcome captured_exchange(SocketHandle connection, std::chrono::milliseconds budget)
{
    ExchangeBuffer buffer = request_buffer();
    OutputCapture capture;
    const int received = exchange_http(std::move(connection), buffer, budget);
    CapturedOutput output = capture.finish();
    return {received, buffer.data(), std::move(output)};
}

// One peer behaviour per case; the socket is closed on every path.
struct PeerCase {
    const char* name;
    const char* server;
    PeerStep step;
    std::chrono::milliseconds budget;
    int received;
    std::string text;  // the buffer after a successful exchange
    std::string err;
};

class ExchangeWithPeer : public testing::TestWithParam<PeerCase> {};

TEST_P(ExchangeWithPeer, ReceivesOnceAndReportsFailuresOnStandardError)
{
    const PeerCase& test = GetParam();
    ScriptedPeer peer(test.server, {test.step});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection = connect_to_server(test.server, peer.port(), resolve_numeric);
    ASSERT_TRUE(connection);
    const int descriptor = connection.get();

    const auto start = std::chrono::steady_clock::now();
    const ExchangeOutcome outcome = captured_exchange(std::move(connection), test.budget);

    EXPECT_EQ(outcome.received, test.received);
    if (test.received > 0) {
        EXPECT_EQ(outcome.text, test.text);
    }
    if (test.step.action == PeerStep::Action::Stall) {
        EXPECT_GE(milliseconds_since(start), test.budget.count());
    }
    EXPECT_FALSE(is_open(descriptor));
    ASSERT_TRUE(peer.wait_for_requests(1, 5s));
    EXPECT_EQ(peer.requests()[0], kRequest);
    EXPECT_EQ(outcome.output.out, "");
    EXPECT_EQ(outcome.output.err, test.err);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, ExchangeWithPeer,
    testing::Values(
        PeerCase{"Reply", address::kExchangeReply, reply_with(kReply), 5s, static_cast<int>(kReply.size()), kReply, ""},
        PeerCase{"SilentClose", address::kExchangeSilentClose, close_silently(), 5s, -1, "", ""},
        PeerCase{"Reset", address::kExchangeReset, reset_connection(), 5s, -1, "",
                 "error recv()ing reply: Connection reset by peer\n"},
        // Only the first piece is read and judged.
        PeerCase{"ReplyInTwoPieces", address::kExchangeSplit, reply_in_pieces({kHead, "SUCCESS"}), 5s,
                 static_cast<int>(kHead.size()), kHead, ""},
        PeerCase{"ReadWaitTimeout", address::kExchangeReadTimeout, stall(), 300ms, -1, "", "timeout\n"}),
    [](const testing::TestParamInfo<PeerCase>& info) { return std::string(info.param.name); });

TEST(Exchange, OversizedReplyIsCutAt2047BytesAndTerminated)
{
    const std::string reply = kHead + std::string(3000, 'x');
    ScriptedPeer peer(address::kExchangeOversized, {reply_with(reply)});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection = connect_to_server(address::kExchangeOversized, peer.port(), resolve_numeric);
    ExchangeBuffer buffer = request_buffer();
    buffer.fill('#');
    std::memcpy(buffer.data(), kRequest.c_str(), kRequest.size() + 1);

    const int received = exchange_http(std::move(connection), buffer, 5s);

    ASSERT_GT(received, 0);
    EXPECT_LE(received, 2047);
    EXPECT_EQ(buffer[static_cast<std::size_t>(received)], '\0');
    EXPECT_EQ(std::string(buffer.data()), reply.substr(0, static_cast<std::size_t>(received)));
}

TEST(Exchange, FailedSendIsReportedOnStandardOutputAndTheReplyStillCounts)
{
    ScriptedPeer peer(address::kExchangeFailedSend, {reply_with(kReply)});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection = connect_to_server(address::kExchangeFailedSend, peer.port(), resolve_numeric);
    ASSERT_EQ(shutdown(connection.get(), SHUT_WR), 0);

    const ExchangeOutcome outcome = captured_exchange(std::move(connection), 5s);

    EXPECT_EQ(outcome.received, static_cast<int>(kReply.size()));
    EXPECT_EQ(outcome.output.out, "error send()ing request:Broken pipe\n");
    EXPECT_EQ(outcome.output.err, "");
}

TEST(Exchange, WriteWaitTimeoutIsReportedOnStandardOutput)
{
    CloggedConnection clogged(address::kExchangeWriteTimeout);
    const auto start = std::chrono::steady_clock::now();
    const ExchangeOutcome outcome = captured_exchange(clogged.take_client(), 300ms);

    EXPECT_EQ(outcome.received, -1);
    EXPECT_GE(milliseconds_since(start), 300);
    EXPECT_EQ(outcome.output.out, "time out\n");
    EXPECT_EQ(outcome.output.err, "");
}

TEST(Exchange, BothWaitsShareOneBudget)
{
    CloggedConnection clogged(address::kExchangeSharedBudget);
    clogged.drain_after(600ms);
    const auto start = std::chrono::steady_clock::now();
    const ExchangeOutcome outcome = captured_exchange(clogged.take_client(), 1000ms);
    const long long elapsed = milliseconds_since(start);

    EXPECT_EQ(outcome.received, -1);
    EXPECT_EQ(outcome.output.out, "") << "the write wait must have ended in time";
    EXPECT_EQ(outcome.output.err, "timeout\n");
    EXPECT_GE(elapsed, 950);
    EXPECT_LT(elapsed, 1450) << "the read wait must get only what the write wait left";
}

// A descriptor number that no test opens.
constexpr int kUnusedDescriptor = 1999;

TEST(Exchange, WaitErrorsAreReportedOnStandardOutput)
{
    ASSERT_FALSE(is_open(kUnusedDescriptor));
    const ExchangeOutcome write = captured_exchange(SocketHandle(kUnusedDescriptor), 1s);
    EXPECT_EQ(write.received, -1);
    EXPECT_EQ(write.output.out, "select error:Bad file descriptor\n");
    EXPECT_EQ(write.output.err, "");

    // The read wait writes the bare error text.
    const ExchangeDeadline deadline(1s);
    OutputCapture capture;
    const bool ready = wait_until_readable(kUnusedDescriptor, deadline);
    const CapturedOutput read = capture.finish();
    EXPECT_FALSE(ready);
    EXPECT_EQ(read.out, "Bad file descriptor");
    EXPECT_EQ(read.err, "");
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
    ScriptedPeer peer(address::kExchangeHighDescriptor, {reply_with(kReply)});
    ASSERT_TRUE(peer.listening());
    SocketHandle connection = connect_to_server(address::kExchangeHighDescriptor, peer.port(), resolve_numeric);
    const int high = fcntl(connection.get(), F_DUPFD, kHighDescriptor);
    ASSERT_GE(high, kHighDescriptor);
    connection = SocketHandle(high);

    const ExchangeOutcome outcome = captured_exchange(std::move(connection), 5s);
    EXPECT_EQ(outcome.received, static_cast<int>(kReply.size()));
    EXPECT_EQ(outcome.text, kReply);
}

TEST(Connection, RefusedConnectIsReportedWithPerrorAndUnresolvedServerQuietly)
{
    const int placeholder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, address::kConnectRefused, &local.sin_addr);
    socklen_t length = sizeof local;
    ASSERT_EQ(bind(placeholder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    getsockname(placeholder, reinterpret_cast<sockaddr*>(&local), &length);

    OutputCapture refusedCapture;
    const SocketHandle refused = connect_to_server(address::kConnectRefused, ntohs(local.sin_port), resolve_numeric);
    const CapturedOutput refusedOutput = refusedCapture.finish();
    close(placeholder);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refusedOutput.out, "");
    EXPECT_EQ(refusedOutput.err, "connect: Connection refused\n");

    OutputCapture unresolvedCapture;
    const SocketHandle unresolved = connect_to_server("server", 80, [](const char*, std::uint32_t*) { return -1; });
    const CapturedOutput unresolvedOutput = unresolvedCapture.finish();
    EXPECT_FALSE(unresolved);
    EXPECT_EQ(unresolvedOutput.out, "");
    EXPECT_EQ(unresolvedOutput.err, "");
}

}  // namespace
