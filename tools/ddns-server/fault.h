// The fault modes: how the server can misbehave on purpose towards every device request, for the demo, the tests
// and firmware teams.
#ifndef OZU_SERVER_FAULT_H
#define OZU_SERVER_FAULT_H

#include <array>
#include <optional>
#include <string>

namespace ozu::server {

enum class Fault {
    None,
    Stall,               // accept, read the request, never answer
    CloseWithoutAnswer,  // accept, read the request, close
    NotOk,               // HTTP: status 404 instead of 200 / register: reply with an empty domain
    NoMarkers,           // a 200 reply (or a record) without the markers the client looks for
    Oversized,           // a reply of more than 2047 bytes, markers after byte 2047
    SplitReply,          // the reply in two sends, the markers in the second
};

struct FaultName {
    Fault fault;
    const char* name;
};

// The names the program's --fault option takes.
inline constexpr std::array<FaultName, 7> kFaultNames = {{
    {Fault::None, "none"},
    {Fault::Stall, "stall"},
    {Fault::CloseWithoutAnswer, "close"},
    {Fault::NotOk, "not-ok"},
    {Fault::NoMarkers, "no-markers"},
    {Fault::Oversized, "oversized"},
    {Fault::SplitReply, "split"},
}};

const char* fault_name(Fault fault);
std::optional<Fault> parse_fault(const std::string& name);

}  // namespace ozu::server

#endif
