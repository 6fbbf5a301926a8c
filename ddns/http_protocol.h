// The HTTP side of the DDNS protocol: every request and query text, and the judgement of the
// server's replies. Pure functions on bytes, apart from the two DIY notices.
#ifndef OZU_DDNS_HTTP_PROTOCOL_H
#define OZU_DDNS_HTTP_PROTOCOL_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ddns/transport.h"

namespace ozu::ddns {

enum class InterfaceType : int {
    Plain = 0,         // plain query
    Diy = 1,           // encrypted "value=" query
    Registration = 2,  // encrypted "encrypt=" query
};

// A query text before encryption, or its ciphertext text.
using QueryBuffer = std::array<char, 256>;

// The ciphertext of a longer query (16 digits per started 8 characters) and its NUL would not
// fit a QueryBuffer.
inline constexpr std::size_t kMaxQueryLength = 120;

// The longest name a ':'-field may carry; a longer one refuses the reply rather than being cut.
inline constexpr std::size_t kMaxFieldNameLength = 99;

enum class RegistrationQuery { GetDomain, UpdateOnline, UpdateOffline };

// Each format function writes a whole NUL-terminated text and returns true, or returns false
// (leaving an empty text) when the text would exceed kMaxQueryLength for queries or the
// exchange buffer for requests. A null text is written as the empty text.

bool format_registration_query(QueryBuffer& query, RegistrationQuery kind, const char* serial, const char* mac,
                               int http_port, std::int32_t device_id);
bool format_diy_update_query(QueryBuffer& query, bool offline, const char* mac, const char* ip, int http_port,
                             std::int32_t device_id);
bool format_diy_lookup_query(QueryBuffer& query, const char* mac);

enum class Operation { Update, Lookup };

bool format_plain_update_request(ExchangeBuffer& request, bool offline, const char* mac, const char* ip,
                                 const char* server);
bool format_plain_lookup_request(ExchangeBuffer& request, const char* mac, const char* server);
bool format_diy_request(ExchangeBuffer& request, Operation operation, const char* ciphertext, const char* server);
bool format_registration_request(ExchangeBuffer& request, Operation operation, const char* encrypted_query,
                                 const char* server);

// The DIY requests announce their ciphertext on standard output.
void print_diy_notice(Operation operation, const char* ciphertext);

struct UpdateVerdict {
    bool confirmed = false;
    std::optional<std::string_view> domain;  // carried by confirmed type 0 and 1 replies only
};

// The reply text (after the status line has passed) as the server's verdict. Returned names
// point into reply.
UpdateVerdict judge_update_reply(InterfaceType type, std::string_view reply);
std::optional<std::string_view> judge_lookup_reply(InterfaceType type, std::string_view reply);

}  // namespace ozu::ddns

#endif
