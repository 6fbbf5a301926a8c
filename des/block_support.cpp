// Shared support: blocks loaded from and stored to bytes, read from and written as hex text.
#include "des/block_support.h"

#include <algorithm>
#include <cctype>

namespace ozu::des {

std::uint64_t load_block(const unsigned char* bytes)
{
    std::uint64_t block = 0;
    for (int i = 0; i < kBlockBytes; ++i) {
        block = (block << 8) | bytes[i];
    }
    return block;
}

void store_block(std::uint64_t block, unsigned char* bytes)
{
    for (int i = kBlockBytes - 1; i >= 0; --i, block >>= 8) {
        bytes[i] = static_cast<unsigned char>(block);
    }
}

std::uint64_t load_text_block(const char* text, std::size_t size)
{
    std::array<unsigned char, kBlockBytes> bytes{};
    std::copy_n(text, std::min(size, bytes.size()), bytes.data());
    return load_block(bytes.data());
}

int lower_hex_digit_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::uint64_t read_hex_block(const char* text, std::size_t size)
{
    std::uint64_t block = 0;
    int digits = 0;
    for (std::size_t i = 0; i < size && digits < kHexBlockChars; ++i) {
        const int value = lower_hex_digit_value(static_cast<char>(std::tolower(static_cast<unsigned char>(text[i]))));
        if (value >= 0) {
            block = (block << 4) | static_cast<std::uint64_t>(value);
            ++digits;
        }
    }
    // Without a digit the shift would be by 64, which is undefined.
    return digits == 0 ? 0 : block << (4 * (kHexBlockChars - digits));
}

void write_hex_block(std::uint64_t block, char* hex)
{
    static constexpr char kHexDigits[] = "0123456789abcdef";
    for (int i = kHexBlockChars - 1; i >= 0; --i, block >>= 4) {
        hex[i] = kHexDigits[block & 0xF];
    }
}

}  // namespace ozu::des
