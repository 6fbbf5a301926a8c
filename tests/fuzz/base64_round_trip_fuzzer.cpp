// Encoding arbitrary bytes and decoding the text, line breaks included, gives the bytes back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "codec/CodecBase64.h"

namespace {

constexpr std::size_t kBytesPerLine = 57;
constexpr std::size_t kLineBreakLength = 2;

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

std::size_t encoded_length(std::size_t count)
{
    return (count + 2) / 3 * 4 + count / kBytesPerLine * kLineBreakLength;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) {
        return 0;
    }
    CommonKit::CCodecBase64 codec;
    std::string text;
    const int length = codec.Encode(data, static_cast<int>(size), text);
    require(static_cast<std::size_t>(length) == text.size());
    require(text.size() == encoded_length(size));

    const std::size_t capacity = text.size() / 4 * 3 + 3;
    const auto decoded = std::make_unique<unsigned char[]>(capacity);
    const int written = codec.Decode(text.data(), length, decoded.get());
    require(static_cast<std::size_t>(written) == size);
    require(size == 0 || std::memcmp(decoded.get(), data, size) == 0);
    return 0;
}
