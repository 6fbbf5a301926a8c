// ozu-ddns once, getname and run against the reference server, each on a loopback address of its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "reference_server.h"
#include "server_test_support.h"
#include "test_addresses.h"
#include "tool_test_addresses.h"
#include "tool_test_support.h"

namespace {

using namespace std::chrono_literals;
using tool_test::run_tool;
using Arguments = std::vector<std::string>;

Arguments settings(const std::string& address, int type, const std::string& mac) {
    return {"--server", address, "--port", std::to_string(server_test::kHttpPort), "--type", std::to_string(type),
            "--serial", "SN" + address.substr(address.rfind('.') + 1), "--mac", mac, "--ip", "192.168.1.64",
            "--device-id", "0x7"};
}

Arguments command(const std::string& name, const Arguments& rest) {
    Arguments words = {name};
    words.insert(words.end(), rest.begin(), rest.end());
    return words;
}

bool logged(const ozu_ref::ReferenceServer& server, const std::string& text) {
    const std::vector<ozu_ref::Exchange> exchanges = server.exchanges();
    return std::any_of(exchanges.begin(), exchanges.end(),
                       [&](const ozu_ref::Exchange& e) { return e.log_line.find(text) != std::string::npos; });
}

struct RunningServer {
    explicit RunningServer(const std::string& address, ozu_ref::Fault fault = ozu_ref::Fault::None)
        : server(server_test::loopback_config(address, fault)) {
        started = server.start(&error);
    }
    ozu_ref::ReferenceServer server;
    std::string error;
    bool started = false;
};

TEST(ToolOnce, SendsTheRegistrationUpdate) {
    RunningServer running(tool_test::address::kOnceRegistration);
    ASSERT_TRUE(running.started) << running.error;
    const tool_test::ProcessResult result =
        run_tool(command("once", settings(tool_test::address::kOnceRegistration, 2, "00:11:22:33:44:43")));
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "online update confirmed\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(logged(running.server, "GET /register/deviceupdate type=2 query=\"id=SN243&mac=00:11:22:33:44:43"
                                       "&port=80&type=0x7&status=online\" -> 200"));
}

TEST(ToolOnce, SendsThePlainOfflineNotice) {
    RunningServer running(tool_test::address::kOncePlainOffline);
    ASSERT_TRUE(running.started) << running.error;
    Arguments words = command("once", settings(tool_test::address::kOncePlainOffline, 0, "00:11:22:33:44:44"));
    words.push_back("--offline");
    const tool_test::ProcessResult result = run_tool(words);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "offline notice confirmed\n");
    EXPECT_EQ(running.server.device_status("00:11:22:33:44:44"), "offline");
}

TEST(ToolOnce, UnconfirmedUpdateFailsWithOneLine) {
    RunningServer running(tool_test::address::kOnceNotConfirmed, ozu_ref::Fault::NotOk);
    ASSERT_TRUE(running.started) << running.error;
    tool_test::expect_error(
        run_tool(command("once", settings(tool_test::address::kOnceNotConfirmed, 2, "00:11:22:33:44:45"))), 1,
        "the server did not confirm the update");
}

TEST(ToolGetName, AsksTheDiyServer) {
    RunningServer running(tool_test::address::kGetNameDiy);
    ASSERT_TRUE(running.started) << running.error;
    running.server.set_domain("00:11:22:33:44:46", "camera246");
    const tool_test::ProcessResult result =
        run_tool(command("getname", settings(tool_test::address::kGetNameDiy, 1, "00:11:22:33:44:46")));
    EXPECT_EQ(result.exit_code, 0) << result.err;
    // The library itself prints the enciphered lookup before the tool prints the name.
    EXPECT_EQ(result.out, "DiyDNS Get: /getipbymac.php?do=getsilent&value=" +
                              server_test::encipher("mymac=00:11:22:33:44:46&") + "\ncamera246.ddns.test\n");
}

TEST(ToolGetName, AsksTheRegistrationServer) {
    RunningServer running(tool_test::address::kGetNameRegistration);
    ASSERT_TRUE(running.started) << running.error;
    running.server.set_domain("SN247", "camera247");
    const tool_test::ProcessResult result =
        run_tool(command("getname", settings(tool_test::address::kGetNameRegistration, 2, "00:11:22:33:44:47")));
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "camera247.ddns.test\n");
}

// The update worker's records (101 and 102) in order, without the domain-name thread's (103).
std::vector<std::string> worker_records(const ozu_ref::ReferenceServer& server) {
    std::vector<std::string> records;
    for (const ozu_ref::Exchange& exchange : server.exchanges()) {
        if (exchange.channel == "register" && exchange.log_line.find(" cmd=103 ") == std::string::npos) {
            records.push_back(exchange.log_line);
        }
    }
    return records;
}

bool wait_for_online_report(const ozu_ref::ReferenceServer& server, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::string> records = worker_records(server);
        if (std::any_of(records.begin(), records.end(), [](const std::string& line) {
                return line.find(" cmd=102 ") != std::string::npos && line.find(" status=online ") != std::string::npos;
            })) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

void expect_clean_stop(const char* address, int signal_number, const std::string& signal_name) {
    RunningServer running(address);
    ASSERT_TRUE(running.started) << running.error;
    server_test::ChildProcess tool(
        [&] {
            Arguments argv = {OZU_TOOL_PROGRAM};
            const Arguments words = command("run", settings(address, 2, "00:11:22:33:44:48"));
            argv.insert(argv.end(), words.begin(), words.end());
            return argv;
        }());
    ASSERT_TRUE(wait_for_online_report(running.server, 60s));
    tool.signal(signal_number);
    const tool_test::ProcessResult result = tool.wait(90s);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    std::size_t from = 0;
    for (const std::string& line : {std::string("running: update worker and domain-name thread; SIGINT or SIGTERM stops\n"),
                                    signal_name + ": stopping after the offline report\n", std::string("stopped\n")}) {
        const std::size_t at = result.out.find(line, from);
        ASSERT_NE(at, std::string::npos) << line << "in\n" << result.out;
        from = at + line.size();
    }
    const std::vector<std::string> records = worker_records(running.server);
    ASSERT_GE(records.size(), 3u);
    EXPECT_NE(records.front().find(" cmd=101 serial=SN"), std::string::npos) << records.front();
    EXPECT_NE(records.back().find(" cmd=102 serial=SN"), std::string::npos) << records.back();
    EXPECT_NE(records.back().find(" status=offline -> "), std::string::npos) << records.back();
}

TEST(ToolRun, StopsOnSigtermAfterTheOfflineReport) {
    expect_clean_stop(tool_test::address::kRunStopsOnSigterm, SIGTERM, "SIGTERM");
}

TEST(ToolRun, StopsOnSigintAfterTheOfflineReport) {
    expect_clean_stop(tool_test::address::kRunStopsOnSigint, SIGINT, "SIGINT");
}

}  // namespace
