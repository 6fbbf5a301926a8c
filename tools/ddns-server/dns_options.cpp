#include "dns_options.h"

#include "decimal_text.h"
#include "dns_publisher.h"
#include "tsig_key.h"

namespace ozu::server {
namespace {

// The largest TTL a record may carry.
constexpr long kMaxTtl = 2147483647;

std::optional<std::uint32_t> parse_ttl(const std::string& text)
{
    const std::optional<long> ttl = parse_decimal(text, 0, kMaxTtl);
    return ttl ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*ttl)) : std::nullopt;
}

}  // namespace

const char kDnsUsage[] =
    "  --dns-server A:P       publish <serial>.<zone> in DNS: RFC 2136 updates to the zone's primary\n"
    "                         server at address A, port P ([A]:P for IPv6)\n"
    "  --tsig-key FILE        the TSIG key that signs the updates, as tsig-keygen writes it\n"
    "  --ttl N                the TTL of the published records in seconds (default 60)\n";

bool is_dns_option(const std::string& name)
{
    return name == "--dns-server" || name == "--tsig-key" || name == "--ttl";
}

std::optional<std::string> apply_dns_option(const std::string& name, const std::string& value, DnsOptions& options)
{
    if (name == "--dns-server") {
        options.server = parse_dns_server(value);
        return options.server ? std::nullopt
                              : std::optional<std::string>("--dns-server takes ADDRESS:PORT, not '" + value + "'");
    }
    if (name == "--tsig-key") {
        options.key_file = value;
        return std::nullopt;
    }
    const std::optional<std::uint32_t> ttl = parse_ttl(value);
    options.ttl = ttl.value_or(options.ttl);
    return ttl ? std::nullopt : std::optional<std::string>("invalid TTL for --ttl: '" + value + "'");
}

std::optional<std::string> make_dns_publisher(const DnsOptions& options, const std::string& zone,
                                              std::shared_ptr<NamePublisher>& publisher)
{
    if (!options.server) {
        return options.key_file.empty() ? std::nullopt : std::optional<std::string>("--tsig-key needs --dns-server");
    }
    if (options.key_file.empty()) {
        return std::string("--dns-server needs --tsig-key: the updates are signed");
    }
    std::string error;
    const std::optional<TsigKey> key = read_tsig_key(options.key_file, &error);
    if (!key) {
        return error;
    }
    DnsPublisherConfig config;
    config.target = {*options.server, zone, *key, options.ttl};
    std::unique_ptr<DnsPublisher> started = DnsPublisher::start(config, &error);
    if (!started) {
        return error;
    }
    publisher = std::move(started);
    return std::nullopt;
}

}  // namespace ozu::server
