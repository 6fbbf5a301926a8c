#include "support/client_faults.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <memory>

#include "ddns/ozu_dnsupdate.h"
#include "ddns/register_module.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"
#include "support/peer_process.h"
#include "support/resolver_double.h"

namespace ozu_test {

namespace {

constexpr int kRegisterPort = 8879;
constexpr std::size_t kRecordSize = 432;
constexpr int kDomainQuery = 103;

std::size_t open_descriptor_count()
{
    DIR* directory = opendir("/proc/self/fd");
    if (directory == nullptr) {
        return 0;
    }
    std::size_t count = 0;
    while (const dirent* entry = readdir(directory)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(directory);
    return count;
}

std::shared_ptr<void> serve_reference(const std::string& address, ozu_ref::Fault fault)
{
    ozu_ref::ServerConfig config;
    config.address = address;
    config.http_port = kReferenceHttpPort;
    config.register_port = kRegisterPort;
    config.fault = fault;
    auto server = std::make_shared<ozu_ref::ReferenceServer>(config);
    std::string error;
    if (!server->start(&error)) {
        return nullptr;
    }
    server->set_domain(kMac, "cam1");
    server->set_domain("SN1", "cam1");
    return server;
}

std::shared_ptr<void> serve_scripted(const std::string& address, PeerStep step, Operation operation)
{
    const bool record = operation == Operation::Register;
    step.request_size = record ? kRecordSize : 0;
    auto peer = std::make_shared<ScriptedPeer>(address, std::vector<PeerStep>{step},
                                               record ? kRegisterPort : kReferenceHttpPort);
    return peer->listening() ? peer : nullptr;
}

std::unique_ptr<PeerProcess> start_peer(const FaultCase& test)
{
    if (test.peer.server) {
        return std::make_unique<PeerProcess>([&] { return serve_reference(test.server, *test.peer.server); });
    }
    if (test.peer.scripted) {
        return std::make_unique<PeerProcess>(
            [&] { return serve_scripted(test.server, *test.peer.scripted, test.operation); });
    }
    return nullptr;
}

CallOutcome run_operation(Operation operation)
{
    switch (operation) {
    case Operation::Update:
        return captured_once(0);
    case Operation::Lookup: {
        std::array<char, 128> name{};
        return captured_getname(name.data(), name.size());
    }
    case Operation::Register: {
        char online[] = "online";
        OutputCapture capture;
        // Messages that end in perror read errno; the call starts from a known value.
        errno = 0;
        const int result = my_update(kDomainQuery, online);
        const CapturedOutput output = capture.finish();
        return {result, output.out, output.err};
    }
    }
    return {};
}

}  // namespace

FaultPeer reference_server(ozu_ref::Fault fault)
{
    return FaultPeer{fault, std::nullopt};
}

FaultPeer scripted(PeerStep step)
{
    return FaultPeer{std::nullopt, std::move(step)};
}

std::vector<FaultCase> on_every_operation(const std::string& name, const std::array<const char*, 3>& servers,
                                          const FaultPeer& peer, const CallOutcome& http,
                                          const CallOutcome& registerChannel)
{
    return {FaultCase{name + "Update", Operation::Update, servers[0], peer, http, kPromptly},
            FaultCase{name + "Lookup", Operation::Lookup, servers[1], peer, http, kPromptly},
            FaultCase{name + "Register", Operation::Register, servers[2], peer, registerChannel, kPromptly}};
}

void PrintTo(const FaultCase& test, std::ostream* stream)
{
    *stream << test.name;
}

CallOutcome refused_register_channel(const std::string& server)
{
    const auto address = static_cast<int>(inet_addr(server.c_str()));
    return {-1, server + "\t" + std::to_string(address) + "\t" + server + "\n",
            "connect: Connection refused\nmy_update: Connection refused\n"};
}

CallOutcome unresolved_register_channel(const std::string& server)
{
    return {-1, server + "\t0\t0.0.0.0\t", "xxxxxxxxxxInitSock: Success\nmy_update: Success\n"};
}

void check_fault_case(const FaultCase& test)
{
    // The peer's process is forked first, while the test has no other thread.
    const std::unique_ptr<PeerProcess> peer = start_peer(test);
    ASSERT_TRUE(peer == nullptr || peer->serving()) << "no peer on " << test.server;
    ozu_dnsupdate_init_v2(0x1, test.server.c_str(), kReferenceHttpPort, "SN1", kMac.c_str(), kIp.c_str(), 80, 300);
    // The first resolution loads what the C library keeps for later ones.
    std::uint32_t warmUp = 0;
    ASSERT_EQ(GetHostName("127.0.0.1", &warmUp), 0);
    std::optional<HeldResolution> held;
    if (test.holdResolution) {
        held.emplace();
        ASSERT_TRUE(held->holding());
    }
    const int invalidNamesBefore = invalid_names_answered();

    const std::size_t descriptorsBefore = open_descriptor_count();
    const auto start = std::chrono::steady_clock::now();
    const CallOutcome outcome = run_operation(test.operation);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const std::size_t descriptorsAfter = open_descriptor_count();

    EXPECT_EQ(outcome, test.outcome);
    EXPECT_LT(elapsed, test.within);
    EXPECT_GE(elapsed, test.atLeast);
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
    if (test.server.find(".invalid") != std::string::npos) {
        EXPECT_GT(invalid_names_answered(), invalidNamesBefore) << "the name went to the C library's resolver";
    }
}

}  // namespace ozu_test
