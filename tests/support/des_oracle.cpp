#include "support/des_oracle.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <cstring>

namespace ozu::test {
namespace {

// Position of the input bit that IP puts at 1-based position p, from the table's regular
// pattern rather than a transcription of it.
int initial_permutation_source(int position)
{
    const int row = (position - 1) / 8;
    const int column = (position - 1) % 8;
    const int base = row < 4 ? 2 * row + 2 : 2 * (row - 4) + 1;
    return base + 8 * (7 - column);
}

std::uint64_t bit_at(std::uint64_t value, int position)
{
    return (value >> (64 - position)) & 1U;
}

std::uint64_t permuted(std::uint64_t block, bool inverse)
{
    std::uint64_t result = 0;
    for (int position = 1; position <= 64; ++position) {
        const int source = initial_permutation_source(position);
        if (inverse) {
            result |= bit_at(block, position) << (64 - source);
        } else {
            result |= bit_at(block, source) << (64 - position);
        }
    }
    return result;
}

std::uint64_t standard_des(const std::string& key, std::uint64_t block, int direction)
{
    DES_cblock key_block;
    std::memcpy(key_block, key.data(), sizeof key_block);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key_block, &schedule);
    DES_cblock in;
    DES_cblock out;
    std::memcpy(in, bytes_of(block).data(), sizeof in);
    DES_ecb_encrypt(&in, &out, &schedule, direction);
    return block_of(std::string(reinterpret_cast<const char*>(out), sizeof out));
}

}  // namespace

std::uint64_t block_of(const std::string& eight_bytes)
{
    std::uint64_t block = 0;
    for (int i = 0; i < 8; ++i) {
        block = (block << 8) | static_cast<unsigned char>(eight_bytes.at(i));
    }
    return block;
}

std::string bytes_of(std::uint64_t block)
{
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>((block >> (56 - 8 * i)) & 0xFF);
    }
    return bytes;
}

std::string hex_of(const std::string& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex += {kDigits[byte >> 4], kDigits[byte & 0xF]};
    }
    return hex;
}

std::uint64_t exchange_halves_under_ip(std::uint64_t block)
{
    const std::uint64_t inner = permuted(block, false);
    return permuted((inner << 32) | (inner >> 32), true);
}

std::uint64_t oracle_encrypt(const std::string& key, std::uint64_t block)
{
    return exchange_halves_under_ip(standard_des(key, block, DES_ENCRYPT));
}

std::uint64_t oracle_decrypt(const std::string& key, std::uint64_t block)
{
    return standard_des(key, exchange_halves_under_ip(block), DES_DECRYPT);
}

std::string oracle_ciphertext(const std::string& key, const std::string& text)
{
    std::string padded = text;
    padded.append((8 - padded.size() % 8) % 8, '$');
    std::string ciphertext;
    for (std::size_t offset = 0; offset < padded.size(); offset += 8) {
        ciphertext += hex_of(bytes_of(oracle_encrypt(key, block_of(padded.substr(offset, 8)))));
    }
    return ciphertext;
}

}  // namespace ozu::test
