// What a device's request asks of the server, as read from its bytes: a report of its identity and state, or a
// look-up of its name; and the identity the registry keys it by.
#ifndef OZU_SERVER_DEVICE_CALL_H
#define OZU_SERVER_DEVICE_CALL_H

#include <cstdint>
#include <optional>
#include <string>

namespace ozu::server {

enum class CallKind { Update, Lookup };

// How the device reached the server: an HTTP interface type (by its number), or the register channel.
enum class Interface { Plain = 0, Diy = 1, Registration = 2, RegisterChannel };

// "type0", "type1", "type2" or "register", as the registry stores it.
const char* interface_name(Interface interface);

struct DeviceCall {
    CallKind kind = CallKind::Lookup;
    Interface interface = Interface::RegisterChannel;
    std::int32_t command = 0;  // the register channel's command, which its reply carries back
    std::string serial;        // types 0 and 1 send none: their name comes from the MAC
    std::string mac;
    std::string reported_ip;  // empty when the request carries none (type 2)
    std::string device_code;  // as sent: "0x7" in hexadecimal forms, "7" in type 1
    std::optional<int> http_port;
    std::optional<int> server_port;
    bool online = true;
};

// A request read from the wire: the call it makes, or why it makes none.
struct ReadRequest {
    std::optional<DeviceCall> call;
    std::string logged;   // the request as the exchange log shows it
    std::string refusal;  // why there is no call
    int status = 400;     // HTTP only: the refusal's status, 400 or 404
};

// Who a call speaks for: its name's first label (lower case) and the owner's MAC (lower case).
struct Identity {
    std::string name;
    std::string owner;
    std::string label;  // the name's first label as the device wrote it, for the domain it is told
};

// The identity of a call, or why it has none: a serial that is no host name label, or no MAC (types 0 and 1:
// no MAC of six hex bytes).
struct IdentityResult {
    std::optional<Identity> identity;
    std::string problem;
};
IdentityResult identify(const DeviceCall& call);

// The name the registry keys a serial by: the serial in lower case.
std::string registry_name(const std::string& serial);

// Why a reported status makes no call; empty for "online" and "offline".
std::string status_problem(const std::string& status);

// A decimal port number of 0 to 65535; none otherwise.
std::optional<int> parse_port_text(const std::string& text);

}  // namespace ozu::server

#endif
