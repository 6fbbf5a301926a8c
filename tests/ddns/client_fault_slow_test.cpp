// A server that takes the request and never answers: every operation gives up when the one
// 60-second budget runs out, says so on standard error and leaves no descriptor open.
#include <gtest/gtest.h>

#include <vector>

#include "support/client_faults.h"
#include "support/loopback_addresses.h"

namespace {

using namespace ozu_test;

const CallOutcome kTimedOut{-1, "", "timeout\n"};

std::vector<FaultCase> stall_cases()
{
    std::vector<FaultCase> cases = on_every_operation("Stall", address::kFaultStall,
                                                      reference_server(ozu_ref::Fault::Stall), kTimedOut, kTimedOut);
    for (FaultCase& test : cases) {
        test.atLeast = std::chrono::seconds(59);
        test.within = std::chrono::seconds(75);
    }
    return cases;
}

class ClientFaultSlow : public testing::TestWithParam<FaultCase> {};

TEST_P(ClientFaultSlow, TimesOutAfterSixtySecondsAndLeaksNothing)
{
    check_fault_case(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Faults, ClientFaultSlow, testing::ValuesIn(stall_cases()),
                         [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

}  // namespace
