#include "reference_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server_test_support.h"
#include "test_addresses.h"

namespace {

using namespace std::chrono_literals;
using ozu_ref::Fault;
using server_test::device_record;
using server_test::kHttpPort;
using server_test::kRegisterPort;
using server_test::loopback_config;
using server_test::RawClient;
using server_test::reply_record;

const std::string kHead200 = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
const std::string kHead404 = "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\n";
const std::string kOnlineQuery = "id=SN1&mac=00:11:22:33:44:55&port=80&type=0x7&status=online";

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

std::unique_ptr<ozu_ref::ReferenceServer> start_server(const ozu_ref::ServerConfig& config) {
    auto server = std::make_unique<ozu_ref::ReferenceServer>(config);
    std::string error;
    EXPECT_TRUE(server->start(&error)) << error;
    return server;
}

// Each channel answers from the server's own address and logs the exchange on one line; what
// registers over one channel is found over the other.
TEST(ReferenceServer, AnswersAndRecordsEachChannel) {
    const std::string address = server_test::address::kHttpReply;
    const auto server = start_server(loopback_config(address));
    server_test::RecordFields fields;
    fields.serial = "SN4";
    const struct {
        int port;
        std::string request;
        std::string reply;
        std::string log_line;
    } cases[] = {
        {kRegisterPort, device_record(fields), reply_record(101, "ddns.test"),
         "register " + address + " cmd=101 serial=SN4 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 domain=SN1.diy " +
             "port=80 time=1700000000 type=DDNS status=online -> 101 ddns.test"},
        {kHttpPort, type2_update(address), kHead200 + "SUCCESS",
         "http " + address + " GET /register/deviceupdate type=2 query=\"" + kOnlineQuery + "\" -> 200 SUCCESS"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exchange(address, c.port, c.request), c.reply);
        const ozu_ref::Exchange logged = server->exchanges().back();
        EXPECT_EQ(logged.channel, c.port == kHttpPort ? "http" : "register");
        EXPECT_EQ(logged.raw, c.request);
        EXPECT_EQ(logged.log_line, c.log_line);
    }
    EXPECT_EQ(server->exchanges().size(), 2u);
    EXPECT_EQ(server->device_status("SN1"), "online");
    server->set_domain("SN5", "front-door");
    const auto lookup = [&](const std::string& serial) {
        const std::string target = "/register/devicegetdomain?encrypt=" + server_test::encipher("id=" + serial);
        return exchange(address, kHttpPort, server_test::device_request(target, address));
    };
    EXPECT_EQ(lookup("SN4"), kHead200 + "ACK SUCCESS domain=SN4.ddns.test");
    EXPECT_EQ(lookup("SN5"), kHead200 + "ACK SUCCESS domain=front-door.ddns.test");
    EXPECT_EQ(lookup("SN6"), kHead200 + "FAIL unknown device");
}

struct FaultCase {
    Fault fault;
    std::string reply;
    std::string logged_reply;
};

void expect_faults(const std::string& address, int port, const std::string& request,
                   const std::vector<FaultCase>& cases) {
    const auto server = start_server(loopback_config(address));
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(ozu_ref::fault_name(c.fault));
        server->set_fault(c.fault);
        EXPECT_EQ(exchange(address, port, request), c.reply);
        const std::string log_line = server->exchanges().back().log_line;
        EXPECT_EQ(log_line.substr(log_line.find(" -> ") + 4), c.logged_reply);
    }
}

TEST(ReferenceServer, HttpFaultModesAsSeenOnTheWire) {
    const std::string address = server_test::address::kHttpFaults;
    expect_faults(address, kHttpPort, type2_update(address),
                  {{Fault::CloseWithoutAnswer, "", "closed without answer"},
                   {Fault::NotOk, kHead404 + "SUCCESS", "404 SUCCESS"},
                   {Fault::NoMarkers, kHead200 + "no registration data", "200 no registration data"},
                   {Fault::Oversized, kHead200 + std::string(2048, '.') + "SUCCESS",
                    "200 SUCCESS after 2048 filler bytes"},
                   {Fault::SplitReply, kHead200 + "SUCCESS", "200 SUCCESS (body sent separately)"}});
}

TEST(ReferenceServer, RegisterFaultModesAsSeenOnTheWire) {
    const std::string good = reply_record(101, "ddns.test");
    expect_faults(server_test::address::kRegisterFaults, kRegisterPort, device_record(),
                  {{Fault::CloseWithoutAnswer, "", "closed without answer"},
                   {Fault::NotOk, reply_record(101, ""), "101 (empty domain)"},
                   {Fault::NoMarkers, reply_record(0, ""), "0 (empty domain)"},
                   {Fault::Oversized, std::string(2048, '\0') + good, "101 ddns.test after 2048 zero bytes"},
                   {Fault::SplitReply, good, "101 ddns.test (in two sends)"}});
}

TEST(ReferenceServer, SplitReplyKeepsTheMarkersOutOfTheFirstReceive) {
    const std::string address = server_test::address::kSplitReply;
    const auto server = start_server(loopback_config(address, Fault::SplitReply));
    struct Split {
        int port;
        std::string request;
        std::size_t first_part;
    };
    const std::vector<Split> splits = {
        {kHttpPort, type2_update(address), kHead200.size()},
        {kRegisterPort, device_record(), 216},
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
    const auto server = start_server(loopback_config(address, Fault::CloseWithoutAnswer));
    EXPECT_EQ(exchange(address, kHttpPort, server_test::device_request("/index.html", address)),
              kHead404 + "not found");
}

// A stalled exchange holds its connection open and silent until stop(), which must still end promptly.
TEST(ReferenceServer, StallLastsUntilStop) {
    const std::string address = server_test::address::kHttpStall;
    const auto server = start_server(loopback_config(address, Fault::Stall));
    RawClient http_client(address, kHttpPort);
    RawClient register_client(address, kRegisterPort);
    // The wait is bounded even when nothing comes in.
    const auto waiting = std::chrono::steady_clock::now();
    EXPECT_FALSE(server->wait_for_exchanges(1, 200ms));
    EXPECT_LT(std::chrono::steady_clock::now() - waiting, 1s);
    http_client.send_bytes(type2_update(address));
    register_client.send_bytes(device_record());
    ASSERT_TRUE(server->wait_for_exchanges(2, 2s));
    for (RawClient* client : {&http_client, &register_client}) {
        EXPECT_EQ(client->receive_once(300ms), std::nullopt);
    }
    for (const ozu_ref::Exchange& stalled : server->exchanges()) {
        EXPECT_NE(stalled.log_line.find(" -> no answer (stall)"), std::string::npos) << stalled.log_line;
    }
    const auto stopping = std::chrono::steady_clock::now();
    server->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
    for (RawClient* client : {&http_client, &register_client}) {
        EXPECT_EQ(client->receive_until_closed(1s), "");
    }
}

TEST(ReferenceServer, StopDoesNotWaitForAClientThatSendsNothing) {
    const std::string address = server_test::address::kIdleClient;
    const auto server = start_server(loopback_config(address));
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
    const auto server = start_server(loopback_config(address));
    RawClient client(address, kRegisterPort);
    client.send_bytes(std::string(100, '\0'));
    client.finish_sending();
    EXPECT_EQ(client.receive_until_closed(2s), "");
    ASSERT_EQ(server->exchanges().size(), 1u);
    EXPECT_EQ(server->exchanges()[0].log_line,
              "register " + address + " short record (100 of 432 bytes) -> closed without answer (incomplete record)");
}

TEST(ReferenceServer, RefusesToStartWithTheReason) {
    const std::string busy = server_test::address::kPortInUse;
    const auto holder = start_server(loopback_config(busy));
    ozu_ref::ServerConfig bad_zone = loopback_config(server_test::address::kBadZone);
    bad_zone.zone = "bad:zone";
    const std::vector<std::pair<ozu_ref::ServerConfig, std::string>> cases = {
        {loopback_config(busy), "cannot listen on " + busy + ":18080: Address already in use"},
        {bad_zone, "invalid zone 'bad:zone': may hold neither ':', blanks nor control characters"},
    };
    for (const auto& [config, reason] : cases) {
        ozu_ref::ReferenceServer server(config);
        std::string error;
        EXPECT_FALSE(server.start(&error));
        EXPECT_EQ(error, reason);
    }
}

TEST(ReferenceServer, PrintsOneLinePerExchangeOnlyWhenAsked) {
    const std::string address = server_test::address::kLogToStdout;
    for (const bool log_exchanges : {false, true}) {
        ozu_ref::ServerConfig config = loopback_config(address);
        config.log_exchanges = log_exchanges;
        const std::string printed = server_test::captured_stdout([&] {
            const auto server = start_server(config);
            exchange(address, kHttpPort, server_test::device_request("/index.html", address));
        });
        const std::string line = "http " + address + " request=\"GET /index.html HTTP/1.0\" -> 404 not found\n";
        EXPECT_EQ(printed, log_exchanges ? line : "");
    }
}

TEST(FaultNames, RoundTrip) {
    for (const ozu_ref::FaultName& entry : ozu_ref::kFaultNames) {
        Fault parsed = Fault::None;
        EXPECT_TRUE(ozu_ref::parse_fault(entry.name, &parsed));
        EXPECT_EQ(parsed, entry.fault);
        EXPECT_STREQ(ozu_ref::fault_name(entry.fault), entry.name);
    }
    Fault unchanged = Fault::Stall;
    EXPECT_FALSE(ozu_ref::parse_fault("sideways", &unchanged));
    EXPECT_EQ(unchanged, Fault::Stall);
}

}  // namespace
