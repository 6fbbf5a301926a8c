#include "support/openssl_oracle.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace ozu_test {

namespace {

using Block = std::array<std::uint8_t, 8>;

// Initial permutation of FIPS 46-3: output bit i is input bit kInitialPermutation[i] (1-based).
constexpr std::array<std::uint8_t, 64> kInitialPermutation = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

bool bit_at(const Block& block, unsigned position)
{
    return ((block[position / 8] >> (7 - position % 8)) & 1U) != 0;
}

void set_bit(Block& block, unsigned position, bool value)
{
    if (value) {
        block[position / 8] = static_cast<std::uint8_t>(block[position / 8] | (0x80U >> (position % 8)));
    }
}

Block initial_permutation(const Block& in)
{
    Block out{};
    for (unsigned i = 0; i < 64; ++i) {
        set_bit(out, i, bit_at(in, kInitialPermutation[i] - 1U));
    }
    return out;
}

Block final_permutation(const Block& in)
{
    Block out{};
    for (unsigned i = 0; i < 64; ++i) {
        set_bit(out, kInitialPermutation[i] - 1U, bit_at(in, i));
    }
    return out;
}

// Standard DES ends with FP(R16 L16); the library's cipher ends with FP(L16 R16).
Block without_final_swap(const Block& standard)
{
    const Block preoutput = initial_permutation(standard);
    Block swapped{};
    std::memcpy(swapped.data(), preoutput.data() + 4, 4);
    std::memcpy(swapped.data() + 4, preoutput.data(), 4);
    return final_permutation(swapped);
}

Block encipher(DES_key_schedule& schedule, const Block& plain)
{
    DES_cblock in;
    DES_cblock out;
    std::memcpy(in, plain.data(), 8);
    DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
    Block standard{};
    std::memcpy(standard.data(), out, 8);
    return without_final_swap(standard);
}

std::string hex_of(const Block& block)
{
    std::string text;
    char digits[3];
    for (std::uint8_t byte : block) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

}  // namespace

std::string oracle_ciphertext(const std::string& key, const std::string& plain)
{
    DES_cblock keyBlock;
    std::memcpy(keyBlock, key.data(), 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);

    std::string padded = plain;
    while (padded.size() % 8 != 0) {
        padded += '$';
    }
    std::string ciphertext;
    for (std::size_t offset = 0; offset < padded.size(); offset += 8) {
        Block block{};
        std::memcpy(block.data(), padded.data() + offset, 8);
        ciphertext += hex_of(encipher(schedule, block));
    }
    return ciphertext;
}

}  // namespace ozu_test
