// Reading the HTTP interface's requests: the head's bytes in, the device call or the refusal out (no sockets,
// no registry), so that it can be tested and fuzzed directly.
#ifndef OZU_SERVER_HTTP_REQUEST_H
#define OZU_SERVER_HTTP_REQUEST_H

#include <cstddef>
#include <string>

#include "device_call.h"

namespace ozu::server {

// The longest head the server reads; a longer one is refused as incomplete.
inline constexpr std::size_t kMaxHttpHead = 8192;

// head: the bytes received, which must include the blank line ending the head.
ReadRequest read_http_request(const std::string& head);

bool http_head_complete(const std::string& bytes);

}  // namespace ozu::server

#endif
