// The server's answers to device calls, computed from the call and what the registry made of it (no sockets), so
// that they can be tested directly.
#ifndef OZU_SERVER_DEVICE_ANSWER_H
#define OZU_SERVER_DEVICE_ANSWER_H

#include <cstdint>
#include <string>

#include "device_call.h"

namespace ozu::server {

// What became of a call.
struct CallOutcome {
    enum class Result {
        Registered,   // an update, committed
        Found,        // a look-up of a device registered under the caller's MAC
        Unknown,      // a look-up of a name no device, or another MAC, registered
        NameTaken,    // an update for a name another MAC registered first
        Invalid,      // no identity to register or look up (problem says why)
        Unavailable,  // the registry could not store the update
    };
    Result result = Result::Unknown;
    std::string domain;   // Registered and Found: the device's name, <label>.<zone>
    std::string problem;  // Invalid
};

struct HttpAnswer {
    int status = 400;  // 200, 400, 403, 404 or 503; fault modes apply to 200s alone
    std::string body;
};

struct RecordAnswer {
    bool answered = false;  // false: the connection is closed unanswered
    std::int32_t code = 0;  // the reply's nCommand
    std::string domain;     // the reply's szDeviceDomain: the zone, which the device prefixes with its serial
    std::string note;       // why a domain is missing, or why the record is not answered
};

// peer_ip stands in for an empty myip, as the device's address seen by the server.
HttpAnswer answer_http_call(const DeviceCall& call, const CallOutcome& outcome, const std::string& peer_ip);
HttpAnswer answer_http_refusal(const ReadRequest& request);

RecordAnswer answer_record_call(const DeviceCall& call, const CallOutcome& outcome, const std::string& zone);
RecordAnswer answer_record_refusal(const ReadRequest& request);

// Status line and headers of a reply with the given code.
std::string http_reply_head(int status);

}  // namespace ozu::server

#endif
