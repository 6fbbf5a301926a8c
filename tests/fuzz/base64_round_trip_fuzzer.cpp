// Arbitrary bytes encoded, 4 characters per started group of 3 and CR LF after every 57 bytes, and decoded
// back, line breaks included, into a buffer of exactly their size.
#include "codec/CodecBase64.h"
#include "fuzz_harness.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CommonKit::CCodecBase64 codec;
    std::string text;
    const int length = codec.Encode(data, static_cast<int>(size), text);
    ozu::test::require(static_cast<std::size_t>(length) == text.size());
    ozu::test::require(text.size() == (size + 2) / 3 * 4 + size / 57 * 2);
    const auto decoded = std::make_unique<unsigned char[]>(size);
    ozu::test::require(codec.Decode(text.data(), length, decoded.get()) == static_cast<int>(size));
    ozu::test::require(std::memcmp(decoded.get(), data, size) == 0);
    return 0;
}
