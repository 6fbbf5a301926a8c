// The project's reference DDNS server: HTTP interface and register channel on one
// address, registrations in memory. The ozu-ddns-server program runs it for the demo,
// the soak and firmware teams.
#ifndef OZU_SERVER_REFERENCE_SERVER_H
#define OZU_SERVER_REFERENCE_SERVER_H

#include <array>
#include <memory>
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

struct ServerConfig {
    std::string address = "127.0.0.1";
    int http_port = 0;               // 0: no HTTP listener
    int register_port = 0;           // 0: no register channel; the client always uses 8879
    std::string zone = "ddns.test";  // domains are <label>.<zone>
    Fault fault = Fault::None;
};

class ReferenceServer {
public:
    explicit ReferenceServer(ServerConfig config);
    ~ReferenceServer();  // stops the server
    ReferenceServer(const ReferenceServer&) = delete;
    ReferenceServer& operator=(const ReferenceServer&) = delete;

    // Binds the listeners and starts serving on a thread of its own, printing one line per
    // exchange on stdout; false and a message in *error when a port cannot be bound.
    bool start(std::string* error);
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ozu::server

#endif
