// One host-level operation against a faulty peer: its result, its exact messages, its time and
// the descriptors it leaves open.
#ifndef OZU_TEST_CLIENT_FAULTS_H
#define OZU_TEST_CLIENT_FAULTS_H

#include <array>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "reference_server.h"
#include "support/client_calls.h"
#include "support/scripted_peer.h"

namespace ozu_test {

enum class Operation {
    Update,    // ozu_dnsupdate_once(0)
    Lookup,    // ozu_dnsupdate_getname with an empty cache
    Register,  // my_update(103, "online"), as the domain-name thread runs it
};

// What listens on the case's address, in a child process: the reference server with a fault,
// a scripted peer on the operation's port, or nothing.
struct FaultPeer {
    std::optional<ozu_ref::Fault> server;
    std::optional<PeerStep> scripted;
};

FaultPeer reference_server(ozu_ref::Fault fault);
FaultPeer scripted(PeerStep step);
inline const FaultPeer kNoPeer{};

struct FaultCase {
    std::string name;
    Operation operation;
    std::string server;  // configured as the DDNS server: a loopback address or a name
    FaultPeer peer;
    CallOutcome outcome;
    std::chrono::seconds within;
    std::chrono::seconds atLeast{0};
    bool holdResolution = false;  // another thread holds the resolution lock meanwhile
};

void PrintTo(const FaultCase& test, std::ostream* stream);

inline constexpr std::chrono::seconds kAtOnce{2};
inline constexpr std::chrono::seconds kPromptly{10};

// The case for each operation, named name + "Update", "Lookup" and "Register", on the
// operation's own address; HTTP and the register channel give their own outcome.
std::vector<FaultCase> on_every_operation(const std::string& name, const std::array<const char*, 3>& servers,
                                          const FaultPeer& peer, const CallOutcome& http,
                                          const CallOutcome& registerChannel);

// What the register channel prints for a connection refused by server.
CallOutcome refused_register_channel(const std::string& server);
// What the register channel prints when server does not resolve (errno is 0 before the call).
CallOutcome unresolved_register_channel(const std::string& server);

// Runs the case in the current test and checks every part of it.
void check_fault_case(const FaultCase& test);

}  // namespace ozu_test

#endif
