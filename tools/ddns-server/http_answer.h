// The HTTP interface's answers, computed from the request head alone (no sockets),
// so they can be tested directly.
#ifndef OZU_SERVER_HTTP_ANSWER_H
#define OZU_SERVER_HTTP_ANSWER_H

#include <string>

#include "registry.h"

namespace ozu::server {

struct HttpAnswer {
    int status = 400;  // 200, 400 or 404
    std::string body;
    std::string request;          // the request as logged: path, interface type and plain query
    bool device_request = false;  // a well-formed device request: fault modes apply to it
};

// head: the bytes received, which must include the blank line ending the head.
// peer_ip stands in for an empty myip, as the device's address seen by the server.
HttpAnswer answer_http(const std::string& head, const std::string& peer_ip, Registry& registry);

// Status line and headers of a reply with the given code.
std::string http_reply_head(int status);

}  // namespace ozu::server

#endif
