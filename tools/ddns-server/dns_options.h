// The server's options that publish the devices' names in DNS, and the publisher they describe.
#ifndef OZU_SERVER_DNS_OPTIONS_H
#define OZU_SERVER_DNS_OPTIONS_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dns_update.h"
#include "name_publisher.h"

namespace ozu::server {

struct DnsOptions {
    std::optional<DnsServer> server;  // --dns-server ADDR:PORT; none: names are not published in DNS
    std::string key_file;             // --tsig-key FILE, BIND's key syntax
    std::uint32_t ttl = 60;           // --ttl SECONDS
};

// The options' lines for the server's usage text.
extern const char kDnsUsage[];

// Whether name is one of the options above (all of them take a value).
bool is_dns_option(const std::string& name);

// Applies one of them; what is wrong with its value, if anything.
std::optional<std::string> apply_dns_option(const std::string& name, const std::string& value, DnsOptions& options);

// With --dns-server, starts the DNS publisher for the zone's names and sets publisher to it; without, leaves
// publisher alone. What is wrong with the options or the key file, if anything.
std::optional<std::string> make_dns_publisher(const DnsOptions& options, const std::string& zone,
                                              std::shared_ptr<NamePublisher>& publisher);

}  // namespace ozu::server

#endif
