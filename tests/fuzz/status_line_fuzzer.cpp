// The status-line test reads only the NUL-terminated reply and agrees with the scan it is defined by.
#include "ddns/transport.h"
#include "fuzz_harness.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    int code = 0;
    const bool expected = std::sscanf(reply.c_str(), " HTTP/1.%*c %3d", &code) == 1 && code == 200;
    ozu::test::require(ozu::ddns::http_status_is_ok(reply.c_str()) == expected);
    return 0;
}
