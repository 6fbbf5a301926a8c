#include "device_answer.h"

namespace ozu::server {
namespace {

using Result = CallOutcome::Result;

HttpAnswer answer(int status, std::string body)
{
    return HttpAnswer{status, std::move(body)};
}

std::string registered_body(const DeviceCall& call, const std::string& domain, const std::string& peer_ip)
{
    if (call.interface == Interface::Registration) {
        return "SUCCESS";
    }
    // An empty field would merge with its neighbours in the device's ':' split.
    const std::string& ip = call.reported_ip.empty() ? peer_ip : call.reported_ip;
    return std::string("SUCC:") + (call.online ? "online" : "offline") + ":" + ip + ":" + domain;
}

std::string found_body(const DeviceCall& call, const std::string& domain)
{
    return call.interface == Interface::Registration ? "ACK SUCCESS domain=" + domain : "SUCC:" + domain;
}

const char* reason_phrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 503:
        return "Service Unavailable";
    default:
        return "Bad Request";
    }
}

}  // namespace

HttpAnswer answer_http_call(const DeviceCall& call, const CallOutcome& outcome, const std::string& peer_ip)
{
    switch (outcome.result) {
    case Result::Registered:
        return answer(200, registered_body(call, outcome.domain, peer_ip));
    case Result::Found:
        return answer(200, found_body(call, outcome.domain));
    case Result::Unknown:
        return answer(200, "FAIL unknown device");
    case Result::NameTaken:
        return answer(403, "FAIL name held by another MAC");
    case Result::Invalid:
        return answer(400, "bad request: " + outcome.problem);
    case Result::Unavailable:
        break;
    }
    return answer(503, "FAIL registry unavailable");
}

HttpAnswer answer_http_refusal(const ReadRequest& request)
{
    return HttpAnswer{request.status, request.status == 404 ? "not found" : "bad request: " + request.refusal};
}

RecordAnswer answer_record_call(const DeviceCall& call, const CallOutcome& outcome, const std::string& zone)
{
    switch (outcome.result) {
    case Result::Registered:
    case Result::Found:
        return RecordAnswer{true, call.command, zone, ""};
    case Result::Unknown:
        return RecordAnswer{true, call.command, "", "unknown device"};
    case Result::NameTaken:
        return RecordAnswer{true, call.command, "", "name held by another MAC"};
    case Result::Invalid:
        return RecordAnswer{true, call.command, "", outcome.problem};
    case Result::Unavailable:
        break;
    }
    return RecordAnswer{false, 0, "", "registry unavailable"};
}

RecordAnswer answer_record_refusal(const ReadRequest& request)
{
    return RecordAnswer{false, 0, "", request.refusal};
}

std::string http_reply_head(int status)
{
    return "HTTP/1.0 " + std::to_string(status) + " " + reason_phrase(status) + "\r\nContent-Type: text/plain\r\n\r\n";
}

}  // namespace ozu::server
