// Reading the register channel's records: the received bytes in, the device call or the refusal out (no sockets,
// no registry), so that it can be tested and fuzzed directly; and the reply record.
#ifndef OZU_SERVER_RECORD_REQUEST_H
#define OZU_SERVER_RECORD_REQUEST_H

#include <cstdint>
#include <string>

#include "device_call.h"

namespace ozu::server {

// record: the bytes received (a whole record is 432 bytes, and nothing else is read). A refused record is
// closed unanswered.
ReadRequest read_record(const std::string& record);

// A 432-byte reply record carrying only the code and the domain text.
std::string encode_reply(std::int32_t code, const std::string& domain);

}  // namespace ozu::server

#endif
