// The DDNS server: the HTTP interface and the register channel on one address, served by an event loop on a few
// threads; every report kept in the registry, every change of a published name told to the name publisher. The
// ozu-ddns-server program runs it, and tests run it in their own process.
#ifndef OZU_SERVER_SERVER_H
#define OZU_SERVER_SERVER_H

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "exchange_log.h"
#include "fault.h"
#include "name_publisher.h"
#include "registry.h"

namespace ozu::server {

struct ServerConfig {
    std::string address = "127.0.0.1";
    std::optional<int> http_port;      // none: no HTTP listener; 0: a port the kernel picks
    std::optional<int> register_port;  // none: no register channel; the client always uses 8879
    std::string zone = "ddns.test";    // domains are <label>.<zone>
    Fault fault = Fault::None;
    std::string database = "ozu-ddns-server.db";
    PublishPolicy publish;
    std::shared_ptr<NamePublisher> publisher;  // null: names are not published
    std::size_t max_connections = 4096;        // beyond it, connections wait in the listen queue
    unsigned rate_limit = 100;                 // connections per second from one source; 0: none
    LogFormat log_format = LogFormat::Text;
    std::FILE* log_stream = stdout;
};

class Server {
public:
    explicit Server(ServerConfig config);
    ~Server();  // stops the server
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens the registry (publishing its names), binds the listeners and starts serving; false and a message in
    // *error when the zone or a port is invalid, the registry cannot be opened or a port cannot be bound. A
    // server starts once.
    bool start(std::string* error);
    // Stops accepting, lets the exchanges in progress finish (a stalling reply ends at once), commits what the
    // registry holds, and stops.
    void stop();

    // The ports listened on (the kernel's choice for port 0); 0 for a channel not served.
    int http_port() const;
    int register_port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ozu::server

#endif
