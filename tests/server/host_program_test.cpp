#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "reference_server.h"
#include "server_test_support.h"
#include "test_addresses.h"

namespace {

using namespace std::chrono_literals;
using server_test::run_process;

const std::string kHost = OZU_HOST_PROGRAM;

TEST(HostProgram, HelpNamesEveryOption) {
    const server_test::ProcessResult result = run_process({kHost, "--help"}, 5s);
    EXPECT_EQ(result.exit_code, 0);
    for (const char* option : {"--server", "--port", "--serial", "--mac", "--ip", "--type", "--interval",
                               "--device-id", "--http-port", "--hold", "--library", "--help"}) {
        EXPECT_NE(result.out.find(std::string("  ") + option + " "), std::string::npos) << option;
    }
}

TEST(HostProgram, RefusesBadOptions) {
    server_test::expect_refusals(kHost, "ozu-ddns-host",
                                 {{{"--type", "3"}, "invalid value for --type: '3'"},
                                  {{"--port", "0"}, "invalid value for --port: '0'"},
                                  {{"--device-id", "0xZZ"}, "invalid value for --device-id: '0xZZ'"},
                                  {{"--hold", "-1"}, "invalid value for --hold: '-1'"},
                                  {{"--colour", "red"}, "unknown option '--colour'"},
                                  {{"--serial"}, "option --serial needs a value"}});
}

// A library without the entry points (libc here) is refused with every missing name listed.
TEST(HostProgram, RefusesALibraryItCannotUse) {
    const server_test::ProcessResult missing = run_process({kHost, "--library", "/nonexistent/libnone.so"}, 5s);
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(missing.err.rfind("ozu-ddns-host: cannot load /nonexistent/libnone.so: ", 0), 0u) << missing.err;
    const server_test::ProcessResult libc = run_process({kHost, "--library", "libc.so.6"}, 5s);
    EXPECT_EQ(libc.exit_code, 1);
    for (const char* name : {"ozu_dnsupdate_init_v2", "ozu_dnsupdate_start", "ozu_dnsupdate_stop",
                             "ozu_dnsupdate_init_rdn", "ozu_dnsupdate_once", "ozu_dnsupdate_getname"}) {
        EXPECT_NE(libc.err.find(std::string("ozu-ddns-host: the library has no entry point ") + name + "\n"),
                  std::string::npos)
            << libc.err;
    }
}

// The update worker's records (101 and 102) in order. The domain-name thread's queries (103) are
// left out: that thread runs until the process ends, so one may land even after the offline report.
std::vector<std::string> worker_records(const std::vector<ozu_ref::Exchange>& exchanges) {
    std::vector<std::string> records;
    for (const ozu_ref::Exchange& exchange : exchanges) {
        if (exchange.channel == "register" && exchange.log_line.find(" cmd=103 ") == std::string::npos) {
            records.push_back(exchange.log_line);
        }
    }
    return records;
}

struct HostFlow {
    const char* address;
    int type;
    std::string domain;
    std::string start_record;  // the deciphered start record as logged
    std::string start_answer;
};

// The whole registration as a device runs it: announce, update, learn the name, go offline.
void expect_registration(const HostFlow& flow) {
    ozu_ref::ReferenceServer server(server_test::loopback_config(flow.address));
    ASSERT_TRUE(server.start(nullptr));
    const server_test::ProcessResult result =
        run_process({kHost, "--server", flow.address, "--port", std::to_string(server_test::kHttpPort), "--serial",
                     "SN77", "--mac", "00:11:22:33:44:77", "--type", std::to_string(flow.type)},
                    60s);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("domain name: " + flow.domain + "\n"), std::string::npos) << result.out;
    if (flow.type != 2) {
        // Records without a serial report nothing, so the HTTP update's status stands.
        EXPECT_EQ(server.device_status("00:11:22:33:44:77"), "online");
    }
    const std::vector<std::string> records = worker_records(server.exchanges());
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const std::string& line) {
        return line.find(flow.start_record) != std::string::npos &&
               line.find(" -> " + flow.start_answer) != std::string::npos;
    })) << flow.start_record;
    ASSERT_FALSE(records.empty());
    EXPECT_NE(records.back().find(" cmd=102 "), std::string::npos) << records.back();
    EXPECT_NE(records.back().find(" status=offline -> "), std::string::npos) << records.back();
}

TEST(HostProgram, RegistersOverTheRegistrationInterface) {
    expect_registration({server_test::address::kHostType2, 2, "SN77.ddns.test",
                         " cmd=101 serial=SN77 ip=192.168.1.64 mac=00:11:22:33:44:77 id=0x7 domain=SN77.",
                         "101 ddns.test"});
}

TEST(HostProgram, RegistersOverTheDiyInterface) {
    expect_registration({server_test::address::kHostType1, 1, "001122334477.ddns.test",
                         " cmd=101 serial= ip=192.168.1.64 mac=00:11:22:33:44:77 id=0x7 domain=.",
                         "101 (empty domain)"});
}

TEST(HostProgram, RegistersOverThePlainInterface) {
    expect_registration({server_test::address::kHostType0, 0, "001122334477.ddns.test",
                         " cmd=101 serial= ip=192.168.1.64 mac=00:11:22:33:44:77 id=0x0 domain=.",
                         "101 (empty domain)"});
}

// Held open, the worker gets to its first online report before stop sends the offline one,
// and the host's progress lines follow the calls in order.
TEST(HostProgram, HoldsTheWorkerForItsOnlineReport) {
    const std::string address = server_test::address::kHostHold;
    ozu_ref::ReferenceServer server(server_test::loopback_config(address));
    ASSERT_TRUE(server.start(nullptr));
    const server_test::ProcessResult result =
        run_process({kHost, "--server", address, "--port", "18080", "--serial", "SN78", "--hold", "2"}, 60s);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    const std::vector<std::string> steps = {
        "ozu-ddns-host: ozu_dnsupdate_init_v2: server " + address + ", HTTP port 18080, interface type 2\n",
        "ozu-ddns-host: ozu_dnsupdate_start: update worker running\n",
        "ozu-ddns-host: ozu_dnsupdate_init_rdn: domain-name thread running\n",
        "ozu-ddns-host: ozu_dnsupdate_once(0): the server confirmed the update\n",
        "domain name: SN78.ddns.test\n",
        "ozu-ddns-host: ozu_dnsupdate_stop: update worker stopped after its offline report\n",
    };
    std::size_t from = 0;
    for (const std::string& step : steps) {
        const std::size_t at = result.out.find(step, from);
        ASSERT_NE(at, std::string::npos) << step << "in\n" << result.out;
        from = at + step.size();
    }
    const std::vector<std::string> records = worker_records(server.exchanges());
    ASSERT_GE(records.size(), 3u);
    for (const std::string status : {"online", "offline"}) {
        const std::string& record = records[records.size() - (status == "online" ? 2 : 1)];
        EXPECT_NE(record.find(" cmd=102 serial=SN78 "), std::string::npos) << record;
        EXPECT_NE(record.find(" status=" + status + " -> "), std::string::npos) << record;
    }
}

}  // namespace
