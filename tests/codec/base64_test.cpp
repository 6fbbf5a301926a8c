// Base64 against fixed texts and bytes, and against the earlier implementation on random inputs: the CR LF after every
// 76 characters, also after a last full line, and decoding that reads and writes nothing past the lengths it is given.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/CodecBase64.h"

namespace ozu::test {

// The codec as it was before its table-driven rewrite (base64_reference.cpp), for the equivalence test only.
namespace reference {
int base64_encode(const unsigned char* bytes, int count, std::string& out);
int base64_decode(const char* text, int length, unsigned char* out);
}  // namespace reference

namespace {

using CommonKit::CCodecBase64;

struct Case {
    std::string bytes;
    std::string text;
};

const std::string kLine(76, 'A');

// 57 zero bytes make one full line.
const Case kBothWays[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {std::string("\x00\x10\x83\x10\x51\x87\x20\x92\x8b\x30\xd3\x8f\x41\x14\x93\x51\x55\x97\x61\x96\x9b\x71\xd7\x9f"
                 "\x82\x18\xa3\x92\x59\xa7\xa2\x9a\xab\xb2\xdb\xaf\xc3\x1c\xb3\xd3\x5d\xb7\xe3\x9e\xbb\xf3\xdf\xbf",
                 48),
     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"},
    {std::string(57, '\0'), kLine + "\r\n"},
    {std::string(58, '\0'), kLine + "\r\nAA=="},
    {std::string(114, '\0'), kLine + "\r\n" + kLine + "\r\n"},
};

// A group whose third character is '=' yields one byte, and the next group begins at that '='; line breaks between
// groups are skipped; codes above 'z' (0xc2 is 'B' modulo 128), and all others outside the alphabet, read as 0; a short
// last group reads as if '=' filled it.
const Case kDecodedOnly[] = {
    {"A", "QQ=Q"},
    {std::string("\x41\x00\x04\x14", 4), "QQ==QUJD"},
    {"ABCAB", "\nQUJD\r\r\nQUI="},
    {std::string(6, '\0'), "{\xc2\xff~ !\t*"},
    {"AB", "QUI"},
    {"A", "QQ"},
    {"", "Q"},
    {"ABC", "QUJD\r\nQ"},
};

// The text in a heap buffer of exactly its length, the output in one of exactly the expected length, where
// AddressSanitizer sees any access past them.
void expect_decoded(const Case& c)
{
    const std::vector<char> text(c.text.begin(), c.text.end());
    std::vector<unsigned char> bytes(c.bytes.size());
    EXPECT_EQ(CCodecBase64().Decode(text.data(), static_cast<int>(text.size()), bytes.data()),
              static_cast<int>(bytes.size()))
        << c.text;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes) << c.text;
}

// Appended to what the string held, whose length counts. A negative count appends nothing (as a size it would
// reach before the bytes).
TEST(Base64, EncodesExactText)
{
    for (const Case& c : kBothWays) {
        std::string out = ">";
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.bytes.data());
        const int length = CCodecBase64().Encode(bytes, static_cast<int>(c.bytes.size()), out);
        EXPECT_EQ(length, static_cast<int>(1 + c.text.size()));
        EXPECT_EQ(out, ">" + c.text);
    }
    std::string out = "abc";
    EXPECT_EQ(CCodecBase64().Encode(reinterpret_cast<const unsigned char*>("foobar"), -4, out), 3);
    EXPECT_EQ(out, "abc");
}

// A negative length decodes nothing and writes nothing.
TEST(Base64, DecodesExactBytesWithinTheLengths)
{
    for (const Case& c : kBothWays) {
        expect_decoded(c);
    }
    for (const Case& c : kDecodedOnly) {
        expect_decoded(c);
    }
    EXPECT_EQ(CCodecBase64().Decode("QUJD", -4, nullptr), 0);
}

// Mostly the alphabet, with the characters the decoder treats apart and some from outside it.
std::string random_text(std::mt19937& random, std::size_t length)
{
    static const std::string kPalette =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/====\r\n\r\n {~\x80\xff";
    std::string text(length, '\0');
    for (char& c : text) {
        c = random() % 8 == 0 ? static_cast<char>(random()) : kPalette[random() % kPalette.size()];
    }
    return text;
}

// The bytes in a heap buffer of exactly their count, appended to an empty and a non-empty string; returns the text.
std::string expect_encoded_as_before(const std::string& text)
{
    const std::vector<unsigned char> bytes(text.begin(), text.end());
    const int count = static_cast<int>(bytes.size());
    for (const char* before : {"", "held"}) {
        std::string expected = before;
        std::string actual = before;
        EXPECT_EQ(CCodecBase64().Encode(bytes.data(), count, actual),
                  reference::base64_encode(bytes.data(), count, expected));
        EXPECT_EQ(actual, expected) << count;
    }
    std::string encoded;
    reference::base64_encode(bytes.data(), count, encoded);
    return encoded;
}

// The text in a heap buffer of exactly its length, the output in one of exactly 3 bytes per 4 characters, whose
// bytes past those decoded must keep their fill.
void expect_decoded_as_before(const std::string& text)
{
    const std::vector<char> input(text.begin(), text.end());
    std::vector<unsigned char> expected(text.size() * 3 / 4, 0xA5);
    std::vector<unsigned char> actual(expected.size(), 0xA5);
    const int length = static_cast<int>(text.size());
    ASSERT_EQ(CCodecBase64().Decode(input.data(), length, actual.data()),
              reference::base64_decode(input.data(), length, expected.data()))
        << text;
    EXPECT_EQ(actual, expected) << text;
}

// Against the earlier implementation (base64_reference.cpp) on random inputs of every length up to 300 and a few
// long ones. Decoded: well-formed texts, alone and followed by blank lines, the same with line breaks moved to odd
// places, cut at every length, and arbitrary characters.
TEST(Base64, CodesAsTheEarlierCodec)
{
    std::vector<std::size_t> lengths = {57 * 100, 48 * 1024 + 1, 100000};
    for (std::size_t length = 0; length <= 300; ++length) {
        lengths.push_back(length);
    }
    std::mt19937 random(14);
    const std::string long_text = expect_encoded_as_before(random_text(random, 300));
    for (const std::size_t length : lengths) {
        std::string text = expect_encoded_as_before(random_text(random, length));
        expect_decoded_as_before(text);
        expect_decoded_as_before(text + "\r\n\r\n\r\n");
        for (int k = 0; k < 3 && !text.empty(); ++k) {
            text.insert(random() % text.size(), random() % 2 == 0 ? "\r\n" : "\n");
        }
        expect_decoded_as_before(text);
        expect_decoded_as_before(long_text.substr(0, length));
        expect_decoded_as_before(random_text(random, length));
    }
}

}  // namespace
}  // namespace ozu::test
