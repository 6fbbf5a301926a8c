#include "support/openssl_oracle.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace ozu_test {

namespace {

// A block as one number; bit 63 is the first bit of the block.
using Bits = std::uint64_t;

// Initial permutation of FIPS 46-3: output bit i is input bit kInitialPermutation[i] (1-based).
constexpr std::array<std::uint8_t, 64> kInitialPermutation = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

// The initial permutation, or (inverse) the final one.
Bits permuted(Bits in, bool inverse)
{
    Bits out = 0;
    for (unsigned i = 0; i < 64; ++i) {
        const unsigned table = kInitialPermutation[i] - 1U;
        const unsigned from = inverse ? i : table;
        const unsigned to = inverse ? table : i;
        out |= ((in >> (63 - from)) & 1U) << (63 - to);
    }
    return out;
}

// Standard DES ends with FP(R16 L16); the library's cipher ends with FP(L16 R16).
Bits enciphered(DES_key_schedule& schedule, const char* plain)
{
    DES_cblock in;
    DES_cblock out;
    std::memcpy(in, plain, 8);
    DES_ecb_encrypt(&in, &out, &schedule, DES_ENCRYPT);
    Bits standard = 0;
    for (unsigned char byte : out) {
        standard = (standard << 8) | byte;
    }
    const Bits preoutput = permuted(standard, false);
    return permuted((preoutput << 32) | (preoutput >> 32), true);
}

}  // namespace

std::string oracle_ciphertext(const std::string& key, const std::string& plain)
{
    DES_cblock keyBlock;
    std::memcpy(keyBlock, key.data(), 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBlock, &schedule);

    std::string padded = plain;
    padded.append((8 - padded.size() % 8) % 8, '$');
    std::string ciphertext;
    std::array<char, 17> hex{};
    for (std::size_t offset = 0; offset < padded.size(); offset += 8) {
        std::snprintf(hex.data(), hex.size(), "%016llx",
                      static_cast<unsigned long long>(enciphered(schedule, padded.data() + offset)));
        ciphertext += hex.data();
    }
    return ciphertext;
}

}  // namespace ozu_test
