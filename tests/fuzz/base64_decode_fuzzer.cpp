// Arbitrary text decoded into a buffer of exactly the size the caller is told to provide (3 bytes per 4
// characters, and 3 for a short last group): nothing may be read past the text or written past the buffer.
#include "codec/CodecBase64.h"
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t capacity = size / 4 * 3 + 3;
    const auto out = std::make_unique<unsigned char[]>(capacity);
    const int written =
        CommonKit::CCodecBase64().Decode(reinterpret_cast<const char*>(data), static_cast<int>(size), out.get());
    ozu::test::require(written >= 0 && static_cast<std::size_t>(written) <= capacity);
    return 0;
}
