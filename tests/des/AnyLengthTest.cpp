#include "AnyLengthVectors.h"
#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

using des_test::cipherHex;
using des_test::kBadCiphertextText;
using des_test::randomText;

constexpr int kPlaintextBufferSize = 4096;

std::unique_ptr<DES> desWithKey(const std::string& key)
{
    auto des = std::make_unique<DES>();
    des->InitializeKey(key, false);
    return des;
}

std::string encryptBlockHex(DES& des, const std::string& block)
{
    des.EncryptData(block, false, true);
    return cipherHex(des);
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
        const char* text;
        const char* padded;
    } cases[] = {
        {"", ""},
        {"a", "a$$$$$$$"},
        {"ab", "ab$$$$$$"},
        {"abc", "abc$$$$$"},
        {"abcd", "abcd$$$$"},
        {"abcde", "abcde$$$"},
        {"abcdef", "abcdef$$"},
        {"abcdefg", "abcdefg$"},
        {"abcdefgh", "abcdefgh"},
        {"abcdefghi", "abcdefghi"},
        {"abcdefghijklmnop", "abcdefghijklmnop"},
    };
    DES des;
    for (const auto& c : cases)
        EXPECT_EQ(des.FillToEightBits(c.text), c.padded) << c.text;
    EXPECT_EQ(des.FillToEightBits(std::string("a\0b", 3)), std::string("a\0b$$$$$", 8));
}

TEST(EncryptAnyLength, SixteenDigitsPerStartedBlock)
{
    auto des = desWithKey("12345678");
    for (const std::size_t length : {1U, 7U, 8U, 9U, 15U, 16U, 17U, 100U, 4087U, 4088U}) {
        const std::string ciphertext = encryptAnyLength(*des, std::string(length, 'm'));
        EXPECT_EQ(ciphertext.size(), 16 * ((length + 7) / 8)) << length;
        EXPECT_EQ(ciphertext.find_first_not_of("0123456789abcdef"), std::string::npos) << length;
    }
}

TEST(EncryptAnyLength, LastBlockIsPaddedWithMarks)
{
    auto des = desWithKey("12345678");
    const struct {
        const char* message;
        const char* blocks[3];
    } cases[] = {
        {"a", {"a$$$$$$$"}},
        {"abcdefg", {"abcdefg$"}},
        {"abcdefgh", {"abcdefgh"}},
        {"abcdefghi", {"abcdefgh", "i$$$$$$$"}},
        {"abcdefghijklmnop", {"abcdefgh", "ijklmnop"}},
        {"abcdefghijklmnopqrs", {"abcdefgh", "ijklmnop", "qrs$$$$$"}},
    };
    for (const auto& c : cases) {
        std::string expected;
        for (const char* block : c.blocks)
            if (block != nullptr)
                expected += encryptBlockHex(*des, block);
        EXPECT_EQ(encryptAnyLength(*des, c.message), expected) << c.message;
    }
}

TEST(EncryptAnyLength, NulCharactersInsideTheMessageAreEnciphered)
{
    auto des = desWithKey("12345678");
    const std::string message("ab\0cd", 5);
    EXPECT_EQ(encryptAnyLength(*des, message), encryptBlockHex(*des, std::string("ab\0cd$$$", 8)));
}

TEST(EncryptAnyLength, EqualBlocksGiveEqualDigitGroups)
{
    auto des = desWithKey("12345678");
    const std::string ciphertext = encryptAnyLength(*des, "sameblk!sameblk!");
    ASSERT_EQ(ciphertext.size(), 32U);
    EXPECT_EQ(ciphertext.substr(0, 16), ciphertext.substr(16));
}

TEST(EncryptAnyLength, KnownCiphertexts)
{
    for (const auto& vector : des_test::kAnyLengthVectors) {
        auto des = desWithKey(vector.key);
        EXPECT_EQ(encryptAnyLength(*des, vector.message), vector.ciphertext) << vector.message;
        EXPECT_EQ(decryptAnyLength(*des, vector.ciphertext), vector.message);
    }
}

TEST(EncryptAnyLength, EmptyMessageIsOneBlockOfNulBytes)
{
    auto des = desWithKey("12345678");
    const std::string ciphertext = encryptAnyLength(*des, "");
    EXPECT_EQ(ciphertext, encryptBlockHex(*des, std::string(8, '\0')));
    EXPECT_EQ(decryptAnyLength(*des, ciphertext), "");
}

TEST(EncryptAnyLength, OverlongMessageIsRefusedWithAnEmptyResult)
{
    auto des = desWithKey("12345678");
    encryptAnyLength(*des, "earlier result");
    EXPECT_EQ(encryptAnyLength(*des, std::string(4089, 'x')), "");
    EXPECT_EQ(encryptAnyLength(*des, std::string(10000, 'x')), "");
    EXPECT_EQ(encryptAnyLength(*des, std::string(4088, 'x')).size(), 8176U);
}

TEST(DecryptAnyLength, NineCharactersComeBackWithNulWhereTheMarksStood)
{
    auto des = desWithKey("12345678");
    des->DecryptAnyLength(encryptAnyLength(*des, "abcdefghi"), false);
    EXPECT_EQ(plaintextBufferPrefix(*des, 17), std::string("abcdefghi\0\0\0\0\0\0\0\0", 17));
}

TEST(DecryptAnyLength, MalformedLengthsGiveTheErrorSentence)
{
    auto des = desWithKey("12345678");
    for (const std::size_t length : {0U, 1U, 15U, 17U, 24U, 31U, 33U}) {
        std::memset(des->GetPlaintextAnyLength(), 'z', 64);
        des->DecryptAnyLength(std::string(length, '0'), false);
        EXPECT_EQ(plaintextBufferPrefix(*des, sizeof kBadCiphertextText),
                  std::string(kBadCiphertextText, sizeof kBadCiphertextText))
            << length;
        EXPECT_EQ(des->GetPlaintextAnyLength()[sizeof kBadCiphertextText], 'z') << length;
    }
}

TEST(DecryptAnyLength, TextBeyondThePlaintextBufferGivesTheErrorSentence)
{
    auto des = desWithKey("12345678");
    const std::string longest = encryptAnyLength(*des, std::string(4088, 'y'));
    EXPECT_EQ(decryptAnyLength(*des, longest), std::string(4088, 'y'));
    EXPECT_EQ(decryptAnyLength(*des, longest + longest.substr(0, 16)), kBadCiphertextText);
    EXPECT_EQ(decryptAnyLength(*des, std::string(8192, '0')), kBadCiphertextText);
}

TEST(DecryptAnyLength, UpperCaseDigitsDecipherAlike)
{
    auto des = desWithKey("12345678");
    std::string ciphertext = encryptAnyLength(*des, "Mixed case digits");
    for (char& c : ciphertext)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    EXPECT_EQ(decryptAnyLength(*des, ciphertext), "Mixed case digits");
}

TEST(DecryptAnyLength, TrailingMarksOfTheMessageItselfAreLost)
{
    const struct {
        const char* message;
        const char* returned;
    } cases[] = {
        {"ab$", "ab"},
        {"abcdefgh$$$$$$$$", "abcdefgh$"},
        {"$", "$"},
        {"a$b", "a$b"},
        {"abcdefg$", "abcdefg"},
    };
    auto des = desWithKey("12345678");
    for (const auto& c : cases)
        EXPECT_EQ(decryptAnyLength(*des, encryptAnyLength(*des, c.message)), c.returned) << c.message;
}

TEST(DecryptAnyLength, NulInTheLastSevenCharactersKeepsTheMarks)
{
    auto des = desWithKey("12345678");
    const std::string message("a\0b$$$$$", 8);
    des->DecryptAnyLength(encryptAnyLength(*des, message), false);
    EXPECT_EQ(plaintextBufferPrefix(*des, 9), message + '\0');
}

TEST(DecryptAnyLength, TextMessagesRoundTrip)
{
    std::mt19937_64 random(31);
    auto des = desWithKey("roundtrp");
    auto check = [&](std::size_t length) {
        std::string message = randomText(random, length);
        if (message.back() == '$')
            message.back() = '#';
        ASSERT_EQ(decryptAnyLength(*des, encryptAnyLength(*des, message)), message) << length;
    };
    for (std::size_t length = 1; length <= 64; ++length)
        check(length);
    for (std::size_t length = 4080; length <= 4088; ++length)
        check(length);
    for (int i = 0; i < 40; ++i)
        check(1 + random() % 4088);
}

TEST(CleanPlaintextMark, CutsTheTrailingMarksOfTheWindow)
{
    const struct {
        const char* text;
        int count;
        const char* kept;
    } cases[] = {
        {"abcdefgh$$$$$$$$", 16, "abcdefgh$"},
        {"abcdefghij$$$$$$", 16, "abcdefghij"},
        {"abcdefghijklmn$p", 16, "abcdefghijklmn$p"},
        {"abcdefghijklmnop", 8, "abcdefgh"},
    };
    for (const auto& c : cases) {
        DES des;
        std::strcpy(des.GetPlaintextAnyLength(), c.text);
        des.CleanPlaintextMark(c.count);
        EXPECT_STREQ(des.GetPlaintextAnyLength(), c.kept) << c.text;
    }
}

TEST(CleanPlaintextMark, SmallCountsUseAWindowFromTheStart)
{
    const struct {
        const char* text;
        int count;
        const char* kept;
    } cases[] = {
        {"$$$$$$$$$", 1, ""},
        {"a$$$xyz", 4, "a"},
        {"$$$$$$xy", 6, ""},
        {"ab$cdefg", 3, "ab"},
        {"ab$cdefg", 2, "ab"},
    };
    for (const auto& c : cases) {
        DES des;
        std::strcpy(des.GetPlaintextAnyLength(), c.text);
        des.CleanPlaintextMark(c.count);
        EXPECT_STREQ(des.GetPlaintextAnyLength(), c.kept) << c.text << " " << c.count;
    }
}

TEST(CleanPlaintextMark, CountsOutsideTheBufferChangeNothing)
{
    for (const int count : {0, -1, -100, 4089, 4095, 4096, 100000}) {
        DES des;
        std::memset(des.GetPlaintextAnyLength(), '$', kPlaintextBufferSize);
        des.CleanPlaintextMark(count);
        EXPECT_EQ(plaintextBufferPrefix(des, kPlaintextBufferSize), std::string(kPlaintextBufferSize, '$')) << count;
    }
}

TEST(CleanPlaintextMark, LargestCountTerminatesInsideTheBuffer)
{
    DES des;
    std::memset(des.GetPlaintextAnyLength(), '$', kPlaintextBufferSize);
    des.CleanPlaintextMark(4088);
    const std::string buffer = plaintextBufferPrefix(des, kPlaintextBufferSize);
    EXPECT_EQ(buffer.substr(0, 4081), std::string(4081, '$'));
    EXPECT_EQ(buffer.substr(4081, 8), std::string(8, '\0'));
    EXPECT_EQ(buffer.substr(4089), std::string(7, '$'));
}

TEST(ResultBuffers, NewObjectHoldsEmptyResults)
{
    DES des;
    EXPECT_STREQ(des.GetCiphertextAnyLength(), "");
    EXPECT_STREQ(des.GetPlaintextAnyLength(), "");
    EXPECT_EQ(std::string(des.GetCiphertext(), 16), std::string(16, '\0'));
    EXPECT_EQ(std::string(des.GetPlaintext(), 8), std::string(8, '\0'));
}

TEST(ResultBuffers, SettersCopyExactlyOneBlock)
{
    DES des;
    char hex[] = "0123456789abcdefTAIL";
    des.SetCiphertext(hex);
    EXPECT_EQ(std::string(des.GetCiphertext(), 16), "0123456789abcdef");

    char raw[] = "\x01\0\x02\0\x03\0\x04\0TAIL";
    des.SetPlaintext(raw);
    EXPECT_EQ(std::string(des.GetPlaintext(), 8), std::string(raw, 8));
}

}  // namespace
