// Shared support: a block as a 64-bit word, read from bytes or hex text, written back, and permuted by IP.
#ifndef OZU_DES_BLOCK_SUPPORT_H
#define OZU_DES_BLOCK_SUPPORT_H

#include <array>
#include <cstddef>
#include <cstdint>

/* A block is a 64-bit word whose most significant bit is bit 1 of the tables' numbering, the most
 * significant bit of the first byte. */
namespace ozu::des {

constexpr int kBlockBytes = 8;
constexpr int kBlockBits = 64;
constexpr int kHalfBits = 32;
constexpr int kHexBlockChars = 16;
constexpr int kRounds = 16;
constexpr int kSubKeyBits = 48;

std::uint64_t load_block(const unsigned char* bytes);
void store_block(std::uint64_t block, unsigned char* bytes);

/* The first eight bytes of a text; a shorter text is completed with zero bytes, as a 7-byte text
 * is by its terminator. */
std::uint64_t load_text_block(const char* text, std::size_t size);

/* 0 to 15 for '0'-'9' and 'a'-'f', -1 for anything else. */
int lower_hex_digit_value(char c);

/* The first 16 hex digits of a text, in either case; other characters are skipped, and the bits of
 * missing digits are zero. */
std::uint64_t read_hex_block(const char* text, std::size_t size);

/* 16 lower-case hex digits, no terminator. */
void write_hex_block(std::uint64_t block, char* hex);

/* IP as five exchanges of bit groups between the halves; the same exchanges backwards give IP^-1.
 * Always inlined, so that the steps unroll into constants: the engine runs them on every block. */

/* Exchanges the bits of a selected by mask, shifted by shift, with those of b. */
inline void swap_bits(std::uint32_t& a, std::uint32_t& b, int shift, std::uint32_t mask)
{
    const std::uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

struct PermutationStep {
    bool from_left;
    std::uint8_t shift;
    std::uint32_t mask;
};

constexpr std::array<PermutationStep, 5> kIpSteps = {{
    {true, 4, 0x0F0F0F0F},
    {true, 16, 0x0000FFFF},
    {false, 2, 0x33333333},
    {false, 8, 0x00FF00FF},
    {true, 1, 0x55555555},
}};

inline void apply_step(const PermutationStep& step, std::uint32_t& left, std::uint32_t& right)
{
    if (step.from_left) {
        swap_bits(left, right, step.shift, step.mask);
    } else {
        swap_bits(right, left, step.shift, step.mask);
    }
}

[[gnu::always_inline]] inline void initial_permutation(std::uint32_t& left, std::uint32_t& right)
{
    for (const PermutationStep& step : kIpSteps) {
        apply_step(step, left, right);
    }
}

[[gnu::always_inline]] inline void final_permutation(std::uint32_t& left, std::uint32_t& right)
{
    for (auto step = kIpSteps.rbegin(); step != kIpSteps.rend(); ++step) {
        apply_step(*step, left, right);
    }
}

}  // namespace ozu::des

#endif
