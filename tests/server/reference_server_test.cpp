#include "reference_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "server_test_support.h"
#include "test_addresses.h"

namespace {

using namespace std::chrono_literals;
using server_test::kHttpPort;
using server_test::kRegisterPort;
using server_test::RawClient;

const std::string kHead200 = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
const std::string kHead404 = "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\n";
const std::string kOnlineQuery = "id=SN1&mac=00:11:22:33:44:55&port=80&type=0x7&status=online";

ozu_ref::ServerConfig config_for(const std::string& address, ozu_ref::Fault fault = ozu_ref::Fault::None) {
    ozu_ref::ServerConfig config;
    config.address = address;
    config.http_port = kHttpPort;
    config.register_port = kRegisterPort;
    config.fault = fault;
    return config;
}

std::string type2_update(const std::string& address) {
    return server_test::device_request("/register/deviceupdate?encrypt=" + server_test::encipher(kOnlineQuery),
                                       address);
}

// Sends one request from the server's own address and returns all it answered.
std::optional<std::string> exchange(const std::string& address, int port, const std::string& request) {
    RawClient client(address, port);
    if (!client.connected()) {
        return std::nullopt;
    }
    client.send_bytes(request);
    return client.receive_until_closed(5s);
}

class RunningServer {
public:
    explicit RunningServer(const ozu_ref::ServerConfig& config) : server_(config) {
        std::string error;
        started_ = server_.start(&error);
        EXPECT_TRUE(started_) << error;
    }
    ozu_ref::ReferenceServer& operator*() { return server_; }
    ozu_ref::ReferenceServer* operator->() { return &server_; }

private:
    ozu_ref::ReferenceServer server_;
    bool started_ = false;
};

TEST(ReferenceServer, AnswersAnHttpRequestAndRecordsIt) {
    const std::string address = server_test::address::kHttpReply;
    RunningServer server(config_for(address));
    const std::string request = type2_update(address);
    EXPECT_EQ(exchange(address, kHttpPort, request), kHead200 + "SUCCESS");
    const std::vector<ozu_ref::Exchange> exchanges = server->exchanges();
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].channel, "http");
    EXPECT_EQ(exchanges[0].raw, request);
    EXPECT_EQ(exchanges[0].log_line,
              "http " + address + " GET /register/deviceupdate type=2 query=\"" + kOnlineQuery + "\" -> 200 SUCCESS");
    EXPECT_EQ(server->device_status("SN1"), "online");
}

TEST(ReferenceServer, AnswersARegisterRecordAndRecordsIt) {
    const std::string address = server_test::address::kRegisterReply;
    RunningServer server(config_for(address));
    const std::string record = server_test::device_record(server_test::RecordFields{});
    const std::optional<std::string> reply = exchange(address, kRegisterPort, record);
    ASSERT_TRUE(reply);
    std::string expected(432, '\0');
    expected[0] = 101;
    expected.replace(216, 9, "ddns.test");
    EXPECT_EQ(*reply, expected);
    const std::vector<ozu_ref::Exchange> exchanges = server->exchanges();
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].channel, "register");
    EXPECT_EQ(exchanges[0].raw, record);
    EXPECT_EQ(exchanges[0].log_line, "register " + address +
                                         " cmd=101 serial=SN1 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 "
                                         "domain=SN1.diy port=80 time=1700000000 type=DDNS status=online -> 101 "
                                         "ddns.test");
}

TEST(ReferenceServer, RegistrationOverOneChannelIsFoundOverAnother) {
    const std::string address = server_test::address::kRegistration;
    RunningServer server(config_for(address));
    server->set_domain("SN5", "front-door");
    server_test::RecordFields fields;
    fields.serial = "SN4";
    exchange(address, kRegisterPort, server_test::device_record(fields));
    const auto lookup = [&](const std::string& serial) {
        return exchange(address, kHttpPort,
                        server_test::device_request(
                            "/register/devicegetdomain?encrypt=" + server_test::encipher("id=" + serial), address));
    };
    EXPECT_EQ(lookup("SN4"), kHead200 + "ACK SUCCESS domain=SN4.ddns.test");
    EXPECT_EQ(lookup("SN5"), kHead200 + "ACK SUCCESS domain=front-door.ddns.test");
    EXPECT_EQ(lookup("SN6"), kHead200 + "FAIL unknown device");
}

struct FaultCase {
    ozu_ref::Fault fault;
    std::string reply;
    std::string logged_reply;
};

TEST(ReferenceServer, HttpFaultModesAsSeenOnTheWire) {
    const std::string address = server_test::address::kHttpFaults;
    RunningServer server(config_for(address));
    const std::string oversized = kHead200 + std::string(2048, '.') + "SUCCESS";
    const std::vector<FaultCase> cases = {
        {ozu_ref::Fault::CloseWithoutAnswer, "", "closed without answer"},
        {ozu_ref::Fault::NotOk, kHead404 + "SUCCESS", "404 SUCCESS"},
        {ozu_ref::Fault::NoMarkers, kHead200 + "no registration data", "200 no registration data"},
        {ozu_ref::Fault::Oversized, oversized, "200 SUCCESS after 2048 filler bytes"},
        {ozu_ref::Fault::SplitReply, kHead200 + "SUCCESS", "200 SUCCESS (body sent separately)"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(ozu_ref::fault_name(c.fault));
        server->set_fault(c.fault);
        EXPECT_EQ(exchange(address, kHttpPort, type2_update(address)), c.reply);
        const std::string log_line = server->exchanges().back().log_line;
        EXPECT_EQ(log_line.substr(log_line.find(" -> ") + 4), c.logged_reply);
    }
    EXPECT_GT(oversized.size(), 2047u);
    for (const char* marker : {"SUCC", "ACK", "domain="}) {
        EXPECT_EQ(oversized.substr(0, 2047).find(marker), std::string::npos) << marker;
    }
}

TEST(ReferenceServer, RegisterFaultModesAsSeenOnTheWire) {
    const std::string address = server_test::address::kRegisterFaults;
    RunningServer server(config_for(address));
    std::string empty_domain(432, '\0');
    empty_domain[0] = 101;
    std::string good = empty_domain;
    good.replace(216, 9, "ddns.test");
    const std::vector<FaultCase> cases = {
        {ozu_ref::Fault::CloseWithoutAnswer, "", "closed without answer"},
        {ozu_ref::Fault::NotOk, empty_domain, "101 (empty domain)"},
        {ozu_ref::Fault::NoMarkers, std::string(432, '\0'), "0 (empty domain)"},
        {ozu_ref::Fault::Oversized, std::string(2048, '\0') + good, "101 ddns.test after 2048 zero bytes"},
        {ozu_ref::Fault::SplitReply, good, "101 ddns.test (in two sends)"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(ozu_ref::fault_name(c.fault));
        server->set_fault(c.fault);
        EXPECT_EQ(exchange(address, kRegisterPort, server_test::device_record(server_test::RecordFields{})), c.reply);
        const std::string log_line = server->exchanges().back().log_line;
        EXPECT_EQ(log_line.substr(log_line.find(" -> ") + 4), c.logged_reply);
    }
}

TEST(ReferenceServer, SplitReplyKeepsTheMarkersOutOfTheFirstReceive) {
    const std::string address = server_test::address::kSplitReply;
    RunningServer server(config_for(address, ozu_ref::Fault::SplitReply));
    struct Split {
        int port;
        std::string request;
        std::size_t first_part;
    };
    const std::vector<Split> splits = {
        {kHttpPort, type2_update(address), kHead200.size()},
        {kRegisterPort, server_test::device_record(server_test::RecordFields{}), 216},
    };
    for (const Split& split : splits) {
        RawClient client(address, split.port);
        client.send_bytes(split.request);
        const auto sent_at = std::chrono::steady_clock::now();
        const std::optional<std::string> first = client.receive_once(2s);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->size(), split.first_part);
        const std::optional<std::string> rest = client.receive_once(2s);
        ASSERT_TRUE(rest);
        EXPECT_FALSE(rest->empty());
        EXPECT_GE(std::chrono::steady_clock::now() - sent_at, 150ms);
    }
}

TEST(ReferenceServer, AFaultDoesNotApplyToRequestsOutsideTheDeviceInterface) {
    const std::string address = server_test::address::kNonDeviceRequest;
    RunningServer server(config_for(address, ozu_ref::Fault::CloseWithoutAnswer));
    EXPECT_EQ(exchange(address, kHttpPort, server_test::device_request("/index.html", address)),
              "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\nnot found");
}

struct StallCase {
    const char* address;
    int port;
    std::string request;
};

// A stalled exchange holds its connection open and silent until stop(), which
// must still end promptly.
void expect_stall_until_stop(const StallCase& c) {
    RunningServer server(config_for(c.address, ozu_ref::Fault::Stall));
    RawClient client(c.address, c.port);
    client.send_bytes(c.request);
    ASSERT_TRUE(server->wait_for_exchanges(1, 2s));
    EXPECT_EQ(client.receive_once(300ms), std::nullopt);
    EXPECT_NE(server->exchanges()[0].log_line.find(" -> no answer (stall)"), std::string::npos);
    const auto stopping = std::chrono::steady_clock::now();
    server->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
    EXPECT_EQ(client.receive_until_closed(1s), "");
}

TEST(ReferenceServer, HttpStallLastsUntilStop) {
    expect_stall_until_stop({server_test::address::kHttpStall, kHttpPort,
                             type2_update(server_test::address::kHttpStall)});
}

TEST(ReferenceServer, RegisterStallLastsUntilStop) {
    expect_stall_until_stop({server_test::address::kRegisterStall, kRegisterPort,
                             server_test::device_record(server_test::RecordFields{})});
}

TEST(ReferenceServer, StopDoesNotWaitForAClientThatSendsNothing) {
    const std::string address = server_test::address::kIdleClient;
    RunningServer server(config_for(address));
    RawClient http_client(address, kHttpPort);
    RawClient register_client(address, kRegisterPort);
    register_client.send_bytes(std::string(100, '\0'));
    std::this_thread::sleep_for(100ms);
    const auto stopping = std::chrono::steady_clock::now();
    server->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
    EXPECT_TRUE(server->exchanges().empty());
}

TEST(ReferenceServer, AShortRecordIsClosedUnanswered) {
    const std::string address = server_test::address::kShortRecord;
    RunningServer server(config_for(address));
    RawClient client(address, kRegisterPort);
    client.send_bytes(std::string(100, '\0'));
    client.finish_sending();
    EXPECT_EQ(client.receive_until_closed(2s), "");
    ASSERT_EQ(server->exchanges().size(), 1u);
    EXPECT_EQ(server->exchanges()[0].log_line,
              "register " + address + " short record (100 of 432 bytes) -> closed without answer (incomplete record)");
}

TEST(ReferenceServer, ReportsAPortThatCannotBeBound) {
    const std::string address = server_test::address::kPortInUse;
    RunningServer first(config_for(address));
    ozu_ref::ReferenceServer second(config_for(address));
    std::string error;
    EXPECT_FALSE(second.start(&error));
    EXPECT_EQ(error, "cannot listen on " + address + ":18080: Address already in use");
}

TEST(ReferenceServer, RefusesAZoneThatCannotBeAnswered) {
    ozu_ref::ServerConfig config = config_for(server_test::address::kBadZone);
    config.zone = "bad:zone";
    ozu_ref::ReferenceServer server(config);
    std::string error;
    EXPECT_FALSE(server.start(&error));
    EXPECT_EQ(error, "invalid zone 'bad:zone': may hold neither ':', blanks nor control characters");
}

TEST(ReferenceServer, PrintsOneLinePerExchangeOnlyWhenAsked) {
    const std::string address = server_test::address::kLogToStdout;
    for (const bool log_exchanges : {false, true}) {
        ozu_ref::ServerConfig config = config_for(address);
        config.log_exchanges = log_exchanges;
        const std::string printed = server_test::captured_stdout([&] {
            RunningServer server(config);
            exchange(address, kHttpPort, server_test::device_request("/index.html", address));
        });
        const std::string line = "http " + address + " request=\"GET /index.html HTTP/1.0\" -> 404 not found\n";
        EXPECT_EQ(printed, log_exchanges ? line : "");
    }
}

TEST(ReferenceServer, WaitForExchangesIsBounded) {
    const std::string address = server_test::address::kWaitForExchanges;
    RunningServer server(config_for(address));
    const auto waiting = std::chrono::steady_clock::now();
    EXPECT_FALSE(server->wait_for_exchanges(1, 200ms));
    EXPECT_LT(std::chrono::steady_clock::now() - waiting, 1s);
    exchange(address, kHttpPort, type2_update(address));
    EXPECT_TRUE(server->wait_for_exchanges(1, 0ms));
}

TEST(FaultNames, RoundTrip) {
    for (const ozu_ref::FaultName& entry : ozu_ref::kFaultNames) {
        ozu_ref::Fault parsed = ozu_ref::Fault::None;
        EXPECT_TRUE(ozu_ref::parse_fault(entry.name, &parsed));
        EXPECT_EQ(parsed, entry.fault);
        EXPECT_STREQ(ozu_ref::fault_name(entry.fault), entry.name);
    }
    ozu_ref::Fault unchanged = ozu_ref::Fault::Stall;
    EXPECT_FALSE(ozu_ref::parse_fault("sideways", &unchanged));
    EXPECT_EQ(unchanged, ozu_ref::Fault::Stall);
}

}  // namespace
