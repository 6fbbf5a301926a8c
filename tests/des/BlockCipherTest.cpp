#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <random>
#include <string>
#include <utility>

namespace {

using des_test::bytesOf;
using des_test::cipherHex;
using des_test::cipherRaw;
using des_test::hexOfBlock;
using des_test::plainRaw;

// Intermediate values of round 1 of the FIPS 46-3 worked example (key 133457799BBCDFF1,
// plaintext 0123456789ABCDEF).
const std::uint64_t kExampleKey = 0x133457799BBCDFF1ULL;
const std::uint64_t kExamplePlaintext = 0x0123456789ABCDEFULL;
const std::uint64_t kExampleStandardCiphertext = 0x85E813540F0AB405ULL;
const std::string kExampleAfterIp =
    "1100110000000000110011001111111111110000101010101111000010101010";
const std::string kExampleR0 = "11110000101010101111000010101010";
const std::string kExampleExpandedR0 = "011110100001010101010101011110100001010101010101";
const std::string kExampleSubKey1 = "000110110000001011101111111111000111000001110010";
const std::string kExampleMixed = "011000010001011110111010100001100110010100100111";
const std::string kExampleSBoxOutput = "01011100100000101011010110010111";
const std::string kExampleRoundFunction = "00100011010010101010100110111011";

TEST(BlockSteps, RoundOneOfTheWorkedExample)
{
    DES des;
    char bits[64];
    des.InitialPermuteData(bytesOf(kExamplePlaintext), bits, true);
    EXPECT_EQ(std::string(bits, 64), kExampleAfterIp);
    des.InitialPermuteData("0123456789abcdef", bits, false);
    EXPECT_EQ(std::string(bits, 64), kExampleAfterIp);

    std::string right = kExampleR0;
    char expanded[48];
    des.ExpansionR(right.data(), expanded);
    EXPECT_EQ(std::string(expanded, 48), kExampleExpandedR0);

    std::string subKey = kExampleSubKey1;
    char mixed[48];
    des.XOR(expanded, subKey.data(), 48, mixed);
    EXPECT_EQ(std::string(mixed, 48), kExampleMixed);

    const std::string substituted = des.CompressFuncS(mixed);
    EXPECT_EQ(substituted, kExampleSBoxOutput);
    char permuted[32];
    des.PermutationP(substituted, permuted);
    EXPECT_EQ(std::string(permuted, 32), kExampleRoundFunction);
}

// P sends input bits 1, 2, 3 and 4 to output positions 9, 17, 23 and 31; bits missing from a short
// input read as '0'. The 20-character input lies on the heap, where AddressSanitizer sees every read.
TEST(BlockSteps, PermutationOfAShortInputReadsTheMissingBitsAsZero)
{
    const std::string bitNine = std::string(8, '0') + "1" + std::string(23, '0');
    const std::pair<std::string, std::string> cases[] = {
        {"", std::string(32, '0')},
        {"1111", "00000000100000001000001000000010"},
        {"1" + std::string(19, '0'), bitNine},
    };
    DES des;
    for (const auto& [input, expected] : cases) {
        char permuted[32];
        des.PermutationP(input, permuted);
        EXPECT_EQ(std::string(permuted, 32), expected) << input;
    }
}

TEST(BlockSteps, ExclusiveOrReadsEveryOtherCharacterAsZero)
{
    DES des;
    std::string left = "1122 0";
    std::string right = "1 1 12";
    char mixed[6];
    des.XOR(left.data(), right.data(), 6, mixed);
    EXPECT_EQ(std::string(mixed, 6), "011010");
}

TEST(BlockSteps, SubstitutionRowAndColumnSelection)
{
    // Group 011011 of S1: row 01, column 1101, value 5.
    DES des;
    std::string input = "011011" + std::string(42, '0');
    EXPECT_EQ(des.CompressFuncS(input.data()).substr(0, 4), "0101");
}

TEST(BlockCipher, WorkedExampleDiffersFromStandardOnlyByTheHalfExchange)
{
    DES des;
    des.InitializeKey(bytesOf(kExampleKey), false);
    des.EncryptData(bytesOf(kExamplePlaintext), false, true);
    EXPECT_EQ(cipherHex(des), hexOfBlock(des_test::exchangeHalvesUnderIp(kExampleStandardCiphertext)));
    EXPECT_NE(cipherHex(des), hexOfBlock(kExampleStandardCiphertext));
}

// Hex output is lower case, upper-case hex input deciphers alike, and zero bytes survive the raw form
// on both sides.
TEST(BlockCipher, RoundTripsInBothFormsAndSlots)
{
    std::mt19937_64 random(21);
    DES des;
    int zeroByteCiphertexts = 0;
    for (int i = 0; i < 200 || (i < 5000 && zeroByteCiphertexts < 5); ++i) {
        const bool slot = i % 2 == 1;
        des.InitializeKey(des_test::randomBytes(random, 8), slot);
        std::string block = des_test::randomBytes(random, 8);
        if (i % 3 == 0)
            block[i % 8] = '\0';

        des.EncryptData(block, slot, true);
        const std::string hex = cipherHex(des);
        ASSERT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
        std::string upper = hex;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
        for (const std::string& text : {hex, upper}) {
            des.DecryptData(text, slot, true);
            ASSERT_EQ(plainRaw(des), block) << text;
        }

        des.EncryptData(block, slot, false);
        const std::string raw = cipherRaw(des);
        ASSERT_EQ(des_test::hexOf(raw), hex);
        zeroByteCiphertexts += raw.find('\0') != std::string::npos;
        des.DecryptData(raw, slot, false);
        ASSERT_EQ(plainRaw(des), block) << hex;
    }
    EXPECT_GE(zeroByteCiphertexts, 5);
}

// Only the first block of longer input counts; short input is completed with zero bytes or zero
// digits; in the raw form the unused second half of the ciphertext buffer is cleared.
TEST(BlockCipher, InputOfOtherLengths)
{
    DES des;
    des.InitializeKey("12345678", false);
    des.EncryptData("abcdefgh", false, true);
    const std::string abcdefgh = cipherHex(des);
    des.EncryptData("abcdefghijkl", false, true);
    EXPECT_EQ(cipherHex(des), abcdefgh);
    des.EncryptData("abcdefghijkl", false, false);
    EXPECT_EQ(std::string(des.GetCiphertext() + 8, 8), std::string(8, '\0'));
    des.DecryptData(cipherRaw(des) + "junk", false, false);
    EXPECT_EQ(plainRaw(des), "abcdefgh");

    des.EncryptData(std::string("abc\0\0\0\0\0", 8), false, true);
    const std::string abc = cipherHex(des);
    des.EncryptData("abc", false, true);
    EXPECT_EQ(cipherHex(des), abc);

    des.DecryptData("12ab000000000000", false, true);
    const std::string fromFullHex = plainRaw(des);
    des.DecryptData("12ab", false, true);
    EXPECT_EQ(plainRaw(des), fromFullHex);
    des.DecryptData(std::string("\x12\xab\0\0\0\0\0\0", 8), false, false);
    EXPECT_EQ(plainRaw(des), fromFullHex);
}

}  // namespace
