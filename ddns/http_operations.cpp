#include "ddns/http_operations.h"

#include <cstdio>
#include <utility>

#include "ddns/ozu_dnsupdate_module.h"

namespace ozu::ddns {

namespace {

// A name that does not resolve fails the request without a word.
void report_connect_failure(ConnectStep failed, const char*, std::uint32_t)
{
    if (failed == ConnectStep::Connect) {
        std::perror("connect");
    }
}

constexpr ChannelRules kHttpChannel{0, report_connect_failure, false, false};

// The DIY query goes out encrypted, and its ciphertext is announced.
bool build_diy_request(ExchangeBuffer& request, Operation operation, const QueryBuffer& query, const char* server)
{
    QueryBuffer ciphertext{};
    EncryptString(query.data(), ciphertext.data());
    print_diy_notice(operation, ciphertext.data());
    return format_diy_request(request, operation, ciphertext.data(), server);
}

bool build_update_request(ExchangeBuffer& request, const UpdateParameters& update, const char* server)
{
    QueryBuffer query{};
    switch (update.type) {
    case InterfaceType::Plain:
        return format_plain_update_request(request, update.offline, update.mac, update.ip, server);
    case InterfaceType::Diy:
        return format_diy_update_query(query, update.offline, update.mac, update.ip, update.http_port,
                                       update.device_id) &&
               build_diy_request(request, Operation::Update, query, server);
    case InterfaceType::Registration:
        return format_registration_request(request, Operation::Update, update.registration_query, server);
    }
    return false;
}

bool build_lookup_request(ExchangeBuffer& request, const LookupParameters& lookup, const char* server)
{
    QueryBuffer query{};
    switch (lookup.type) {
    case InterfaceType::Plain:
        return format_plain_lookup_request(request, lookup.mac, server);
    case InterfaceType::Diy:
        return format_diy_lookup_query(query, lookup.mac) &&
               build_diy_request(request, Operation::Lookup, query, server);
    case InterfaceType::Registration:
        return format_registration_request(request, Operation::Lookup, lookup.registration_query, server);
    }
    return false;
}

// The request in the buffer goes out and the reply takes its place; the connection ends with this
// call. True when an HTTP/1.x 200 reply is in the buffer.
bool exchange_for_ok_reply(SocketHandle connection, ExchangeBuffer& exchange)
{
    return exchange_once(connection, exchange.data(), exchange, kHttpChannel) && http_status_is_ok(exchange.data());
}

}  // namespace

UpdateVerdict send_update(const ServerTarget& server, const UpdateParameters& update, ExchangeBuffer& exchange)
{
    SocketHandle connection = connect_to_server(server.name, server.port, server.resolve, kHttpChannel);
    // A request that cannot be built whole is not sent; the update fails (and the caller forgets
    // the name) as after a lost connection.
    if (!connection || !build_update_request(exchange, update, server.name)) {
        return {};
    }
    if (!exchange_for_ok_reply(std::move(connection), exchange)) {
        return {};
    }
    return judge_update_reply(update.type, exchange.data());
}

std::optional<std::string_view> look_up_domain(const ServerTarget& server, const LookupParameters& lookup,
                                               ExchangeBuffer& exchange)
{
    SocketHandle connection = connect_to_server(server.name, server.port, server.resolve, kHttpChannel);
    if (!connection || !build_lookup_request(exchange, lookup, server.name)) {
        return std::nullopt;
    }
    if (!exchange_for_ok_reply(std::move(connection), exchange)) {
        return std::nullopt;
    }
    return judge_lookup_reply(lookup.type, exchange.data());
}

}  // namespace ozu::ddns
