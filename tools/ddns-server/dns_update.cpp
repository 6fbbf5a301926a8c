#include "dns_update.h"

#include <ldns/ldns.h>
#include <sys/time.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "decimal_text.h"

namespace ozu::server {
namespace {

// One attempt's wait for the DNS server; the publisher's back-off spaces the retries.
constexpr time_t kAnswerTimeoutSeconds = 3;
constexpr std::size_t kMaxLabelLength = 63;
// A DNS message over TCP holds 64 KiB; the update's records get this much of it, the header, zone and
// signature the rest. ldns aborts on a message that does not fit.
constexpr std::size_t kMaxRecordBytes = 60000;
// Each name's two records, a delete and an add: owner, type, class, TTL, data length, and an address.
constexpr std::size_t kRecordOverhead = 2 * 10 + 4;

struct LdnsDeleter {
    void operator()(ldns_rdf* rdf) const { ldns_rdf_deep_free(rdf); }
    void operator()(ldns_rr* rr) const { ldns_rr_free(rr); }
    void operator()(ldns_rr_list* list) const { ldns_rr_list_deep_free(list); }
    void operator()(ldns_pkt* packet) const { ldns_pkt_free(packet); }
    void operator()(ldns_resolver* resolver) const { ldns_resolver_deep_free(resolver); }
};

template <typename T>
using LdnsPtr = std::unique_ptr<T, LdnsDeleter>;

std::optional<std::uint16_t> parse_port(const std::string& text)
{
    const std::optional<long> port = parse_decimal(text, 1, 65535);
    return port ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*port)) : std::nullopt;
}

LdnsPtr<ldns_rdf> address_rdf(const std::string& address)
{
    const ldns_rdf_type type = address.find(':') == std::string::npos ? LDNS_RDF_TYPE_A : LDNS_RDF_TYPE_AAAA;
    return LdnsPtr<ldns_rdf>(ldns_rdf_new_frm_str(type, address.c_str()));
}

// The name's A records: all of them (a delete when address is null) or the one address.
LdnsPtr<ldns_rr> a_record(const ldns_rdf& name, const std::uint32_t* address, std::uint32_t ttl)
{
    LdnsPtr<ldns_rr> record(ldns_rr_new());
    ldns_rr_set_owner(record.get(), ldns_rdf_clone(&name));
    ldns_rr_set_type(record.get(), LDNS_RR_TYPE_A);
    ldns_rr_set_class(record.get(), address != nullptr ? LDNS_RR_CLASS_IN : LDNS_RR_CLASS_ANY);
    ldns_rr_set_ttl(record.get(), address != nullptr ? ttl : 0);
    if (address != nullptr) {
        ldns_rr_push_rdf(record.get(), ldns_rdf_new_frm_data(LDNS_RDF_TYPE_A, sizeof *address, address));
    }
    return record;
}

}  // namespace

std::optional<DnsServer> parse_dns_server(const std::string& text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    std::string address = text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    } else if (address.find(':') != std::string::npos) {
        return std::nullopt;
    }
    const std::optional<std::uint16_t> port = parse_port(text.substr(colon + 1));
    if (!port || !address_rdf(address)) {
        return std::nullopt;
    }
    return DnsServer{address, *port};
}

bool is_dns_label(const std::string& serial)
{
    if (serial.empty() || serial.size() > kMaxLabelLength) {
        return false;
    }
    for (const char c : serial) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-') {
            return false;
        }
    }
    return true;
}

struct DnsUpdater::Impl {
    LdnsPtr<ldns_resolver> resolver;
    LdnsPtr<ldns_rdf> zone;
    std::string zone_text;
    std::uint32_t ttl = 0;

    LdnsPtr<ldns_rr_list> update_section(const std::vector<NameChange>& changes) const;
    std::optional<std::string> exchange(ldns_pkt& update) const;
};

LdnsPtr<ldns_rr_list> DnsUpdater::Impl::update_section(const std::vector<NameChange>& changes) const
{
    LdnsPtr<ldns_rr_list> section(ldns_rr_list_new());
    for (const NameChange& change : changes) {
        const LdnsPtr<ldns_rdf> name(ldns_dname_new_frm_str((change.serial + "." + zone_text).c_str()));
        if (!name) {
            continue;
        }
        ldns_rr_list_push_rr(section.get(), a_record(*name, nullptr, 0).release());
        if (change.address) {
            ldns_rr_list_push_rr(section.get(), a_record(*name, &*change.address, ttl).release());
        }
    }
    return section;
}

std::optional<std::string> DnsUpdater::Impl::exchange(ldns_pkt& update) const
{
    // ldns stops asking a server that failed once; ours is the only one, so it is asked every time.
    ldns_resolver_set_nameserver_rtt(resolver.get(), 0, LDNS_RESOLV_RTT_MIN);
    ldns_pkt* answer = nullptr;
    const ldns_status status = ldns_resolver_send_pkt(&answer, resolver.get(), &update);
    const LdnsPtr<ldns_pkt> owned_answer(answer);
    if (status != LDNS_STATUS_OK) {
        return std::string(ldns_get_errorstr_by_id(status));
    }
    if (answer == nullptr) {
        return std::string("no answer");
    }
    const ldns_pkt_rcode rcode = ldns_pkt_get_rcode(answer);
    if (rcode != LDNS_RCODE_NOERROR) {
        const ldns_lookup_table* name = ldns_lookup_by_id(ldns_rcodes, rcode);
        return "the server answered " + (name != nullptr ? std::string(name->name) : std::to_string(rcode));
    }
    return std::nullopt;
}

std::unique_ptr<DnsUpdater> DnsUpdater::create(const DnsTarget& target, std::string* error)
{
    auto impl = std::make_unique<Impl>();
    impl->zone.reset(ldns_dname_new_frm_str(target.zone.c_str()));
    impl->zone_text = target.zone;
    impl->ttl = target.ttl;
    const LdnsPtr<ldns_rdf> server = address_rdf(target.server.address);
    if (!impl->zone || target.zone.empty()) {
        *error = "not a DNS zone: '" + target.zone + "'";
        return nullptr;
    }
    if (!server) {
        *error = "not an IP address: '" + target.server.address + "'";
        return nullptr;
    }
    impl->resolver.reset(ldns_resolver_new());
    ldns_resolver* resolver = impl->resolver.get();
    ldns_resolver_push_nameserver(resolver, server.get());
    ldns_resolver_set_port(resolver, target.server.port);
    // Updates of many names outgrow a datagram.
    ldns_resolver_set_usevc(resolver, true);
    ldns_resolver_set_timeout(resolver, timeval{kAnswerTimeoutSeconds, 0});
    ldns_resolver_set_retry(resolver, 1);
    ldns_resolver_set_tsig_keyname(resolver, target.key.name.c_str());
    ldns_resolver_set_tsig_algorithm(resolver, target.key.algorithm.c_str());
    ldns_resolver_set_tsig_keydata(resolver, target.key.secret.c_str());
    return std::unique_ptr<DnsUpdater>(new DnsUpdater(std::move(impl)));
}

DnsUpdater::DnsUpdater(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DnsUpdater::~DnsUpdater() = default;

std::size_t DnsUpdater::names_per_update() const
{
    // Counted without name compression and with the longest label.
    const std::size_t name = 1 + kMaxLabelLength + ldns_rdf_size(impl_->zone.get());
    return std::max<std::size_t>(kMaxRecordBytes / (2 * name + kRecordOverhead), 1);
}

std::optional<std::string> DnsUpdater::send(const std::vector<NameChange>& changes)
{
    LdnsPtr<ldns_rr_list> section = impl_->update_section(changes);
    if (ldns_rr_list_rr_count(section.get()) == 0) {
        return std::nullopt;
    }
    const LdnsPtr<ldns_pkt> update(
        ldns_update_pkt_new(ldns_rdf_clone(impl_->zone.get()), LDNS_RR_CLASS_IN, nullptr, section.get(), nullptr));
    if (!update) {
        return std::string("the update could not be built");
    }
    ldns_pkt_set_rd(update.get(), false);
    ldns_pkt_set_random_id(update.get());
    const ldns_status signed_status = ldns_update_pkt_tsig_add(update.get(), impl_->resolver.get());
    if (signed_status != LDNS_STATUS_OK) {
        return "the update could not be signed: " + std::string(ldns_get_errorstr_by_id(signed_status));
    }
    return impl_->exchange(*update);
}

}  // namespace ozu::server
