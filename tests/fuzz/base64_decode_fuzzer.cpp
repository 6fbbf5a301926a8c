// Decodes arbitrary text into a buffer of exactly the size the caller is told to provide (3 bytes
// per 4 characters, plus 3 for a final short group): nothing may be read past the text or
// written past the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

#include "codec/CodecBase64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return 0;
    }
    const std::size_t capacity = size / 4 * 3 + 3;
    const auto out = std::make_unique<unsigned char[]>(capacity);
    CommonKit::CCodecBase64 codec;
    const int written = codec.Decode(reinterpret_cast<const char*>(data), static_cast<int>(size), out.get());
    if (written < 0 || static_cast<std::size_t>(written) > capacity) {
        std::abort();
    }
    return 0;
}
