#include "ddns/http_protocol.h"

#include <algorithm>
#include <cstdio>

namespace ozu::ddns {

namespace {

// Requests
constexpr const char* kPlainUpdateOnlineRequest =
    "GET /update.php?mymac=%s&myip=%s& HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:%s\r\n\r\n";
constexpr const char* kPlainUpdateOfflineRequest =
    "GET /update.php?mymac=%s&myip=%s&offline=yes HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 "
    "\r\nHost:%s\r\n\r\n";
constexpr const char* kDiyUpdateRequest =
    "GET /update.php?value=%s HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:%s\r\n\r\n";
constexpr const char* kRegistrationUpdateRequest =
    "GET /register/deviceupdate?encrypt=%s HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:%s\r\n\r\n";
constexpr const char* kPlainLookupRequest =
    "GET /getipbymac.php?do=getsilent&mymac=%s& HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:%s\r\n\r\n";
constexpr const char* kDiyLookupRequest =
    "GET /getipbymac.php?do=getsilent&value=%s HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:%s\r\n\r\n";
constexpr const char* kRegistrationLookupRequest =
    "GET /register/devicegetdomain?encrypt=%s HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:%s\r\n\r\n";

// Query texts, encrypted before they are sent
constexpr const char* kDiyUpdateOnlineQuery = "mymac=%s&myip=%s&myhttp=%d&mytype=%d";
constexpr const char* kDiyUpdateOfflineQuery = "mymac=%s&myip=%s&offline=yes";
constexpr const char* kDiyLookupQuery = "mymac=%s&";
constexpr const char* kRegistrationGetDomainQuery = "id=%s&mac=%s&port=%d&type=0x%x";
constexpr const char* kRegistrationUpdateOnlineQuery = "id=%s&mac=%s&port=%d&type=0x%x&status=online";
constexpr const char* kRegistrationUpdateOfflineQuery = "id=%s&mac=%s&port=%d&type=0x%x&status=offline";

// Notices
constexpr const char* kDiyUpdateNotice = "DiyDNS Get: /update.php?value=%s\n";
constexpr const char* kDiyLookupNotice = "DiyDNS Get: /getipbymac.php?do=getsilent&value=%s\n";

// Reply markers
constexpr std::string_view kFieldsMarker = "SUCC";
constexpr std::string_view kUpdateConfirmation = "SUCCESS";
constexpr std::string_view kLookupAcknowledgement = "ACK";
constexpr std::size_t kConfirmationOffset = 4;  // "ACK", one character of any kind, "SUCCESS"
constexpr std::string_view kLookupConfirmation = "SUCCESS";
constexpr std::string_view kDomainMarker = "domain=";
constexpr std::size_t kUpdateDomainField = 4;
constexpr std::size_t kLookupDomainField = 2;
constexpr char kFieldSeparator = ':';

constexpr std::size_t kMaxRequestLength = std::tuple_size<ExchangeBuffer>::value - 1;

const char* text_or_empty(const char* text)
{
    return text != nullptr ? text : "";
}

template <std::size_t Capacity, typename... Values>
bool format_whole(std::array<char, Capacity>& out, std::size_t max_length, const char* format, Values... values)
{
    const int length = std::snprintf(out.data(), out.size(), format, values...);
    if (length < 0 || static_cast<std::size_t>(length) > max_length) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool format_one_text_request(ExchangeBuffer& request, const char* form, const char* text, const char* server)
{
    return format_whole(request, kMaxRequestLength, form, text_or_empty(text), text_or_empty(server));
}

const char* registration_query_template(RegistrationQuery kind)
{
    switch (kind) {
    case RegistrationQuery::GetDomain:
        return kRegistrationGetDomainQuery;
    case RegistrationQuery::UpdateOnline:
        return kRegistrationUpdateOnlineQuery;
    case RegistrationQuery::UpdateOffline:
        return kRegistrationUpdateOfflineQuery;
    }
    return kRegistrationGetDomainQuery;
}

// Splits the reply from "SUCC" on as strtok(..., ":") would: runs of ':' count as one, so an
// empty field is skipped rather than counted, and the last field keeps the rest of the reply,
// line ends and all.
std::optional<std::string_view> field_from_succ(std::string_view reply, std::size_t wanted)
{
    const std::size_t start = reply.find(kFieldsMarker);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = reply.substr(start);
    for (std::size_t number = 1;; ++number) {
        const std::size_t begin = rest.find_first_not_of(kFieldSeparator);
        if (begin == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(begin);
        const std::size_t end = std::min(rest.find(kFieldSeparator), rest.size());
        if (number == wanted) {
            return rest.substr(0, end);
        }
        rest.remove_prefix(end);
    }
}

std::optional<std::string_view> name_from_field(std::string_view reply, std::size_t wanted)
{
    const std::optional<std::string_view> field = field_from_succ(reply, wanted);
    // A cut name would register the device under a domain the server never gave it.
    if (!field || field->size() > kMaxFieldNameLength) {
        return std::nullopt;
    }
    return field;
}

std::optional<std::string_view> name_after_domain_marker(std::string_view reply)
{
    const std::size_t acknowledgement = reply.find(kLookupAcknowledgement);
    if (acknowledgement == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view confirmed = reply.substr(acknowledgement);
    if (confirmed.size() < kConfirmationOffset + kLookupConfirmation.size() ||
        confirmed.substr(kConfirmationOffset, kLookupConfirmation.size()) != kLookupConfirmation) {
        return std::nullopt;
    }
    const std::size_t marker = reply.find(kDomainMarker);
    if (marker == std::string_view::npos) {
        return std::nullopt;
    }
    return reply.substr(marker + kDomainMarker.size());
}

}  // namespace

bool format_registration_query(QueryBuffer& query, RegistrationQuery kind, const char* serial, const char* mac,
                               int http_port, std::int32_t device_id)
{
    return format_whole(query, kMaxQueryLength, registration_query_template(kind), text_or_empty(serial),
                        text_or_empty(mac), http_port, static_cast<unsigned int>(device_id));
}

bool format_diy_update_query(QueryBuffer& query, bool offline, const char* mac, const char* ip, int http_port,
                             std::int32_t device_id)
{
    if (offline) {
        return format_whole(query, kMaxQueryLength, kDiyUpdateOfflineQuery, text_or_empty(mac), text_or_empty(ip));
    }
    return format_whole(query, kMaxQueryLength, kDiyUpdateOnlineQuery, text_or_empty(mac), text_or_empty(ip), http_port,
                        static_cast<int>(device_id));
}

bool format_diy_lookup_query(QueryBuffer& query, const char* mac)
{
    return format_whole(query, kMaxQueryLength, kDiyLookupQuery, text_or_empty(mac));
}

bool format_plain_update_request(ExchangeBuffer& request, bool offline, const char* mac, const char* ip,
                                 const char* server)
{
    return format_whole(request, kMaxRequestLength, offline ? kPlainUpdateOfflineRequest : kPlainUpdateOnlineRequest,
                        text_or_empty(mac), text_or_empty(ip), text_or_empty(server));
}

bool format_plain_lookup_request(ExchangeBuffer& request, const char* mac, const char* server)
{
    return format_one_text_request(request, kPlainLookupRequest, mac, server);
}

bool format_diy_request(ExchangeBuffer& request, Operation operation, const char* ciphertext, const char* server)
{
    const bool update = operation == Operation::Update;
    return format_one_text_request(request, update ? kDiyUpdateRequest : kDiyLookupRequest, ciphertext, server);
}

bool format_registration_request(ExchangeBuffer& request, Operation operation, const char* encrypted_query,
                                 const char* server)
{
    const bool update = operation == Operation::Update;
    return format_one_text_request(request, update ? kRegistrationUpdateRequest : kRegistrationLookupRequest,
                                   encrypted_query, server);
}

void print_diy_notice(Operation operation, const char* ciphertext)
{
    std::printf(operation == Operation::Update ? kDiyUpdateNotice : kDiyLookupNotice, ciphertext);
}

UpdateVerdict judge_update_reply(InterfaceType type, std::string_view reply)
{
    if (type == InterfaceType::Registration) {
        return {reply.find(kUpdateConfirmation) != std::string_view::npos, std::nullopt};
    }
    const std::optional<std::string_view> domain = name_from_field(reply, kUpdateDomainField);
    return {domain.has_value(), domain};
}

std::optional<std::string_view> judge_lookup_reply(InterfaceType type, std::string_view reply)
{
    if (type == InterfaceType::Registration) {
        return name_after_domain_marker(reply);
    }
    return name_from_field(reply, kLookupDomainField);
}

}  // namespace ozu::ddns
