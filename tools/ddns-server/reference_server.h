// The project's reference DDNS server: HTTP interface and register channel on one
// address, registrations in memory. Used by the tests (in-process), the demo and
// firmware teams (as the ozu-ddns-server program).
#ifndef OZU_REFERENCE_SERVER_H
#define OZU_REFERENCE_SERVER_H

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ozu_ref {

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
bool parse_fault(const std::string& name, Fault* fault);

struct ServerConfig {
    std::string address = "127.0.0.1";
    int http_port = 0;               // 0: no HTTP listener
    int register_port = 0;           // 0: no register channel; the client always uses 8879
    std::string zone = "ddns.test";  // domains are <label>.<zone>
    Fault fault = Fault::None;
    bool log_exchanges = false;  // also print each exchange's log line on stdout
};

// One request as the server received it.
struct Exchange {
    std::string channel;   // "http" or "register"
    std::string raw;       // the bytes received, as they came
    std::string log_line;  // the one-line log entry, query or record deciphered
};

class ReferenceServer {
public:
    explicit ReferenceServer(ServerConfig config);
    ~ReferenceServer();  // stops the server
    ReferenceServer(const ReferenceServer&) = delete;
    ReferenceServer& operator=(const ReferenceServer&) = delete;

    // Binds the listeners and starts serving on a thread of its own; false and a
    // message in *error when a port cannot be bound.
    bool start(std::string* error);
    void stop();

    void set_fault(Fault fault);
    // Assigns a fixed domain label to an identity (serial or MAC) ahead of time; HTTP
    // lookups then answer "<label>.<zone>" even before the device reports. The
    // register channel always answers the zone alone: the device prefixes its serial.
    void set_domain(const std::string& identity, const std::string& domain);

    // "online" or "offline" as last reported by the device (serial or MAC); empty
    // for a device that never reported.
    std::string device_status(const std::string& identity) const;

    std::vector<Exchange> exchanges() const;
    // Waits until at least count exchanges were received; false on timeout.
    bool wait_for_exchanges(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ozu_ref

#endif
