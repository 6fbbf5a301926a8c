// What the server tells whoever publishes device names (in DNS or elsewhere): a name to point at an
// address, or a name to withdraw; and the publisher that does nothing.
#ifndef OZU_SERVER_NAME_PUBLISHER_H
#define OZU_SERVER_NAME_PUBLISHER_H

#include <cstdint>
#include <optional>
#include <string>

namespace ozu::server {

struct NameChange {
    // The first label of the device's name <serial>.<zone>: the serial as the registry keys it (lower case). A
    // device that identifies itself by its MAC alone has the MAC's twelve hex digits here.
    std::string serial;
    // The IPv4 address to publish, in network byte order; none: withdraw the name. The server has already
    // chosen which address counts (the connection's source or the one the device reported).
    std::optional<std::uint32_t> address;
};

// Called by the server once for every device in the registry when it starts (an online device: its
// address; an offline one: a withdrawal, unless offline devices keep their names), and then after each
// commit that brings a device online, changes its published address, takes it offline or releases its
// name. Calls come from one thread at a time, in commit order.
class NamePublisher {
public:
    virtual ~NamePublisher() = default;
    // Must never block the caller: a DNS server that is slow or down cannot hold up registrations. Only the
    // latest change of each name matters.
    virtual void publish(const NameChange& change) = 0;
};

class NullPublisher final : public NamePublisher {
public:
    void publish(const NameChange&) override {}
};

}  // namespace ozu::server

#endif
