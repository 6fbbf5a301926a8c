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

std::string permuted(const std::string& data, bool rawBytes)
{
    DES des;
    char bits[64];
    des.InitialPermuteData(data, bits, rawBytes);
    return std::string(bits, 64);
}

// Only eight bytes are read; a shorter text is completed with zero bytes, as a 7-byte text is by its NUL.
TEST(BitString, BytesBecomeBitsMostSignificantFirst)
{
    EXPECT_EQ(bitsOf(kCountingBytes), kCountingBits);
    EXPECT_EQ(bitsOf(kCountingBytes + "\xff\xff\xff\xff"), kCountingBits);
    EXPECT_EQ(bitsOf(""), std::string(64, '0'));
    for (const std::string text : {"abc", "abcdefg"})
        EXPECT_EQ(bitsOf(text), bitsOf(text + std::string(8 - text.size(), '\0'))) << text;
}

TEST(BitString, BitsPackIntoBytesAfterClearingTheOutput)
{
    std::string notOnes(64, '2');
    notOnes[7] = '1';
    const struct {
        std::string bits;
        std::string bytes;
    } cases[] = {{kCountingBits, kCountingBytes}, {notOnes, std::string("\x01\0\0\0\0\0\0\0", 8)}};
    DES des;
    for (auto c : cases) {
        char bytes[8];
        std::memset(bytes, 0xFF, sizeof bytes);
        des.TranslateBits2Bytes(c.bits.data(), bytes);
        EXPECT_EQ(std::string(bytes, 8), c.bytes);
    }
}

// Counts that are not a positive multiple of eight within the block give an empty text.
TEST(BitString, BinaryToStringInBothForms)
{
    const std::string withZeros("\x41\x42\x00\x43\x44\x00\x45\x46", 8);
    const std::string digitEdges("\x00\x0a\x0f\x10\xab\xff\x7f\x80", 8);
    const struct {
        std::string bytes;
        int count;
        bool hexForm;
        std::string text;
    } cases[] = {
        {kCountingBytes, 64, true, "0123456789abcdef"}, {kCountingBytes, 64, false, kCountingBytes},
        {digitEdges, 64, true, "000a0f10abff7f80"},     {withZeros, 64, false, withZeros},
        {kCountingBytes, 8, true, "01"},                {kCountingBytes, 16, true, "0123"},
        {kCountingBytes, 56, true, "0123456789abcd"},   {kCountingBytes, 0, true, ""},
        {kCountingBytes, -8, true, ""},                 {kCountingBytes, 60, true, ""},
        {kCountingBytes, 12, true, ""},                 {kCountingBytes, 60, false, ""},
    };
    DES des;
    for (const auto& c : cases) {
        std::string bits = bitsOf(c.bytes);
        EXPECT_EQ(des.BinaryToString(bits.data(), c.count, c.hexForm), c.text)
            << des_test::hexOf(c.bytes) << " count " << c.count << " hex " << c.hexForm;
    }
}

// Only lower-case digit characters and values 0 to 15 have a bit group; everything else gives none.
TEST(BitString, HexDigitToBinary)
{
    const struct {
        char c;
        const char* bits;
    } characters[] = {{'0', "0000"}, {'1', "0001"}, {'9', "1001"}, {'a', "1010"}, {'c', "1100"}, {'f', "1111"},
                      {'A', ""},     {'F', ""},     {'g', ""},     {'x', ""},     {' ', ""},     {'\0', ""}};
    const struct {
        int value;
        const char* bits;
    } values[] = {{0, "0000"}, {5, "0101"}, {10, "1010"}, {15, "1111"}, {16, ""}, {-1, ""}, {255, ""}};
    DES des;
    for (const auto& c : characters)
        EXPECT_EQ(des.HexCharToBinary(c.c), c.bits) << int(c.c);
    for (const auto& v : values)
        EXPECT_EQ(des.HexIntToBinary(v.value), v.bits) << v.value;
}

TEST(BitString, SingleBitCharacters)
{
    DES des;
    for (const char c : {'0', '2', ' ', '\x01'})
        EXPECT_EQ(des.SingleCharToBinary(c), 0) << int(c);
    EXPECT_EQ(des.SingleCharToBinary('1'), 1);
    for (const int value : {0, 2, -1})
        EXPECT_EQ(des.SingleBinaryToChar(value), '0') << value;
    EXPECT_EQ(des.SingleBinaryToChar(1), '1');
}

// Hex text: either case counts, other characters add no bits, digits past the sixteenth are ignored
// and a short text is completed with zero bits.
TEST(HexText, ReadsLikeTheRawBytesOfItsDigits)
{
    const struct {
        const char* text;
        std::string bytes;
    } cases[] = {
        {"0123456789abcdef", kCountingBytes},
        {"0123456789ABCDEF", kCountingBytes},
        {"01 23-45:67 89ab\ncdef", kCountingBytes},
        {"0123456789abcdef77", kCountingBytes},
        {"0x1f", "\x01\xf0"},  // bits 000000011111, then zeros
        {"A1", "\xa1"},
        {"0123", "\x01\x23"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(permuted(c.text, false), permuted(c.bytes, true)) << c.text;
    EXPECT_EQ(permuted("", false), std::string(64, '0'));
}

TEST(MyItoa, FormatsHexForRadixSixteenAndSignedDecimalOtherwise)
{
    const struct {
        unsigned long value;
        unsigned int radix;
        const char* text;
    } cases[] = {
        {255, 16, "ff"},         {0, 16, "0"},     {10, 16, "a"},     {0xffffffffUL, 16, "ffffffff"},
        {10, 10, "10"},          {123, 8, "123"},  {123, 2, "123"},   {0x7fffffffUL, 10, "2147483647"},
        {0x80000000UL, 10, "-2147483648"},         {0xffffffffUL, 10, "-1"},
    };
    for (const auto& c : cases) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(my_itoa(c.value, buffer, c.radix), static_cast<int>(std::strlen(c.text)));
        EXPECT_STREQ(buffer, c.text) << c.value << " radix " << c.radix;
    }
}

}  // namespace
