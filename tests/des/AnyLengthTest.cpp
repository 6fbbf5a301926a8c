#include "AnyLengthVectors.h"
#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using des_test::kBadCiphertextText;

constexpr int kPlaintextBufferSize = 4096;

std::unique_ptr<DES> desWithKey(const std::string& key) { return des_test::desWithKeys(key, key); }

std::string encryptBlockHex(DES& des, const std::string& block)
{
    des.EncryptData(block, false, true);
    return des_test::cipherHex(des);
}

std::string encryptAnyLength(DES& des, const std::string& message)
{
    des.EncryptAnyLength(message, false);
    return des.GetCiphertextAnyLength();
}

std::string decryptAnyLength(DES& des, const std::string& ciphertext)
{
    des.DecryptAnyLength(ciphertext, false);
    return des.GetPlaintextAnyLength();
}

std::string plaintextBufferPrefix(DES& des, std::size_t count)
{
    return std::string(des.GetPlaintextAnyLength(), count);
}

TEST(FillToEightBits, MarksDependOnTheLengthOnly)
{
    const struct {
        std::string text;
        std::string padded;
    } cases[] = {
        {"", ""},
        {"a", "a$$$$$$$"},
        {"abcdefg", "abcdefg$"},
        {"abcdefgh", "abcdefgh"},
        {"abcdefghi", "abcdefghi"},
        {std::string("a\0b", 3), std::string("a\0b$$$$$", 8)},
    };
    DES des;
    for (const auto& c : cases)
        EXPECT_EQ(des.FillToEightBits(c.text), c.padded) << c.text;
}

// Each block in turn, the last one padded with marks; NUL characters inside the message are enciphered.
TEST(EncryptAnyLength, CiphertextIsEachPaddedBlockInTurn)
{
    auto des = desWithKey("12345678");
    const struct {
        std::string message;
        std::vector<std::string> blocks;
    } cases[] = {
        {"a", {"a$$$$$$$"}},
        {"abcdefg", {"abcdefg$"}},
        {"abcdefgh", {"abcdefgh"}},
        {"abcdefghi", {"abcdefgh", "i$$$$$$$"}},
        {"sameblk!sameblk!", {"sameblk!", "sameblk!"}},
        {"abcdefghijklmnopqrs", {"abcdefgh", "ijklmnop", "qrs$$$$$"}},
        {std::string("ab\0cd", 5), {std::string("ab\0cd$$$", 8)}},
    };
    for (const auto& c : cases) {
        std::string expected;
        for (const std::string& block : c.blocks)
            expected += encryptBlockHex(*des, block);
        EXPECT_EQ(encryptAnyLength(*des, c.message), expected) << c.message;
    }
}

// Upper-case digits decipher alike.
TEST(EncryptAnyLength, KnownCiphertexts)
{
    for (const auto& vector : des_test::kAnyLengthVectors) {
        auto des = desWithKey(vector.key);
        EXPECT_EQ(encryptAnyLength(*des, vector.message), vector.ciphertext) << vector.message;
        std::string upper = vector.ciphertext;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string& ciphertext : {std::string(vector.ciphertext), upper})
            EXPECT_EQ(decryptAnyLength(*des, ciphertext), vector.message) << ciphertext;
    }
}

// The empty message is enciphered as one block of NUL bytes, which deciphers back to the empty text.
TEST(EncryptAnyLength, EmptyMessageIsOneBlockOfNulBytes)
{
    auto des = desWithKey("12345678");
    const std::string ciphertext = encryptAnyLength(*des, "");
    EXPECT_EQ(ciphertext, encryptBlockHex(*des, std::string(8, '\0')));
    EXPECT_EQ(decryptAnyLength(*des, ciphertext), "");
}

// More than 4088 characters do not fit the ciphertext buffer: refused with an empty result.
TEST(EncryptAnyLength, OverlongMessageIsRefusedWithAnEmptyResult)
{
    auto des = desWithKey("12345678");
    encryptAnyLength(*des, "earlier result");
    EXPECT_EQ(encryptAnyLength(*des, std::string(4089, 'x')), "");
    EXPECT_EQ(encryptAnyLength(*des, std::string(10000, 'x')), "");
    EXPECT_EQ(encryptAnyLength(*des, std::string(4088, 'x')).size(), 8176U);
}

// The marks are cut by writing NULs in their place, which shows in the buffer beyond the text.
TEST(DecryptAnyLength, MarksAreReplacedByNulUnlessANulPrecedesThem)
{
    const struct {
        std::string message;
        std::string buffer;
    } cases[] = {
        {"abcdefghi", std::string("abcdefghi\0\0\0\0\0\0\0\0", 17)},
        {std::string("a\0b$$$$$", 8), std::string("a\0b$$$$$\0", 9)},
    };
    auto des = desWithKey("12345678");
    for (const auto& c : cases) {
        des->DecryptAnyLength(encryptAnyLength(*des, c.message), false);
        EXPECT_EQ(plaintextBufferPrefix(*des, c.buffer.size()), c.buffer) << c.message;
    }
}

// Malformed lengths, and more than 8176 digits (beyond the plaintext buffer), give exactly the error
// sentence and its NUL.
TEST(DecryptAnyLength, MalformedOrOverlongTextGivesTheErrorSentence)
{
    auto des = desWithKey("12345678");
    const std::string longest = encryptAnyLength(*des, std::string(4088, 'y'));
    EXPECT_EQ(decryptAnyLength(*des, longest), std::string(4088, 'y'));
    std::vector<std::string> texts = {longest + longest.substr(0, 16), std::string(8192, '0')};
    for (const std::size_t length : {0U, 1U, 15U, 17U, 24U, 31U, 33U})
        texts.emplace_back(length, '0');
    for (const std::string& text : texts) {
        std::memset(des->GetPlaintextAnyLength(), 'z', 64);
        des->DecryptAnyLength(text, false);
        EXPECT_EQ(plaintextBufferPrefix(*des, sizeof kBadCiphertextText + 1),
                  std::string(kBadCiphertextText, sizeof kBadCiphertextText) + 'z')
            << text.size();
    }
}

TEST(DecryptAnyLength, TrailingMarksOfTheMessageItselfAreLost)
{
    const struct {
        const char* message;
        const char* returned;
    } cases[] = {
        {"ab$", "ab"}, {"abcdefgh$$$$$$$$", "abcdefgh$"}, {"$", "$"}, {"a$b", "a$b"}, {"abcdefg$", "abcdefg"},
    };
    auto des = desWithKey("12345678");
    for (const auto& c : cases)
        EXPECT_EQ(decryptAnyLength(*des, encryptAnyLength(*des, c.message)), c.returned) << c.message;
}

TEST(DecryptAnyLength, TextMessagesRoundTrip)
{
    std::mt19937_64 random(31);
    auto des = desWithKey("roundtrp");
    std::vector<std::size_t> lengths;
    for (std::size_t length = 1; length <= 64; ++length)
        lengths.push_back(length);
    for (std::size_t length = 4080; length <= 4088; ++length)
        lengths.push_back(length);
    for (int i = 0; i < 40; ++i)
        lengths.push_back(1 + random() % 4088);
    for (const std::size_t length : lengths) {
        std::string message = des_test::randomText(random, length);
        if (message.back() == '$')
            message.back() = '#';
        ASSERT_EQ(decryptAnyLength(*des, encryptAnyLength(*des, message)), message) << length;
    }
}

// Counts of 1 to 6, which deciphering never passes, look for marks from the start of the buffer.
TEST(CleanPlaintextMark, CutsTheTrailingMarksOfTheWindow)
{
    const struct {
        const char* text;
        int count;
        const char* kept;
    } cases[] = {
        {"abcdefgh$$$$$$$$", 16, "abcdefgh$"}, {"abcdefghij$$$$$$", 16, "abcdefghij"},
        {"abcdefghijklmn$p", 16, "abcdefghijklmn$p"}, {"abcdefghijklmnop", 8, "abcdefgh"},
        {"$$$$$$$$$", 1, ""}, {"a$$$xyz", 4, "a"}, {"$$$$$$xy", 6, ""},
        {"ab$cdefg", 3, "ab"}, {"ab$cdefg", 2, "ab"},
    };
    for (const auto& c : cases) {
        DES des;
        std::strcpy(des.GetPlaintextAnyLength(), c.text);
        des.CleanPlaintextMark(c.count);
        EXPECT_STREQ(des.GetPlaintextAnyLength(), c.kept) << c.text << " " << c.count;
    }
}

// Counts outside the buffer change nothing; the largest count terminates inside it.
TEST(CleanPlaintextMark, StaysInsideTheBuffer)
{
    const std::string allMarks(kPlaintextBufferSize, '$');
    for (const int count : {0, -1, -100, 4089, 4095, 4096, 100000}) {
        DES des;
        std::memset(des.GetPlaintextAnyLength(), '$', kPlaintextBufferSize);
        des.CleanPlaintextMark(count);
        EXPECT_EQ(plaintextBufferPrefix(des, kPlaintextBufferSize), allMarks) << count;
    }
    DES des;
    std::memset(des.GetPlaintextAnyLength(), '$', kPlaintextBufferSize);
    des.CleanPlaintextMark(4088);
    EXPECT_EQ(plaintextBufferPrefix(des, kPlaintextBufferSize),
              std::string(4081, '$') + std::string(8, '\0') + std::string(7, '$'));
}

// The constructor clears the result buffers; the setters copy exactly one block.
TEST(ResultBuffers, NewObjectIsEmptyAndSettersCopyOneBlock)
{
    DES des;
    EXPECT_STREQ(des.GetCiphertextAnyLength(), "");
    EXPECT_STREQ(des.GetPlaintextAnyLength(), "");
    EXPECT_EQ(std::string(des.GetCiphertext(), 16), std::string(16, '\0'));
    EXPECT_EQ(std::string(des.GetPlaintext(), 8), std::string(8, '\0'));

    char hex[] = "0123456789abcdefTAIL";
    des.SetCiphertext(hex);
    EXPECT_EQ(std::string(des.GetCiphertext(), 16), "0123456789abcdef");
    char raw[] = "\x01\0\x02\0\x03\0\x04\0TAIL";
    des.SetPlaintext(raw);
    EXPECT_EQ(std::string(des.GetPlaintext(), 8), std::string(raw, 8));
}

}  // namespace
