#include "http_answer.h"

#include <array>
#include <map>
#include <optional>
#include <utility>

#include "log_text.h"
#include "query_cipher.h"

namespace ozu::server {
namespace {

using Params = std::map<std::string, std::string>;

struct Request {
    std::string line;
    std::string path;
    std::string query;
};

// The device's query: plain (type 0) or deciphered from one parameter (types 1 and 2).
struct DeviceQuery {
    int type = 0;
    std::string text;
    Params params;
};

const std::string kHeadEnd = "\r\n\r\n";

// Values are taken as they are: the device does not URL-encode them. A repeated
// key keeps its first value.
Params parse_params(const std::string& text)
{
    Params params;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string segment = text.substr(start, end - start);
        if (!segment.empty()) {
            const std::size_t equals = segment.find('=');
            params.emplace(segment.substr(0, equals),
                           equals == std::string::npos ? std::string() : segment.substr(equals + 1));
        }
        start = end + 1;
    }
    return params;
}

std::string param(const Params& params, const std::string& key)
{
    const auto found = params.find(key);
    return found != params.end() ? found->second : std::string();
}

std::optional<Request> parse_request_line(const std::string& line)
{
    const std::size_t first_space = line.find(' ');
    const std::size_t second_space = line.find(' ', first_space + 1);
    if (first_space == std::string::npos || second_space == std::string::npos ||
        line.find(' ', second_space + 1) != std::string::npos) {
        return std::nullopt;
    }
    const std::string method = line.substr(0, first_space);
    const std::string target = line.substr(first_space + 1, second_space - first_space - 1);
    const std::string version = line.substr(second_space + 1);
    if (method != "GET" || version.rfind("HTTP/1.", 0) != 0 || target.empty() || target[0] != '/') {
        return std::nullopt;
    }
    const std::size_t question = target.find('?');
    Request request{line, target.substr(0, question), ""};
    if (question != std::string::npos) {
        request.query = target.substr(question + 1);
    }
    return request;
}

HttpAnswer plain_answer(int status, std::string body, const std::string& request_line)
{
    HttpAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.request = "request=\"" + printable(request_line) + "\"";
    return answer;
}

HttpAnswer bad_request(const std::string& reason, const std::string& request_line)
{
    return plain_answer(400, "bad request: " + reason, request_line);
}

std::optional<DeviceQuery> deciphered_query(const std::string& ciphertext, int type)
{
    const std::optional<std::string> text = decipher_text(ciphertext);
    if (!text) {
        return std::nullopt;
    }
    return DeviceQuery{type, *text, parse_params(*text)};
}

// Types 0 and 1 share their paths: a value= parameter marks the enciphered form.
std::optional<DeviceQuery> mac_query(const Request& request)
{
    const Params url_params = parse_params(request.query);
    if (url_params.count("value") == 0) {
        return DeviceQuery{0, request.query, url_params};
    }
    return deciphered_query(param(url_params, "value"), 1);
}

std::optional<DeviceQuery> serial_query(const Request& request)
{
    const Params url_params = parse_params(request.query);
    if (url_params.count("encrypt") == 0) {
        return std::nullopt;
    }
    return deciphered_query(param(url_params, "encrypt"), 2);
}

HttpAnswer device_answer(const Request& request, const DeviceQuery& query)
{
    HttpAnswer answer;
    answer.request =
        "GET " + request.path + " type=" + std::to_string(query.type) + " query=\"" + printable(query.text) + "\"";
    return answer;
}

HttpAnswer rejected(HttpAnswer answer, const std::string& reason)
{
    answer.status = 400;
    answer.body = "bad request: " + reason;
    return answer;
}

HttpAnswer served(HttpAnswer answer, std::string body)
{
    answer.status = 200;
    answer.body = std::move(body);
    answer.device_request = true;
    return answer;
}

const std::string kUnknownDevice = "FAIL unknown device";
constexpr char kUnreadableMacQuery[] = "value is not a ciphertext";
constexpr char kUnreadableSerialQuery[] = "encrypt is missing or not a ciphertext";

// A device request whose query was read and names the device, or the answer refusing it.
struct DeviceCall {
    HttpAnswer answer;
    Params params;
    std::string identity;
    bool refused;
};

DeviceCall device_call(const Request& request, std::optional<DeviceQuery> (*read_query)(const Request&),
                       const char* unreadable, const char* identity_field)
{
    const std::optional<DeviceQuery> query = read_query(request);
    if (!query) {
        return DeviceCall{bad_request(unreadable, request.line), {}, "", true};
    }
    HttpAnswer answer = device_answer(request, *query);
    std::string identity = param(query->params, identity_field);
    if (identity.empty()) {
        return DeviceCall{rejected(answer, std::string("no ") + identity_field), {}, "", true};
    }
    return DeviceCall{answer, query->params, identity, false};
}

HttpAnswer update_by_mac(const Request& request, const std::string& peer_ip, Registry& registry)
{
    const DeviceCall call = device_call(request, mac_query, kUnreadableMacQuery, "mymac");
    if (call.refused) {
        return call.answer;
    }
    const std::string status = param(call.params, "offline") == "yes" ? "offline" : "online";
    std::string ip = param(call.params, "myip");
    if (ip.empty()) {
        ip = peer_ip;  // an empty field would merge with its neighbours in the device's ':' split
    }
    const std::string domain = registry.report(IdentityKind::Mac, call.identity);
    return served(call.answer, "SUCC:" + status + ":" + ip + ":" + domain);
}

HttpAnswer lookup_by_mac(const Request& request, const std::string&, Registry& registry)
{
    if (param(parse_params(request.query), "do") != "getsilent") {
        return bad_request("do=getsilent missing", request.line);
    }
    const DeviceCall call = device_call(request, mac_query, kUnreadableMacQuery, "mymac");
    if (call.refused) {
        return call.answer;
    }
    const std::optional<std::string> domain = registry.lookup(IdentityKind::Mac, call.identity);
    return served(call.answer, domain ? "SUCC:" + *domain : kUnknownDevice);
}

HttpAnswer update_by_serial(const Request& request, const std::string&, Registry& registry)
{
    const DeviceCall call = device_call(request, serial_query, kUnreadableSerialQuery, "id");
    if (call.refused) {
        return call.answer;
    }
    const std::string status = param(call.params, "status");
    if (status != "online" && status != "offline") {
        return rejected(call.answer, "status is neither online nor offline");
    }
    registry.report(IdentityKind::Serial, call.identity);
    return served(call.answer, "SUCCESS");
}

HttpAnswer lookup_by_serial(const Request& request, const std::string&, Registry& registry)
{
    const DeviceCall call = device_call(request, serial_query, kUnreadableSerialQuery, "id");
    if (call.refused) {
        return call.answer;
    }
    const std::optional<std::string> domain = registry.lookup(IdentityKind::Serial, call.identity);
    return served(call.answer, domain ? "ACK SUCCESS domain=" + *domain : kUnknownDevice);
}

struct Route {
    const char* path;
    HttpAnswer (*answer)(const Request&, const std::string&, Registry&);
};

const std::array<Route, 4> kRoutes = {{
    {"/update.php", update_by_mac},
    {"/getipbymac.php", lookup_by_mac},
    {"/register/deviceupdate", update_by_serial},
    {"/register/devicegetdomain", lookup_by_serial},
}};

const char* reason_phrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    default:
        return "Bad Request";
    }
}

}  // namespace

HttpAnswer answer_http(const std::string& head, const std::string& peer_ip, Registry& registry)
{
    const std::string line = head.substr(0, head.find("\r\n"));
    if (head.find(kHeadEnd) == std::string::npos) {
        return bad_request("incomplete request", line);
    }
    const std::optional<Request> request = parse_request_line(line);
    if (!request) {
        return bad_request("malformed request line", line);
    }
    for (const Route& route : kRoutes) {
        if (request->path == route.path) {
            return route.answer(*request, peer_ip, registry);
        }
    }
    return plain_answer(404, "not found", line);
}

std::string http_reply_head(int status)
{
    return "HTTP/1.0 " + std::to_string(status) + " " + reason_phrase(status) + "\r\nContent-Type: text/plain\r\n\r\n";
}

}  // namespace ozu::server
