#ifndef OZU_TESTS_DES_TEST_SUPPORT_H
#define OZU_TESTS_DES_TEST_SUPPORT_H

#include "des/DES.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

namespace des_test {

constexpr char kBadCiphertextText[] = "Please enter your correct cipertext!";

/* 8 bytes, most significant first, as the cipher takes a block. */
inline std::string bytesOf(std::uint64_t block)
{
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>((block >> (56 - 8 * i)) & 0xFF);
    return bytes;
}

inline std::uint64_t blockOf(const std::string& bytes)
{
    std::uint64_t block = 0;
    for (int i = 0; i < 8; ++i)
        block = (block << 8) | static_cast<unsigned char>(bytes.at(i));
    return block;
}

inline std::string hexOf(const std::string& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes)
        hex += {kDigits[c >> 4], kDigits[c & 0xF]};
    return hex;
}

inline std::string hexOfBlock(std::uint64_t block) { return hexOf(bytesOf(block)); }

/* Initial permutation on a 64-bit integer (bit 1 most significant), built from the table's regular
 * pattern rather than from a transcribed table. */
inline int initialPermutationSource(int position)
{
    const int row = (position - 1) / 8;
    const int column = (position - 1) % 8;
    const int base = row < 4 ? 2 * row + 2 : 2 * (row - 4) + 1;
    return base + 8 * (7 - column);
}

inline std::uint64_t bitAt(std::uint64_t value, int position) { return (value >> (64 - position)) & 1U; }

inline std::uint64_t initialPermutation(std::uint64_t block)
{
    std::uint64_t result = 0;
    for (int position = 1; position <= 64; ++position)
        result = (result << 1) | bitAt(block, initialPermutationSource(position));
    return result;
}

inline std::uint64_t inverseInitialPermutation(std::uint64_t block)
{
    std::uint64_t result = 0;
    for (int position = 1; position <= 64; ++position)
        result |= bitAt(block, position) << (64 - initialPermutationSource(position));
    return result;
}

/* This cipher leaves out the exchange of halves before IP^-1; undoing IP, exchanging the halves and
 * applying IP^-1 again turns one ciphertext into the other. The map is its own inverse. */
inline std::uint64_t exchangeHalvesUnderIp(std::uint64_t ciphertext)
{
    const std::uint64_t permuted = initialPermutation(ciphertext);
    return inverseInitialPermutation((permuted << 32) | (permuted >> 32));
}

inline std::unique_ptr<DES> desWithKeys(const std::string& first, const std::string& second)
{
    auto des = std::make_unique<DES>();
    des->InitializeKey(first, false);
    des->InitializeKey(second, true);
    return des;
}

/* A message completed with '$' marks to whole blocks, as the any-length operations pad it. */
inline std::string paddedWithMarks(std::string text)
{
    while (text.size() % 8 != 0)
        text += '$';
    return text;
}

inline std::string cipherHex(DES& des) { return std::string(des.GetCiphertext(), 16); }
inline std::string cipherRaw(DES& des) { return std::string(des.GetCiphertext(), 8); }
inline std::string plainRaw(DES& des) { return std::string(des.GetPlaintext(), 8); }

inline std::string randomBytes(std::mt19937_64& random, std::size_t count)
{
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

inline std::string randomText(std::mt19937_64& random, std::size_t count)
{
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789=&.:-_ $";
    std::string text(count, 'x');
    for (char& c : text)
        c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    return text;
}

}  // namespace des_test

#endif
