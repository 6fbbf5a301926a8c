// The register channel's answers, computed from the received record alone (no
// sockets), so they can be tested directly.
#ifndef OZU_SERVER_REGISTER_ANSWER_H
#define OZU_SERVER_REGISTER_ANSWER_H

#include <cstdint>
#include <string>

#include "registry.h"

namespace ozu::server {

struct RegisterAnswer {
    bool answered = false;  // false: the record is refused and the connection closed unanswered
    std::int32_t code = 0;  // the reply's nCommand
    std::string domain;     // the reply's szDeviceDomain
    std::string request;    // the record as logged, enciphered fields deciphered
    std::string refusal;    // why an unanswered record was refused
};

// record: the bytes received (a whole record is 432 bytes). The reply's domain is
// the zone alone: the device prefixes its own serial and a dot.
RegisterAnswer answer_record(const std::string& record, Registry& registry);

// A 432-byte reply record carrying only the code and the domain text.
std::string encode_reply(std::int32_t code, const std::string& domain);

}  // namespace ozu::server

#endif
