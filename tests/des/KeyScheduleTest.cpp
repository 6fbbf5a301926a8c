#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace {

using des_test::bytesOf;
using des_test::cipherHex;
using des_test::randomBytes;

// The worked example of the FIPS 46-3 key schedule: key 133457799BBCDFF1.
const std::uint64_t kExampleKey = 0x133457799BBCDFF1ULL;
const std::string kExampleKeyAfterPc1 = "11110000110011001010101011110101010101100110011110001111";
const std::string kExampleSubKey1 = "000110110000001011101111111111000111000001110010";
const std::string kExampleSubKey2 = "011110011010111011011001110110111100100111100101";
const std::string kExampleSubKey16 = "110010110011110110001011000011100001011111110101";

// Round 1 of the same example with the plaintext 0123456789ABCDEF.
const std::string kExampleL0 = "11001100000000001100110011111111";
const std::string kExampleR0 = "11110000101010101111000010101010";
const std::string kExampleR1 = "11101111010010100110010101000100";

std::string encryptHexWithKey(const std::string& key, const std::string& block)
{
    DES des;
    des.InitializeKey(key, false);
    des.EncryptData(block, false, true);
    return cipherHex(des);
}

TEST(KeySchedule, SubKeysOfTheWorkedExample)
{
    DES des;
    std::string key56 = kExampleKeyAfterPc1;
    char subKeys[16][48];
    des.CreateSubKey(key56.data(), subKeys);
    EXPECT_EQ(std::string(subKeys[0], 48), kExampleSubKey1);
    EXPECT_EQ(std::string(subKeys[1], 48), kExampleSubKey2);
    EXPECT_EQ(std::string(subKeys[15], 48), kExampleSubKey16);
}

TEST(KeySchedule, HalvesAreBackInPlaceAfterSixteenRounds)
{
    DES des;
    std::string key56 = kExampleKeyAfterPc1;
    char subKeys[16][48];
    des.CreateSubKey(key56.data(), subKeys);
    EXPECT_EQ(key56, kExampleKeyAfterPc1);
}

TEST(KeySchedule, InitializeKeyLoadsTheSubKeysOfEitherSlot)
{
    for (const bool slot : {false, true}) {
        DES des;
        des.InitializeKey(bytesOf(kExampleKey), slot);
        std::string left = kExampleL0;
        std::string right = kExampleR0;
        des.FunctionF(left.data(), right.data(), slot, 0);
        EXPECT_EQ(left, kExampleR0) << slot;
        EXPECT_EQ(right, kExampleR1) << slot;
    }
}

TEST(KeySchedule, OnlyTheFirstEightKeyCharactersCount)
{
    std::mt19937_64 random(11);
    for (int i = 0; i < 50; ++i) {
        const std::string block = randomBytes(random, 8);
        EXPECT_EQ(encryptHexWithKey("ABCDEFGH12", block), encryptHexWithKey("ABCDEFGH", block));
    }
}

TEST(KeySchedule, ParityBitsHaveNoEffect)
{
    std::mt19937_64 random(12);
    for (int i = 0; i < 50; ++i) {
        const std::uint64_t key = random();
        const std::string block = randomBytes(random, 8);
        EXPECT_EQ(encryptHexWithKey(bytesOf(key ^ 0x0101010101010101ULL), block),
                  encryptHexWithKey(bytesOf(key), block));
    }
}

TEST(KeySchedule, ShortKeyIsCompletedWithZeroBytes)
{
    const std::string block = "payload!";
    EXPECT_EQ(encryptHexWithKey("abc", block), encryptHexWithKey(std::string("abc\0\0\0\0\0", 8), block));
    EXPECT_EQ(encryptHexWithKey("", block), encryptHexWithKey(std::string(8, '\0'), block));
}

TEST(KeySchedule, SlotsAreIndependent)
{
    const std::string block = "8 bytes!";
    const std::string withFirst = encryptHexWithKey("firstkey", block);
    const std::string withSecond = encryptHexWithKey("secondky", block);
    ASSERT_NE(withFirst, withSecond);

    DES des;
    des.InitializeKey("firstkey", false);
    des.InitializeKey("secondky", true);
    des.EncryptData(block, false, true);
    EXPECT_EQ(cipherHex(des), withFirst);
    des.EncryptData(block, true, true);
    EXPECT_EQ(cipherHex(des), withSecond);

    des.InitializeKey("secondky", false);
    des.InitializeKey("firstkey", true);
    des.EncryptData(block, false, true);
    EXPECT_EQ(cipherHex(des), withSecond);
    des.EncryptData(block, true, true);
    EXPECT_EQ(cipherHex(des), withFirst);
}

TEST(KeySchedule, UnloadedSlotOfANewObjectActsAsTheZeroKey)
{
    const std::string block = "8 bytes!";
    for (const bool slot : {false, true}) {
        DES des;
        des.EncryptData(block, slot, true);
        EXPECT_EQ(cipherHex(des), encryptHexWithKey(std::string(8, '\0'), block)) << slot;
    }
}

}  // namespace
