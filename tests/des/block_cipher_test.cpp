// The block cipher over both engines of the class, the word path behind the DES members and the bit-string
// reference path, from one driver: against the NIST known-answer tables and OpenSSL. Then the bit-string members
// whose faults the block results do not show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>

#include "des_reference.h"
#include "support/des_oracle.h"

namespace ozu::test {
namespace {

using BlockOperation = void (*)(DES&, const std::string&, bool, bool);

struct Engine {
    const char* name;
    BlockOperation encrypt;
    BlockOperation decrypt;
};

const Engine kEngines[] = {
    {"Words", [](DES& des, const std::string& data, bool slot, bool hex) { des.EncryptData(data, slot, hex); },
     [](DES& des, const std::string& data, bool slot, bool hex) {
         des.DecryptData(data, slot, hex);
     }},
    {"BitStrings", reference::encrypt_data, reference::decrypt_data},
};

// One engine's results as hex text: the ciphertext of block in the hex and the raw form, then the plaintexts of
// ciphertext deciphered from upper-case hex digits and from raw bytes; "" when they read "c c p p".
class BlockCipher : public ::testing::TestWithParam<Engine> {
protected:
    std::string mismatch(const std::string& key, bool slot, const std::string& block, std::uint64_t plaintext,
                         std::uint64_t ciphertext)
    {
        des_->InitializeKey(key, slot);
        des_->InitializeKey("other key", !slot);
        const Engine& engine = GetParam();
        engine.encrypt(*des_, block, slot, true);
        std::string seen = std::string(des_->GetCiphertext(), 16);
        engine.encrypt(*des_, block, slot, false);
        seen += " " + hex_of(std::string(des_->GetCiphertext(), 8));
        const std::string hex = hex_of(bytes_of(ciphertext));
        std::string upper = hex;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return std::toupper(c); });
        for (const std::string& text : {upper, bytes_of(ciphertext)}) {
            engine.decrypt(*des_, text, slot, text.size() == 16);
            seen += " " + hex_of(std::string(des_->GetPlaintext(), 8));
        }
        const std::string plain = hex_of(bytes_of(plaintext));
        const std::string expected = hex + " " + hex + " " + plain + " " + plain;
        return seen == expected ? "" : seen + " for " + expected + " under key " + hex_of(key);
    }

    std::unique_ptr<DES> des_ = std::make_unique<DES>();
};

// NIST SP 800-20's tables for standard DES: rows of key, plaintext and ciphertext in hexadecimal.
TEST_P(BlockCipher, MatchesTheKnownAnswerTables)
{
    std::ifstream file(OZU_KNOWN_ANSWERS);
    int rows = 0;
    for (std::string line; std::getline(file, line);) {
        std::uint64_t key = 0;
        std::uint64_t plaintext = 0;
        std::uint64_t ciphertext = 0;
        if (std::istringstream(line) >> std::hex >> key >> plaintext >> ciphertext) {
            ++rows;
            for (const bool slot : {false, true}) {
                ASSERT_EQ(
                    mismatch(bytes_of(key), slot, bytes_of(plaintext), plaintext, exchange_halves_under_ip(ciphertext)),
                    "");
            }
        }
    }
    EXPECT_EQ(rows, 171);
}

#ifdef OZU_TEST_OPENSSL
// Keys and blocks as 8 bytes, longer (only 8 count) or 5 (the cipher completes them with zero bytes).
TEST_P(BlockCipher, MatchesOpenSslOnRandomKeysAndBlocks)
{
    std::mt19937_64 random(1);
    const auto text_of = [](std::uint64_t& value, int form) {
        value &= form == 2 ? ~std::uint64_t{0xFFFFFF} : ~std::uint64_t{0};
        return bytes_of(value).substr(0, form == 2 ? 5 : 8) + (form == 1 ? "tail" : "");
    };
    for (int i = 0; i < 900; ++i) {
        std::uint64_t key = random();
        std::uint64_t block = random();
        const std::string key_text = text_of(key, i % 3);
        const std::string block_text = text_of(block, i / 3 % 3);
        ASSERT_EQ(mismatch(key_text, i % 2 == 1, block_text, block, oracle_encrypt(bytes_of(key), block)), "");
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(Engines, BlockCipher, ::testing::ValuesIn(kEngines),
                         [](const ::testing::TestParamInfo<Engine>& info) { return std::string(info.param.name); });

// BinaryToString takes whole bytes only: other counts give the empty text in both forms, and so do 0 and below in
// the hex form. P sends input bit 1 to output bit 9; the bits missing from a short argument read as '0', and
// nothing past it is read (its 20 characters lie on the heap, where AddressSanitizer sees every read).
TEST(BitString, MembersStayInsideTheirArguments)
{
    DES des;
    std::string bits(64, '1');
    for (const auto& [count, hex_form] : {std::pair<int, bool>{60, true}, {60, false}, {12, true}, {-8, true}}) {
        EXPECT_EQ(des.BinaryToString(bits.data(), count, hex_form), "") << count << " " << hex_form;
    }
    char permuted[32];
    des.PermutationP("1" + std::string(19, '0'), permuted);
    EXPECT_EQ(std::string(permuted, 32), std::string(8, '0') + "1" + std::string(23, '0'));
}

}  // namespace
}  // namespace ozu::test
