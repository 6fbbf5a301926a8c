#include "ddns/http_operations.h"

#include <cstdio>

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

constexpr ChannelRules kHttpChannel{report_connect_failure, false, false};

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

// Connects, builds the request into the buffer and exchanges it for the reply; the connection
// ends with this call. A request that cannot be built whole is not sent, and the operation fails
// as after a lost connection. True when an HTTP/1.x 200 reply is in the buffer.
template <typename BuildRequest>
bool exchange_for_ok_reply(const ServerTarget& server, ExchangeBuffer& exchange, BuildRequest build_request)
{
    const SocketHandle connection = connect_to_server(server.name, server.port, server.resolve, kHttpChannel);
    return connection && build_request(exchange) &&
           exchange_once(connection, exchange.data(), exchange, kHttpChannel) && http_status_is_ok(exchange.data());
}

}  // namespace

UpdateVerdict send_update(const ServerTarget& server, const UpdateParameters& update, ExchangeBuffer& exchange)
{
    const auto build = [&](ExchangeBuffer& request) {
        return build_update_request(request, update, server.name);
    };
    if (!exchange_for_ok_reply(server, exchange, build)) {
        return {};
    }
    return judge_update_reply(update.type, exchange.data());
}

std::optional<std::string_view> look_up_domain(const ServerTarget& server, const LookupParameters& lookup,
                                               ExchangeBuffer& exchange)
{
    const auto build = [&](ExchangeBuffer& request) {
        return build_lookup_request(request, lookup, server.name);
    };
    if (!exchange_for_ok_reply(server, exchange, build)) {
        return std::nullopt;
    }
    return judge_lookup_reply(lookup.type, exchange.data());
}

}  // namespace ozu::ddns
