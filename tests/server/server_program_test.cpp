#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "reference_server.h"
#include "server_test_support.h"
#include "test_addresses.h"

namespace {

using namespace std::chrono_literals;
using server_test::run_process;

const std::string kProgram = OZU_SERVER_PROGRAM;

TEST(ServerProgram, HelpGoesToStdout) {
    const server_test::ProcessResult result = run_process({kProgram, "--help"}, 5s);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out.rfind("usage: ozu-ddns-server [options]\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("none, stall, close, not-ok, no-markers, oversized, split"), std::string::npos);
    EXPECT_EQ(result.err, "");
}

TEST(ServerProgram, RefusesBadOptionsWithTheReason) {
    server_test::expect_refusals(kProgram, "ozu-ddns-server",
                                 {{{"--bogus", "1"}, "unknown option '--bogus'"},
                                  {{"--http-port", "70000"}, "invalid port for --http-port: '70000'"},
                                  {{"--http-port", "0"}, "invalid port for --http-port: '0'"},
                                  {{"--register-port", "-1"}, "invalid port for --register-port: '-1'"},
                                  {{"--register-port", "88x"}, "invalid port for --register-port: '88x'"},
                                  {{"--fault", "sideways"}, "unknown fault mode 'sideways'"},
                                  {{"--zone"}, "option --zone needs a value"},
                                  {{"extra"}, "unexpected argument 'extra'"}});
}

TEST(ServerProgram, ReportsAPortInUse) {
    const std::string address = server_test::address::kProgramPortInUse;
    ozu_ref::ServerConfig config;
    config.address = address;
    config.register_port = server_test::kRegisterPort;
    ozu_ref::ReferenceServer holder(config);
    ASSERT_TRUE(holder.start(nullptr));
    const server_test::ProcessResult result =
        run_process({kProgram, "--address", address, "--http-port", "18081"}, 5s);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "ozu-ddns-server: cannot listen on " + address + ":8879: Address already in use\n");
}

TEST(ServerProgram, LogsEachExchangeOnOneLineUntilTerminated) {
    const std::string address = server_test::address::kProgramRun;
    server_test::ChildProcess program(
        {kProgram, "--address", address, "--http-port", "18080", "--zone", "cams.example", "--fault", "not-ok"});
    ASSERT_TRUE(server_test::wait_until_listening(address, server_test::kRegisterPort, 5s));
    server_test::RawClient http_client(address, server_test::kHttpPort);
    http_client.send_bytes(server_test::device_request("/update.php?mymac=AB:CD&myip=10.0.0.1&", address));
    EXPECT_EQ(http_client.receive_until_closed(5s),
              "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n\r\nSUCC:online:10.0.0.1:abcd.cams.example");
    server_test::RawClient register_client(address, server_test::kRegisterPort);
    server_test::RecordFields fields;
    fields.command = 103;
    register_client.send_bytes(server_test::device_record(fields));
    EXPECT_TRUE(register_client.receive_until_closed(5s));
    program.signal(SIGTERM);
    const server_test::ProcessResult result = program.wait(5s);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out,
              "http " + address + " GET /update.php type=0 query=\"mymac=AB:CD&myip=10.0.0.1&\" -> 404 "
              "SUCC:online:10.0.0.1:abcd.cams.example\n"
              "register " + address + " cmd=103 serial=SN1 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 "
              "domain=SN1.diy port=80 time=1700000000 type=DDNS status=online -> 103 (empty domain)\n");
    EXPECT_EQ(result.err, "ozu-ddns-server: serving zone cams.example on " + address +
                              " (http 18080, register 8879, fault not-ok)\n");
}

}  // namespace
