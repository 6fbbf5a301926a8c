// The host entry points and the register channel against faulty peers: the reference server's
// fault modes, a scripted raw peer, no peer at all, a name that does not resolve and a
// resolution lock held by another thread. Each case checks the result, the exact messages on
// each stream, the time taken and that no descriptor is left open. The 60-second stall is in
// client_fault_slow_test.cpp. A send that fails (and must not raise SIGPIPE) is driven on both
// channels by exchange_test.cpp and register_exchange_test.cpp, which shut the socket for
// writing so that the send fails with EPIPE.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/client_faults.h"
#include "support/loopback_addresses.h"

namespace {

using namespace ozu_test;
using ozu_ref::Fault;

const CallOutcome kResetByPeer{-1, "", "error recv()ing reply: Connection reset by peer\n"};
const CallOutcome kHttpRefused{-1, "", "connect: Connection refused\n"};

// No NUL, no status line and no marker; read as a record, command 0xefbeadde and a domain
// field without a terminator.
std::string garbage()
{
    std::string bytes;
    for (int i = 0; i < 150; ++i) {
        bytes += "\xde\xad\xbe\xef";
    }
    return bytes;
}

// Another code with a domain counts as success; the domain is cut at its field's 128 bytes.
CallOutcome garbage_as_record(const std::string& server)
{
    return {0, "command:(-272716322) domain:" + garbage().substr(216, 128) + " m_pServer:" + server + "\n", ""};
}

constexpr const char* kUnresolvable = "fault-test.invalid";

// Resolution fails at once when the name is unknown or another thread is resolving.
std::vector<FaultCase> failing_at_once(std::vector<FaultCase> cases, bool holdResolution)
{
    for (FaultCase& test : cases) {
        test.within = kAtOnce;
        test.holdResolution = holdResolution;
    }
    return cases;
}

std::vector<FaultCase> fault_cases()
{
    namespace at = address;
    const std::vector<std::vector<FaultCase>> groups{
        // The peer reads the request, then aborts the connection.
        on_every_operation("Reset", at::kFaultReset, scripted(reset_connection()), kResetByPeer, kResetByPeer),
        on_every_operation("CloseBeforeAnswering", at::kFaultClose, reference_server(Fault::CloseWithoutAnswer),
                           kQuietFailure, {-1, "", "error recv()ing reply: Success\n"}),
        // Only the first send is read: an HTTP head alone, or a record cut before its domain.
        on_every_operation("SplitReply", at::kFaultSplit, reference_server(Fault::SplitReply), kQuietFailure,
                           kQuietFailure),
        // The first 2047 bytes carry no marker; read as a record, command 0 and no domain.
        on_every_operation("Oversized", at::kFaultOversized, reference_server(Fault::Oversized), kQuietFailure,
                           {-1, "103,failed\n", ""}),
        on_every_operation("Garbage", at::kFaultGarbage, scripted(reply_with(garbage())), kQuietFailure,
                           garbage_as_record(at::kFaultGarbage[2])),
        on_every_operation("Refused", at::kFaultRefused, kNoPeer, kHttpRefused,
                           refused_register_channel(at::kFaultRefused[2])),
        failing_at_once(on_every_operation("Unresolvable", {kUnresolvable, kUnresolvable, kUnresolvable}, kNoPeer,
                                           kQuietFailure, unresolved_register_channel(kUnresolvable)),
                        false),
        // A server that would answer; the busy lock alone fails the operation.
        failing_at_once(on_every_operation("ResolutionLockHeld", at::kFaultHeldResolution,
                                           reference_server(Fault::None), kQuietFailure,
                                           unresolved_register_channel(at::kFaultHeldResolution[2])),
                        true),
    };
    std::vector<FaultCase> cases;
    for (const std::vector<FaultCase>& group : groups) {
        cases.insert(cases.end(), group.begin(), group.end());
    }
    return cases;
}

class ClientFault : public testing::TestWithParam<FaultCase> {};

TEST_P(ClientFault, GivesTheStatedResultAndMessagesAndLeaksNothing)
{
    check_fault_case(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Faults, ClientFault, testing::ValuesIn(fault_cases()),
                         [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

}  // namespace
