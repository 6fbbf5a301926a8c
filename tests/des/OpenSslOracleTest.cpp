// OpenSSL serves as the reference implementation of standard DES; its DES interface is deprecated.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "AnyLengthVectors.h"
#include "DesTestSupport.h"
#include "KnownAnswerVectors.h"

#include <gtest/gtest.h>
#include <openssl/des.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>

namespace {

using des_test::blockOf;
using des_test::bytesOf;
using des_test::cipherHex;
using des_test::cipherRaw;
using des_test::exchangeHalvesUnderIp;
using des_test::hexOfBlock;
using des_test::plainRaw;
using des_test::randomText;

constexpr int kRandomRounds = 2000;

DES_key_schedule scheduleOf(std::uint64_t key)
{
    DES_cblock keyBytes;
    for (int i = 0; i < 8; ++i)
        keyBytes[i] = static_cast<unsigned char>(key >> (56 - 8 * i));
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBytes, &schedule);
    return schedule;
}

std::uint64_t standardDes(std::uint64_t key, std::uint64_t block, int direction)
{
    DES_key_schedule schedule = scheduleOf(key);
    DES_cblock in;
    DES_cblock out;
    for (int i = 0; i < 8; ++i)
        in[i] = static_cast<unsigned char>(block >> (56 - 8 * i));
    DES_ecb_encrypt(&in, &out, &schedule, direction);
    std::uint64_t result = 0;
    for (int i = 0; i < 8; ++i)
        result = (result << 8) | out[i];
    return result;
}

std::uint64_t standardTripleDes(std::uint64_t first, std::uint64_t second, std::uint64_t block, int direction)
{
    DES_key_schedule firstSchedule = scheduleOf(first);
    DES_key_schedule secondSchedule = scheduleOf(second);
    DES_cblock in;
    DES_cblock out;
    for (int i = 0; i < 8; ++i)
        in[i] = static_cast<unsigned char>(block >> (56 - 8 * i));
    DES_ecb3_encrypt(&in, &out, &firstSchedule, &secondSchedule, &firstSchedule, direction);
    std::uint64_t result = 0;
    for (int i = 0; i < 8; ++i)
        result = (result << 8) | out[i];
    return result;
}

/* Expected hex text of a whole message under one key, block by block from OpenSSL. */
std::string expectedAnyLengthHex(std::uint64_t key, const std::string& message)
{
    std::string text = message.empty() ? std::string(8, '\0') : message;
    while (text.size() % 8 != 0)
        text += '$';
    std::string hex;
    for (std::size_t i = 0; i < text.size(); i += 8)
        hex += hexOfBlock(exchangeHalvesUnderIp(standardDes(key, blockOf(text.substr(i, 8)), DES_ENCRYPT)));
    return hex;
}

TEST(OpenSslOracle, KnownAnswerTablesAreStandardDes)
{
    for (const auto& table : des_test::kKnownAnswerTables) {
        for (int i = 0; i < table.count; ++i) {
            const auto& row = table.rows[i];
            EXPECT_EQ(hexOfBlock(standardDes(row.key, row.plaintext, DES_ENCRYPT)), hexOfBlock(row.ciphertext))
                << table.name << " row " << i;
        }
    }
}

TEST(OpenSslOracle, RandomBlocksEncrypt)
{
    std::mt19937_64 random(61);
    auto des = std::make_unique<DES>();
    for (int i = 0; i < kRandomRounds; ++i) {
        const bool slot = i % 2 == 1;
        const std::uint64_t key = random();
        const std::uint64_t block = random();
        const std::uint64_t expected = exchangeHalvesUnderIp(standardDes(key, block, DES_ENCRYPT));
        des->InitializeKey(bytesOf(key), slot);
        des->EncryptData(bytesOf(block), slot, true);
        ASSERT_EQ(cipherHex(*des), hexOfBlock(expected)) << hexOfBlock(key) << " " << hexOfBlock(block);
        des->EncryptData(bytesOf(block), slot, false);
        ASSERT_EQ(cipherRaw(*des), bytesOf(expected)) << hexOfBlock(key) << " " << hexOfBlock(block);
    }
}

TEST(OpenSslOracle, RandomBlocksDecrypt)
{
    std::mt19937_64 random(62);
    auto des = std::make_unique<DES>();
    for (int i = 0; i < kRandomRounds; ++i) {
        const bool slot = i % 2 == 0;
        const std::uint64_t key = random();
        const std::uint64_t standardCiphertext = random();
        const std::string expected = bytesOf(standardDes(key, standardCiphertext, DES_DECRYPT));
        const std::uint64_t ciphertext = exchangeHalvesUnderIp(standardCiphertext);
        des->InitializeKey(bytesOf(key), slot);
        des->DecryptData(hexOfBlock(ciphertext), slot, true);
        ASSERT_EQ(plainRaw(*des), expected) << hexOfBlock(key) << " " << hexOfBlock(ciphertext);
        des->DecryptData(bytesOf(ciphertext), slot, false);
        ASSERT_EQ(plainRaw(*des), expected) << hexOfBlock(key) << " " << hexOfBlock(ciphertext);
    }
}

TEST(OpenSslOracle, AnyLengthVectors)
{
    for (const auto& vector : des_test::kAnyLengthVectors)
        EXPECT_EQ(expectedAnyLengthHex(blockOf(std::string(vector.key) + std::string(8, '\0')), vector.message),
                  vector.ciphertext)
            << vector.message;
}

TEST(OpenSslOracle, RandomMessages)
{
    std::mt19937_64 random(63);
    auto des = std::make_unique<DES>();
    for (int i = 0; i < 200; ++i) {
        const std::uint64_t key = random();
        const std::string message = randomText(random, random() % 100);
        des->InitializeKey(bytesOf(key), false);
        des->EncryptAnyLength(message, false);
        ASSERT_EQ(std::string(des->GetCiphertextAnyLength()), expectedAnyLengthHex(key, message)) << message;
    }
}

TEST(OpenSslOracle, RandomTripleBlocks)
{
    std::mt19937_64 random(64);
    auto des = std::make_unique<DES>();
    for (int i = 0; i < kRandomRounds / 4; ++i) {
        const std::uint64_t first = random();
        const std::uint64_t second = random();
        const std::uint64_t block = random();
        const std::uint64_t expected = exchangeHalvesUnderIp(standardTripleDes(first, second, block, DES_ENCRYPT));
        des->InitializeKey(bytesOf(first), false);
        des->InitializeKey(bytesOf(second), true);
        des->TripleEncrypt(bytesOf(block), true);
        ASSERT_EQ(cipherHex(*des), hexOfBlock(expected));
        des->TripleEncrypt(bytesOf(block), false);
        ASSERT_EQ(cipherRaw(*des), bytesOf(expected));
        des->TripleDecrypt(hexOfBlock(expected), true);
        ASSERT_EQ(plainRaw(*des), bytesOf(block));
        des->TripleDecrypt(bytesOf(expected), false);
        ASSERT_EQ(plainRaw(*des), bytesOf(block));
    }
}

TEST(OpenSslOracle, RandomTripleMessages)
{
    std::mt19937_64 random(65);
    auto des = std::make_unique<DES>();
    for (int i = 0; i < 200; ++i) {
        const std::uint64_t first = random();
        const std::uint64_t second = random();
        const std::string message = randomText(random, 1 + random() % 60);
        std::string text = message;
        while (text.size() % 8 != 0)
            text += '$';
        std::string expected;
        for (std::size_t b = 0; b < text.size(); b += 8)
            expected += hexOfBlock(exchangeHalvesUnderIp(
                standardTripleDes(first, second, blockOf(text.substr(b, 8)), DES_ENCRYPT)));
        des->InitializeKey(bytesOf(first), false);
        des->InitializeKey(bytesOf(second), true);
        des->TripleEncryptAnyLength(message);
        ASSERT_EQ(std::string(des->GetCiphertextAnyLength()), expected) << message;
    }
}

}  // namespace
