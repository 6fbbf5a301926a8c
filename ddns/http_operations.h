// One-shot HTTP operations: connect, send one request, judge the one reply.
#ifndef OZU_DDNS_HTTP_OPERATIONS_H
#define OZU_DDNS_HTTP_OPERATIONS_H

#include <cstdint>
#include <optional>
#include <string_view>

#include "ddns/http_protocol.h"
#include "ddns/transport.h"

namespace ozu::ddns {

struct ServerTarget {
    const char* name;
    int port;
    Resolver resolve;
};

struct UpdateParameters {
    InterfaceType type;
    bool offline;
    const char* mac;
    const char* ip;  // null: sent as the empty text
    int http_port;
    std::int32_t device_id;
    const char* registration_query;  // type 2: the stored encrypted query
};

struct LookupParameters {
    InterfaceType type;
    const char* mac;
    const char* registration_query;  // type 2: the stored encrypted query
};

// exchange is the operation's exchange buffer; a returned name points into it.
UpdateVerdict send_update(const ServerTarget& server, const UpdateParameters& update, ExchangeBuffer& exchange);
std::optional<std::string_view> look_up_domain(const ServerTarget& server, const LookupParameters& lookup,
                                               ExchangeBuffer& exchange);

}  // namespace ozu::ddns

#endif
