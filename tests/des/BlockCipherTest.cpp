#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <random>
#include <string>

namespace {

using des_test::bytesOf;
using des_test::cipherHex;
using des_test::cipherRaw;
using des_test::exchangeHalvesUnderIp;
using des_test::hexOfBlock;
using des_test::plainRaw;
using des_test::randomBytes;

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

TEST(BlockSteps, InitialPermutation)
{
    DES des;
    char bits[64];
    des.InitialPermuteData(bytesOf(kExamplePlaintext), bits, true);
    EXPECT_EQ(std::string(bits, 64), kExampleAfterIp);
    des.InitialPermuteData("0123456789abcdef", bits, false);
    EXPECT_EQ(std::string(bits, 64), kExampleAfterIp);
}

TEST(BlockSteps, Expansion)
{
    DES des;
    std::string right = kExampleR0;
    char expanded[48];
    des.ExpansionR(right.data(), expanded);
    EXPECT_EQ(std::string(expanded, 48), kExampleExpandedR0);
}

TEST(BlockSteps, ExclusiveOrReadsEveryOtherCharacterAsZero)
{
    DES des;
    std::string a = kExampleExpandedR0;
    std::string b = kExampleSubKey1;
    char out[48];
    des.XOR(a.data(), b.data(), 48, out);
    EXPECT_EQ(std::string(out, 48), kExampleMixed);

    std::string left = "1122 0";
    std::string right = "1 1 12";
    char mixed[6];
    des.XOR(left.data(), right.data(), 6, mixed);
    EXPECT_EQ(std::string(mixed, 6), "011010");
}

TEST(BlockSteps, Substitution)
{
    DES des;
    std::string mixed = kExampleMixed;
    EXPECT_EQ(des.CompressFuncS(mixed.data()), kExampleSBoxOutput);
}

TEST(BlockSteps, SubstitutionRowAndColumnSelection)
{
    // Group 011011 of S1: row 01, column 1101, value 5.
    DES des;
    std::string input = "011011" + std::string(42, '0');
    EXPECT_EQ(des.CompressFuncS(input.data()).substr(0, 4), "0101");
}

TEST(BlockSteps, Permutation)
{
    DES des;
    char out[32];
    des.PermutationP(kExampleSBoxOutput, out);
    EXPECT_EQ(std::string(out, 32), kExampleRoundFunction);
}

TEST(BlockCipher, WorkedExampleDiffersFromStandardOnlyByTheHalfExchange)
{
    DES des;
    des.InitializeKey(bytesOf(kExampleKey), false);
    des.EncryptData(bytesOf(kExamplePlaintext), false, true);
    EXPECT_EQ(cipherHex(des), hexOfBlock(exchangeHalvesUnderIp(kExampleStandardCiphertext)));
    EXPECT_NE(cipherHex(des), hexOfBlock(kExampleStandardCiphertext));
}

TEST(BlockCipher, RoundTripsInBothFormsAndSlots)
{
    std::mt19937_64 random(21);
    DES des;
    for (int i = 0; i < 200; ++i) {
        const bool slot = i % 2 == 1;
        des.InitializeKey(randomBytes(random, 8), slot);
        const std::string block = randomBytes(random, 8);

        des.EncryptData(block, slot, true);
        const std::string hex = cipherHex(des);
        des.DecryptData(hex, slot, true);
        EXPECT_EQ(plainRaw(des), block);

        des.EncryptData(block, slot, false);
        const std::string raw = cipherRaw(des);
        EXPECT_EQ(des_test::hexOf(raw), hex);
        des.DecryptData(raw, slot, false);
        EXPECT_EQ(plainRaw(des), block);
    }
}

TEST(BlockCipher, RawFormRoundTripsWithZeroBytesOnBothSides)
{
    std::mt19937_64 random(22);
    DES des;
    des.InitializeKey("zerobyte", false);
    int blocksWithZeroCiphertextByte = 0;
    for (int i = 0; i < 5000 && blocksWithZeroCiphertextByte < 5; ++i) {
        std::string block = randomBytes(random, 8);
        block[i % 8] = '\0';
        des.EncryptData(block, false, false);
        const std::string raw = cipherRaw(des);
        if (raw.find('\0') != std::string::npos)
            ++blocksWithZeroCiphertextByte;
        des.DecryptData(raw, false, false);
        ASSERT_EQ(plainRaw(des), block);
    }
    EXPECT_EQ(blocksWithZeroCiphertextByte, 5);
}

TEST(BlockCipher, HexOutputIsLowerCaseAndUpperCaseInputDecryptsAlike)
{
    std::mt19937_64 random(23);
    DES des;
    des.InitializeKey("casekey!", false);
    for (int i = 0; i < 50; ++i) {
        const std::string block = randomBytes(random, 8);
        des.EncryptData(block, false, true);
        const std::string hex = cipherHex(des);
        EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
        std::string upper = hex;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
        des.DecryptData(upper, false, true);
        EXPECT_EQ(plainRaw(des), block);
    }
}

TEST(BlockCipher, OnlyTheFirstEightDataBytesAreEncrypted)
{
    DES des;
    des.InitializeKey("12345678", false);
    des.EncryptData("abcdefgh", false, true);
    const std::string expected = cipherHex(des);
    des.EncryptData("abcdefghijkl", false, true);
    EXPECT_EQ(cipherHex(des), expected);
    des.EncryptData("abcdefghijkl", false, false);
    des.DecryptData(cipherRaw(des) + "junk", false, false);
    EXPECT_EQ(plainRaw(des), "abcdefgh");
}

TEST(BlockCipher, ShortInputIsCompletedWithZeros)
{
    DES des;
    des.InitializeKey("12345678", false);
    des.EncryptData(std::string("abc\0\0\0\0\0", 8), false, true);
    const std::string expected = cipherHex(des);
    des.EncryptData("abc", false, true);
    EXPECT_EQ(cipherHex(des), expected);

    des.DecryptData("12ab", false, true);
    const std::string fromShortHex = plainRaw(des);
    des.DecryptData("12ab000000000000", false, true);
    EXPECT_EQ(plainRaw(des), fromShortHex);
    des.DecryptData(std::string("\x12\xab\0\0\0\0\0\0", 8), false, false);
    EXPECT_EQ(plainRaw(des), fromShortHex);
}

TEST(BlockCipher, RawFormClearsTheUnusedSecondHalf)
{
    DES des;
    des.InitializeKey("12345678", false);
    des.EncryptData("abcdefgh", false, true);
    des.EncryptData("abcdefgh", false, false);
    EXPECT_EQ(std::string(des.GetCiphertext() + 8, 8), std::string(8, '\0'));
}

TEST(BlockCipher, SameKeyInBothSlotsEncryptDecryptEncryptIsOneEncryption)
{
    DES des;
    des.InitializeKey("samekey!", false);
    des.InitializeKey("samekey!", true);
    des.EncryptData("8 bytes!", false, true);
    const std::string once = cipherHex(des);
    des.DecryptData(once, true, true);
    des.EncryptData(plainRaw(des), false, true);
    EXPECT_EQ(cipherHex(des), once);
}

}  // namespace
