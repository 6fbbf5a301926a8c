#include "support/des_oracle.h"

namespace ozu::test {
namespace {

// IP read from its table's regular pattern rather than a transcription of it: output bit p (0 is the most
// significant) comes from input bit source; rows take the odd then the even bits of the bytes, last byte first.
std::uint64_t permuted(std::uint64_t block, bool inverse)
{
    std::uint64_t result = 0;
    for (int position = 0; position < 64; ++position) {
        const int row = position / 8;
        const int source = (row < 4 ? 2 * row + 1 : 2 * row - 8) + 8 * (7 - position % 8);
        const int from = inverse ? position : source;
        result |= ((block >> (63 - from)) & 1U) << (63 - (inverse ? source : position));
    }
    return result;
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

#ifdef OZU_TEST_OPENSSL
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
#endif

}  // namespace ozu::test
