#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using des_test::bytesOf;
using des_test::cipherHex;

// The worked example of the FIPS 46-3 key schedule (key 133457799BBCDFF1) and its round 1 with the
// plaintext 0123456789ABCDEF.
const std::uint64_t kExampleKey = 0x133457799BBCDFF1ULL;
const std::string kExampleKeyAfterPc1 = "11110000110011001010101011110101010101100110011110001111";
const std::string kExampleSubKey1 = "000110110000001011101111111111000111000001110010";
const std::string kExampleSubKey2 = "011110011010111011011001110110111100100111100101";
const std::string kExampleSubKey16 = "110010110011110110001011000011100001011111110101";
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

// After sixteen rotations the halves are back in place, so the key given is unchanged.
TEST(KeySchedule, SubKeysOfTheWorkedExample)
{
    DES des;
    std::string key56 = kExampleKeyAfterPc1;
    char subKeys[16][48];
    des.CreateSubKey(key56.data(), subKeys);
    EXPECT_EQ(std::string(subKeys[0], 48), kExampleSubKey1);
    EXPECT_EQ(std::string(subKeys[1], 48), kExampleSubKey2);
    EXPECT_EQ(std::string(subKeys[15], 48), kExampleSubKey16);
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

// Only the first eight key characters count, a short key is completed with zero bytes (as a 7-byte
// key is by its NUL), and parity bits have no effect.
TEST(KeySchedule, EquivalentKeysEncryptAlike)
{
    std::mt19937_64 random(11);
    std::vector<std::pair<std::string, std::string>> pairs = {
        {"ABCDEFGH12", "ABCDEFGH"},
        {"abc", std::string("abc\0\0\0\0\0", 8)},
        {"", std::string(8, '\0')},
    };
    for (int i = 0; i < 10; ++i) {
        const std::uint64_t key = random();
        pairs.emplace_back(bytesOf(key), bytesOf(key ^ 0x0101010101010101ULL));
    }
    for (const auto& [key, equivalent] : pairs) {
        for (int i = 0; i < 5; ++i) {
            const std::string block = des_test::randomBytes(random, 8);
            EXPECT_EQ(encryptHexWithKey(key, block), encryptHexWithKey(equivalent, block))
                << des_test::hexOf(key);
        }
    }
}

TEST(KeySchedule, SlotsAreIndependent)
{
    const std::string block = "8 bytes!";
    const std::string withFirst = encryptHexWithKey("firstkey", block);
    const std::string withSecond = encryptHexWithKey("secondky", block);
    ASSERT_NE(withFirst, withSecond);
    DES des;
    for (const bool swapped : {false, true}) {
        des.InitializeKey(swapped ? "secondky" : "firstkey", false);
        des.InitializeKey(swapped ? "firstkey" : "secondky", true);
        des.EncryptData(block, false, true);
        EXPECT_EQ(cipherHex(des), swapped ? withSecond : withFirst);
        des.EncryptData(block, true, true);
        EXPECT_EQ(cipherHex(des), swapped ? withFirst : withSecond);
    }
}

// The constructor clears both key slots, so a slot never loaded acts as the zero key.
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
