#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const std::string kCountingBytes("\x01\x23\x45\x67\x89\xab\xcd\xef", 8);
const std::string kCountingBits =
    "0000000100100011010001010110011110001001101010111100110111101111";

std::string bitsOf(const std::string& bytes)
{
    DES des;
    char bits[64];
    des.TranslateBytes2Bits(bytes, bits);
    return std::string(bits, 64);
}

std::string permutedHexText(const std::string& text)
{
    DES des;
    char bits[64];
    des.InitialPermuteData(text, bits, false);
    return std::string(bits, 64);
}

std::string permutedRaw(const std::string& bytes)
{
    DES des;
    char bits[64];
    des.InitialPermuteData(bytes, bits, true);
    return std::string(bits, 64);
}

TEST(BitString, BytesBecomeBitsMostSignificantFirst)
{
    EXPECT_EQ(bitsOf(kCountingBytes), kCountingBits);
}

TEST(BitString, OnlyTheFirstEightBytesAreRead)
{
    EXPECT_EQ(bitsOf(kCountingBytes + "\xff\xff\xff\xff"), kCountingBits);
}

TEST(BitString, ShortTextIsCompletedWithZeroBytes)
{
    EXPECT_EQ(bitsOf("abc"), bitsOf(std::string("abc\0\0\0\0\0", 8)));
    EXPECT_EQ(bitsOf("abcdefg"), bitsOf(std::string("abcdefg\0", 8)));
    EXPECT_EQ(bitsOf(""), std::string(64, '0'));
}

TEST(BitString, BitsPackIntoBytesAfterClearingTheOutput)
{
    DES des;
    std::string bits = kCountingBits;
    char bytes[8];
    std::memset(bytes, 0xFF, sizeof bytes);
    des.TranslateBits2Bytes(bits.data(), bytes);
    EXPECT_EQ(std::string(bytes, 8), kCountingBytes);

    std::string notOnes(64, '2');
    notOnes[7] = '1';
    std::memset(bytes, 0xFF, sizeof bytes);
    des.TranslateBits2Bytes(notOnes.data(), bytes);
    EXPECT_EQ(std::string(bytes, 8), std::string("\x01\0\0\0\0\0\0\0", 8));
}

TEST(BitString, BlockInBothForms)
{
    DES des;
    std::string bits = kCountingBits;
    EXPECT_EQ(des.BinaryToString(bits.data(), 64, true), "0123456789abcdef");
    EXPECT_EQ(des.BinaryToString(bits.data(), 64, false), kCountingBytes);
}

TEST(BitString, HexFormHasTwoLowerCaseDigitsPerByte)
{
    const struct {
        unsigned char byte;
        const char* hex;
    } cases[] = {{0, "00"}, {10, "0a"}, {15, "0f"}, {16, "10"}, {171, "ab"}, {255, "ff"}};
    DES des;
    for (const auto& c : cases) {
        std::string bits = bitsOf(std::string(8, static_cast<char>(c.byte)));
        EXPECT_EQ(des.BinaryToString(bits.data(), 8, true), c.hex) << int(c.byte);
    }
}

TEST(BitString, HexFormLengthFollowsTheCount)
{
    DES des;
    std::string bits = kCountingBits;
    const struct {
        int count;
        const char* hex;
    } cases[] = {{8, "01"}, {16, "0123"}, {56, "0123456789abcd"}, {0, ""}, {-8, ""}, {60, ""}, {12, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(des.BinaryToString(bits.data(), c.count, true), c.hex) << c.count;
}

TEST(BitString, CountNotAMultipleOfEightGivesEmptyRawForm)
{
    DES des;
    std::string bits = kCountingBits;
    EXPECT_EQ(des.BinaryToString(bits.data(), 60, false), "");
}

TEST(BitString, RawFormKeepsZeroBytes)
{
    DES des;
    const std::string bytes("\x41\x42\x00\x43\x44\x00\x45\x46", 8);
    std::string bits = bitsOf(bytes);
    const std::string raw = des.BinaryToString(bits.data(), 64, false);
    ASSERT_EQ(raw.size(), 8U);
    EXPECT_EQ(raw, bytes);
}

TEST(BitString, HexCharToBinary)
{
    const struct {
        char c;
        const char* bits;
    } cases[] = {{'0', "0000"}, {'1', "0001"}, {'9', "1001"}, {'a', "1010"}, {'c', "1100"}, {'f', "1111"},
                 {'A', ""},     {'F', ""},     {'g', ""},     {'x', ""},     {' ', ""},     {'\0', ""}};
    DES des;
    for (const auto& c : cases)
        EXPECT_EQ(des.HexCharToBinary(c.c), c.bits) << int(c.c);
}

TEST(BitString, HexIntToBinary)
{
    const struct {
        int value;
        const char* bits;
    } cases[] = {{0, "0000"}, {5, "0101"}, {10, "1010"}, {15, "1111"}, {16, ""}, {-1, ""}, {255, ""}};
    DES des;
    for (const auto& c : cases)
        EXPECT_EQ(des.HexIntToBinary(c.value), c.bits) << c.value;
}

TEST(BitString, SingleBitCharacters)
{
    DES des;
    EXPECT_EQ(des.SingleCharToBinary('1'), 1);
    EXPECT_EQ(des.SingleCharToBinary('0'), 0);
    EXPECT_EQ(des.SingleCharToBinary('2'), 0);
    EXPECT_EQ(des.SingleCharToBinary(' '), 0);
    EXPECT_EQ(des.SingleCharToBinary('\x01'), 0);
    EXPECT_EQ(des.SingleBinaryToChar(1), '1');
    EXPECT_EQ(des.SingleBinaryToChar(0), '0');
    EXPECT_EQ(des.SingleBinaryToChar(2), '0');
    EXPECT_EQ(des.SingleBinaryToChar(-1), '0');
}

TEST(HexText, DigitsOfEitherCaseAreAccepted)
{
    EXPECT_EQ(permutedHexText("0123456789abcdef"), permutedRaw(kCountingBytes));
    EXPECT_EQ(permutedHexText("0123456789ABCDEF"), permutedRaw(kCountingBytes));
}

TEST(HexText, OtherCharactersContributeNothing)
{
    EXPECT_EQ(permutedHexText("01 23-45:67 89ab\ncdef"), permutedRaw(kCountingBytes));
    // "0x1f" gives the bits 000000011111; the remaining bits are zero.
    EXPECT_EQ(permutedHexText("0x1f"), permutedRaw(std::string("\x01\xf0", 2)));
    EXPECT_EQ(permutedHexText("A1"), permutedRaw("\xa1"));
}

TEST(HexText, DigitsAfterTheSixteenthAreIgnored)
{
    EXPECT_EQ(permutedHexText("0123456789abcdef77"), permutedRaw(kCountingBytes));
}

TEST(HexText, ShortTextIsCompletedWithZeroBits)
{
    EXPECT_EQ(permutedHexText("0123"), permutedHexText("0123000000000000"));
    EXPECT_EQ(permutedHexText(""), std::string(64, '0'));
}

TEST(MyItoa, FormatsHexForRadixSixteenAndSignedDecimalOtherwise)
{
    const struct {
        unsigned long value;
        unsigned int radix;
        const char* text;
    } cases[] = {
        {255, 16, "ff"},
        {0, 16, "0"},
        {10, 16, "a"},
        {0xffffffffUL, 16, "ffffffff"},
        {10, 10, "10"},
        {123, 8, "123"},
        {123, 2, "123"},
        {0x7fffffffUL, 10, "2147483647"},
        {0x80000000UL, 10, "-2147483648"},
        {0xffffffffUL, 10, "-1"},
    };
    for (const auto& c : cases) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        const int written = my_itoa(c.value, buffer, c.radix);
        EXPECT_STREQ(buffer, c.text) << c.value << " radix " << c.radix;
        EXPECT_EQ(written, static_cast<int>(std::strlen(c.text)));
    }
}

}  // namespace
