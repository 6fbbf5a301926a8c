// The fast engine: the cipher on machine words, a block or a pair at a time, and bit-sliced over long runs.
#ifndef OZU_DES_FAST_ENGINE_H
#define OZU_DES_FAST_ENGINE_H

#include <array>
#include <cstddef>
#include <cstdint>

/* The block cipher of the DES class on machine words. A block is a 64-bit integer whose most
 * significant bit is bit 1 of the bit-string form; results equal those of the bit-string members. */
namespace ozu::des {

/* A key slot's sub-keys, packed for the engine. */
struct SubKeys {
    // 48 bits each, sub-key character 0 in bit 47.
    std::array<std::uint64_t, 16> bits;
    // The even and the odd six-bit groups, each group in the bits where a round reads it.
    std::array<std::array<std::uint32_t, 2>, 16> spread;
};

SubKeys pack_sub_keys(const char (*sub_keys)[48]);

/* The key schedule: the sixteen sub-keys of a key block written as a key slot holds them, 48
 * characters '0' or '1' per round. */
void write_sub_key_bits(std::uint64_t key, char (*sub_keys)[48]);

std::uint64_t encrypt_block(const SubKeys& keys, std::uint64_t block);
std::uint64_t decrypt_block(const SubKeys& keys, std::uint64_t block);
/* Two or three independent blocks at once, which takes less time than one after another. */
void encrypt_block_pair(const SubKeys& keys, std::array<std::uint64_t, 2>& blocks);
void decrypt_block_pair(const SubKeys& keys, std::array<std::uint64_t, 2>& blocks);
void encrypt_block_triple(const SubKeys& keys, std::array<std::uint64_t, 3>& blocks);
void decrypt_block_triple(const SubKeys& keys, std::array<std::uint64_t, 3>& blocks);

/* Electronic-codebook mode over count blocks of 8 bytes; in and out may be the same buffer. */
void encrypt_blocks(const SubKeys& keys, const unsigned char* in, unsigned char* out, std::size_t count);
void decrypt_blocks(const SubKeys& keys, const unsigned char* in, unsigned char* out, std::size_t count);
/* Two-key triple DES: encipher with first, decipher with second, encipher with first; and back. */
void triple_encrypt_blocks(const SubKeys& first, const SubKeys& second, const unsigned char* in, unsigned char* out,
                           std::size_t count);
void triple_decrypt_blocks(const SubKeys& first, const SubKeys& second, const unsigned char* in, unsigned char* out,
                           std::size_t count);

}  // namespace ozu::des

#endif
