// EncryptString against an independent DES (OpenSSL) under the built-in key.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "ddns/request_encryption.h"
#include "support/openssl_oracle.h"

namespace {

const std::string kKey = OZU_TEST_DDNS_KEY;

std::string encrypted(const std::string& plain)
{
    std::array<char, 1024> out{};
    EXPECT_EQ(EncryptString(plain.c_str(), out.data()), 0);
    return out.data();
}

struct PlainCase {
    const char* name;
    std::string plain;
};

class EncryptedText : public testing::TestWithParam<PlainCase> {};

TEST_P(EncryptedText, MatchesTheReferenceCipher)
{
    const std::string& plain = GetParam().plain;
    const std::string ciphertext = encrypted(plain);
    EXPECT_EQ(ciphertext.size(), 16 * ((plain.size() + 7) / 8));
    EXPECT_EQ(ciphertext.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(ciphertext, ozu_test::oracle_ciphertext(kKey, plain));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EncryptedText,
    testing::Values(PlainCase{"OneCharacter", "a"}, PlainCase{"SevenCharacters", "abcdefg"},
                    PlainCase{"OneBlock", "abcdefgh"}, PlainCase{"NineCharacters", "abcdefghi"},
                    PlainCase{"TwoEqualBlocks", "12345678123456781"}, PlainCase{"EndsInPaddingMark", "ab$"},
                    PlainCase{"LookupQuery", "mymac=00:11:22:33:44:55&"},
                    PlainCase{"RegistrationQuery", "id=SN1&mac=M&port=80&type=0x1a2b&status=online"},
                    PlainCase{"LongestQuery", std::string(120, 'q')}),
    [](const testing::TestParamInfo<PlainCase>& info) { return std::string(info.param.name); });

TEST(EncryptString, InPlaceGivesTheSameTextAsACopy)
{
    const std::string plain = "mymac=A&myip=B&myhttp=80&mytype=7";
    std::array<char, 256> buffer{};
    plain.copy(buffer.data(), plain.size());
    ASSERT_EQ(EncryptString(buffer.data(), buffer.data()), 0);
    EXPECT_EQ(std::string(buffer.data()), encrypted(plain));
}

TEST(EncryptString, NullOrTextBeyondTheCipherBuffersIsRefusedAndOutputUntouched)
{
    const std::string plain(4089, 'x');
    std::array<char, 16> out{};
    out.fill('#');
    EXPECT_EQ(EncryptString(plain.c_str(), out.data()), 1);
    EXPECT_EQ(EncryptString(nullptr, out.data()), 1);
    EXPECT_EQ(std::string(out.data(), out.size()), std::string(16, '#'));
}

}  // namespace
