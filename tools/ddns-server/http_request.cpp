#include "http_request.h"

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
    Interface interface = Interface::Plain;
    std::string text;
    Params params;
};

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

ReadRequest refused(int status, const std::string& reason, const std::string& logged)
{
    ReadRequest request;
    request.status = status;
    request.refusal = reason;
    request.logged = logged;
    return request;
}

std::string logged_line(const std::string& line)
{
    return "request=\"" + printable(line) + "\"";
}

std::optional<DeviceQuery> deciphered_query(const std::string& ciphertext, Interface interface)
{
    const std::optional<std::string> text = decipher_text(ciphertext);
    if (!text) {
        return std::nullopt;
    }
    return DeviceQuery{interface, *text, parse_params(*text)};
}

// Types 0 and 1 share their paths: a value= parameter marks the enciphered form.
std::optional<DeviceQuery> mac_query(const Request& request, const Params& url_params)
{
    if (url_params.count("value") == 0) {
        return DeviceQuery{Interface::Plain, request.query, url_params};
    }
    return deciphered_query(param(url_params, "value"), Interface::Diy);
}

std::optional<DeviceQuery> serial_query(const Params& url_params)
{
    if (url_params.count("encrypt") == 0) {
        return std::nullopt;
    }
    return deciphered_query(param(url_params, "encrypt"), Interface::Registration);
}

std::string logged_query(const Request& request, const DeviceQuery& query)
{
    return "GET " + request.path + " type=" + std::to_string(static_cast<int>(query.interface)) + " query=\"" +
           printable(query.text) + "\"";
}

// The query fields of one family of paths: types 0 and 1 name the device by its MAC, type 2 by its serial.
struct QueryFields {
    const char* serial;  // none for types 0 and 1
    const char* mac;
    const char* reported_ip;  // none for type 2
    const char* device_code;
    const char* http_port;
    const char* offline_field;
    const char* offline_value;
};

constexpr QueryFields kMacFields = {nullptr, "mymac", "myip", "mytype", "myhttp", "offline", "yes"};
constexpr QueryFields kSerialFields = {"id", "mac", nullptr, "type", "port", "status", "offline"};

std::string optional_param(const Params& params, const char* key)
{
    return key != nullptr ? param(params, key) : std::string();
}

DeviceCall device_call(const DeviceQuery& query, CallKind kind, const QueryFields& fields)
{
    DeviceCall call;
    call.kind = kind;
    call.interface = query.interface;
    call.serial = optional_param(query.params, fields.serial);
    call.mac = param(query.params, fields.mac);
    call.reported_ip = optional_param(query.params, fields.reported_ip);
    call.device_code = param(query.params, fields.device_code);
    call.http_port = parse_port_text(param(query.params, fields.http_port));
    call.online = param(query.params, fields.offline_field) != fields.offline_value;
    return call;
}

struct Route {
    const char* path;
    CallKind kind;
    bool by_serial;  // type 2's paths; types 0 and 1 name the device by its MAC
};

const std::array<Route, 4> kRoutes = {{
    {"/update.php", CallKind::Update, false},
    {"/getipbymac.php", CallKind::Lookup, false},
    {"/register/deviceupdate", CallKind::Update, true},
    {"/register/devicegetdomain", CallKind::Lookup, true},
}};

// Why a query that was read makes no call; empty when it makes one.
std::string call_problem(const Route& route, const DeviceQuery& query)
{
    const char* identity_field = route.by_serial ? "id" : "mymac";
    if (param(query.params, identity_field).empty()) {
        return std::string("no ") + identity_field;
    }
    if (route.by_serial && route.kind == CallKind::Update) {
        return status_problem(param(query.params, "status"));
    }
    return "";
}

ReadRequest read_device_request(const Request& request, const Route& route)
{
    const Params url_params = parse_params(request.query);
    if (!route.by_serial && route.kind == CallKind::Lookup && param(url_params, "do") != "getsilent") {
        return refused(400, "do=getsilent missing", logged_line(request.line));
    }
    const std::optional<DeviceQuery> query =
        route.by_serial ? serial_query(url_params) : mac_query(request, url_params);
    if (!query) {
        return refused(400, route.by_serial ? "encrypt is missing or not a ciphertext" : "value is not a ciphertext",
                       logged_line(request.line));
    }
    const std::string logged = logged_query(request, *query);
    if (const std::string problem = call_problem(route, *query); !problem.empty()) {
        return refused(400, problem, logged);
    }
    ReadRequest read;
    read.call = device_call(*query, route.kind, route.by_serial ? kSerialFields : kMacFields);
    read.logged = logged;
    return read;
}

}  // namespace

bool http_head_complete(const std::string& bytes)
{
    return bytes.find("\r\n\r\n") != std::string::npos;
}

ReadRequest read_http_request(const std::string& head)
{
    const std::string line = head.substr(0, head.find("\r\n"));
    if (!http_head_complete(head)) {
        return refused(400, "incomplete request", logged_line(line));
    }
    const std::optional<Request> request = parse_request_line(line);
    if (!request) {
        return refused(400, "malformed request line", logged_line(line));
    }
    for (const Route& route : kRoutes) {
        if (request->path == route.path) {
            return read_device_request(*request, route);
        }
    }
    return refused(404, "not found", logged_line(line));
}

}  // namespace ozu::server
