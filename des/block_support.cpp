// Shared support: blocks loaded from and stored to bytes, read from and written as hex text.
#include "des/block_support.h"

#include <algorithm>
#include <cstring>

namespace ozu::des {

namespace {

/* The value of every character that is a hex digit in either case; kNotHexDigit, a bit of its
 * own, for the others. */
constexpr std::uint8_t kNotHexDigit = 16;

constexpr std::array<std::uint8_t, 256> make_hex_digit_values()
{
    std::array<std::uint8_t, 256> values{};
    for (std::uint8_t& value : values) {
        value = kNotHexDigit;
    }
    for (int digit = 0; digit < 10; ++digit) {
        values['0' + digit] = static_cast<std::uint8_t>(digit);
    }
    for (int digit = 10; digit < 16; ++digit) {
        values['a' + digit - 10] = static_cast<std::uint8_t>(digit);
        values['A' + digit - 10] = static_cast<std::uint8_t>(digit);
    }
    return values;
}

constexpr std::array<std::uint8_t, 256> kHexDigitValues = make_hex_digit_values();

std::uint8_t hex_digit_value(char c)
{
    return kHexDigitValues[static_cast<unsigned char>(c)];
}

/* Eight hex digits of a 32-bit half, the first in byte 0: each nibble spread into a byte of its
 * own, then made its digit ('a' to 'f' are 39 past '9' + 1). */
[[gnu::always_inline]] inline std::uint64_t hex_digits(std::uint32_t half)
{
    std::uint64_t nibbles = __builtin_bswap32(half);
    nibbles = (nibbles | (nibbles << 16)) & 0x0000FFFF0000FFFF;
    nibbles = (nibbles | (nibbles << 8)) & 0x00FF00FF00FF00FF;
    nibbles = ((nibbles >> 4) & 0x000F000F000F000F) | ((nibbles & 0x000F000F000F000F) << 8);
    const std::uint64_t letters = ((nibbles + 0x0606060606060606) >> 4) & 0x0101010101010101;
    std::uint64_t digits = nibbles + 0x3030303030303030 + letters * 39;
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    digits = __builtin_bswap64(digits);  // byte 0 at the lowest address
#endif
    return digits;
}

/* Sixteen hex digits in a row, the usual ciphertext block: false if any is not one. */
bool read_hex_digits(const char* text, std::uint64_t& block)
{
    std::uint32_t values = 0;
    for (int i = 0; i < kHexBlockChars; ++i) {
        const std::uint8_t value = hex_digit_value(text[i]);
        block = (block << 4) | (value & 0xFU);
        values |= value;
    }
    return (values & kNotHexDigit) == 0;
}

}  // namespace

std::uint64_t load_block(const unsigned char* bytes)
{
    std::uint64_t block;
    std::memcpy(&block, bytes, sizeof block);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    block = __builtin_bswap64(block);
#endif
    return block;
}

void store_block(std::uint64_t block, unsigned char* bytes)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    block = __builtin_bswap64(block);
#endif
    std::memcpy(bytes, &block, sizeof block);
}

std::uint64_t load_text_block(const char* text, std::size_t size)
{
    if (size >= static_cast<std::size_t>(kBlockBytes)) {
        return load_block(reinterpret_cast<const unsigned char*>(text));
    }
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
    if (size >= static_cast<std::size_t>(kHexBlockChars) && read_hex_digits(text, block)) {
        return block;
    }
    block = 0;
    int digits = 0;
    for (std::size_t i = 0; i < size && digits < kHexBlockChars; ++i) {
        const std::uint8_t value = hex_digit_value(text[i]);
        if (value != kNotHexDigit) {
            block = (block << 4) | static_cast<std::uint64_t>(value);
            ++digits;
        }
    }
    // Without a digit the shift would be by 64, which is undefined.
    return digits == 0 ? 0 : block << (4 * (kHexBlockChars - digits));
}

void write_hex_block(std::uint64_t block, char* hex)
{
    const std::uint64_t first = hex_digits(static_cast<std::uint32_t>(block >> kHalfBits));
    const std::uint64_t second = hex_digits(static_cast<std::uint32_t>(block));
    std::memcpy(hex, &first, sizeof first);
    std::memcpy(hex + sizeof first, &second, sizeof second);
}

}  // namespace ozu::des
