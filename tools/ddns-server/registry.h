// The registry: the devices the server knows, behind a narrow interface so that another store (a database that
// several servers share) can take SQLite's place; and the rules every store follows.
#ifndef OZU_SERVER_REGISTRY_H
#define OZU_SERVER_REGISTRY_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "name_publisher.h"

namespace ozu::server {

struct Device {
    std::string name;    // the key: its name's first label in lower case
    std::string serial;  // as the device sent it; empty for a device known by its MAC alone
    std::string mac;     // the owner's, in lower case
    std::string device_code;
    std::string reported_ip;  // empty when it never reported one
    std::string source_ip;    // of the connection that carried its last report
    std::optional<int> http_port;
    std::optional<int> server_port;
    std::string interface;  // how its last report came: interface_name()
    bool online = false;
    std::string domain;           // the name it was told
    std::int64_t first_seen = 0;  // seconds since 1970 (UTC)
    std::int64_t last_seen = 0;
};

enum class Verdict {
    Registered,
    NameTaken,    // another MAC registered the name first
    Unavailable,  // the report could not be stored
};

struct PublishPolicy {
    bool reported_address = false;  // the address the device reports (when it is one) instead of the source's
    bool keep_offline = false;      // an offline device keeps its name
};

class Registry {
public:
    using Done = std::function<void(Verdict)>;

    virtual ~Registry() = default;
    // Stores a device's report (first_seen is the registry's to keep). done runs once, on a thread of the
    // registry's, after the report is committed, or when it is refused or cannot be stored; it must not block.
    virtual void record(Device report, Done done) = 0;
    // The device registered under a name, as last committed.
    virtual std::optional<Device> find(const std::string& name) = 0;
};

// A report completed with what the registry knew of the device: what the report lacks keeps its known value.
Device merged(Device report, const std::optional<Device>& known);

// The address a device's name points at (network byte order); none: it has no name in DNS.
std::optional<std::uint32_t> published_address(const Device& device, const PublishPolicy& policy);

// What the publisher must hear when a device's entry goes from before to after (none: absent).
std::optional<NameChange> name_change(const std::optional<Device>& before, const std::optional<Device>& after,
                                      const PublishPolicy& policy);

}  // namespace ozu::server

#endif
