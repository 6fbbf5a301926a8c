// The status-line test must read only the NUL-terminated reply and agree with the scan it is
// defined by.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ddns/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    int code = 0;
    const bool expected = std::sscanf(reply.c_str(), " HTTP/1.%*c %3d", &code) == 1 && code == 200;
    if (ozu::ddns::http_status_is_ok(reply.c_str()) != expected) {
        std::abort();
    }
    return 0;
}
