// RFC 2136 updates of the devices' A records, built and TSIG-signed with ldns and sent to the
// zone's primary server over TCP.
#ifndef OZU_SERVER_DNS_UPDATE_H
#define OZU_SERVER_DNS_UPDATE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "name_publisher.h"
#include "tsig_key.h"

namespace ozu::server {

struct DnsServer {
    std::string address;  // IPv4 or IPv6 text
    std::uint16_t port = 53;
};

struct DnsTarget {
    DnsServer server;
    std::string zone;
    TsigKey key;
    std::uint32_t ttl = 60;
};

// "ADDRESS:PORT", "[IPV6]:PORT"; nullopt when it is neither.
std::optional<DnsServer> parse_dns_server(const std::string& text);

// Whether a serial can be the first label of a name: letters, digits and '-', at most 63.
bool is_dns_label(const std::string& serial);

class DnsUpdater {
public:
    // The updater for the target; null and the reason in *error when the zone or the server's
    // address is not valid.
    static std::unique_ptr<DnsUpdater> create(const DnsTarget& target, std::string* error);
    ~DnsUpdater();
    DnsUpdater(const DnsUpdater&) = delete;
    DnsUpdater& operator=(const DnsUpdater&) = delete;

    // The most changes send() takes at once.
    std::size_t names_per_update() const;

    // One signed UPDATE for all the changes (serials that are DNS labels): each name's A records
    // are replaced by the change's address, or deleted. Nullopt when the server applied it,
    // otherwise why it did not.
    std::optional<std::string> send(const std::vector<NameChange>& changes);

private:
    struct Impl;
    explicit DnsUpdater(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace ozu::server

#endif
