// OpenSSL serves as the reference implementation of standard DES; its DES interface is deprecated.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "AnyLengthVectors.h"
#include "DesTestSupport.h"
#include "KnownAnswerVectors.h"

#include <gtest/gtest.h>
#include <openssl/des.h>

#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    std::memcpy(keyBytes, bytesOf(key).data(), 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&keyBytes, &schedule);
    return schedule;
}

/* Standard two-key triple DES (EDE with the first key again last); equal keys give single DES. */
std::uint64_t standardDes(std::uint64_t first, std::uint64_t second, std::uint64_t block, int direction)
{
    DES_key_schedule firstSchedule = scheduleOf(first);
    DES_key_schedule secondSchedule = scheduleOf(second);
    DES_cblock in;
    DES_cblock out;
    std::memcpy(in, bytesOf(block).data(), 8);
    DES_ecb3_encrypt(&in, &out, &firstSchedule, &secondSchedule, &firstSchedule, direction);
    return blockOf(std::string(reinterpret_cast<const char*>(out), 8));
}

std::uint64_t standardDes(std::uint64_t key, std::uint64_t block, int direction)
{
    DES_key_schedule schedule = scheduleOf(key);
    DES_cblock in;
    DES_cblock out;
    std::memcpy(in, bytesOf(block).data(), 8);
    DES_ecb_encrypt(&in, &out, &schedule, direction);
    return blockOf(std::string(reinterpret_cast<const char*>(out), 8));
}

/* Expected hex text of a whole message, block by block from OpenSSL. */
std::string expectedAnyLengthHex(std::uint64_t first, std::uint64_t second, const std::string& message)
{
    const std::string text = des_test::paddedWithMarks(message.empty() ? std::string(8, '\0') : message);
    std::string hex;
    for (std::size_t i = 0; i < text.size(); i += 8) {
        const std::uint64_t block = blockOf(text.substr(i, 8));
        hex += hexOfBlock(exchangeHalvesUnderIp(standardDes(first, second, block, DES_ENCRYPT)));
    }
    return hex;
}

TEST(OpenSslOracle, KnownAnswerTablesAreStandardDes)
{
    for (const auto& table : des_test::kKnownAnswerTables) {
        for (int i = 0; i < table.count; ++i) {
            const auto& row = table.rows[i];
            EXPECT_EQ(hexOfBlock(standardDes(row.key, row.plaintext, DES_ENCRYPT)),
                      hexOfBlock(row.ciphertext))
                << table.name << " row " << i;
        }
    }
}

TEST(OpenSslOracle, RandomBlocks)
{
    std::mt19937_64 random(61);
    auto des = std::make_unique<DES>();
    for (int i = 0; i < kRandomRounds; ++i) {
        const bool slot = i % 2 == 1;
        const std::uint64_t key = random();
        const std::uint64_t block = random();
        SCOPED_TRACE(hexOfBlock(key) + " " + hexOfBlock(block));
        des->InitializeKey(bytesOf(key), slot);

        const std::uint64_t encrypted = exchangeHalvesUnderIp(standardDes(key, block, DES_ENCRYPT));
        des->EncryptData(bytesOf(block), slot, true);
        ASSERT_EQ(cipherHex(*des), hexOfBlock(encrypted));
        des->EncryptData(bytesOf(block), slot, false);
        ASSERT_EQ(cipherRaw(*des), bytesOf(encrypted));

        const std::string decrypted = bytesOf(standardDes(key, block, DES_DECRYPT));
        des->DecryptData(hexOfBlock(exchangeHalvesUnderIp(block)), slot, true);
        ASSERT_EQ(plainRaw(*des), decrypted);
        des->DecryptData(bytesOf(exchangeHalvesUnderIp(block)), slot, false);
        ASSERT_EQ(plainRaw(*des), decrypted);
    }
}

TEST(OpenSslOracle, AnyLengthVectors)
{
    for (const auto& vector : des_test::kAnyLengthVectors) {
        const std::uint64_t key = blockOf(std::string(vector.key) + std::string(8, '\0'));
        EXPECT_EQ(expectedAnyLengthHex(key, key, vector.message), vector.ciphertext) << vector.message;
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
        const std::uint64_t expected = exchangeHalvesUnderIp(standardDes(first, second, block, DES_ENCRYPT));
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

// Single messages under one key (the empty one included) and triple messages under two.
TEST(OpenSslOracle, RandomMessages)
{
    std::mt19937_64 random(63);
    auto des = std::make_unique<DES>();
    for (int i = 0; i < 400; ++i) {
        const bool triple = i % 2 == 1;
        const std::uint64_t first = random();
        const std::uint64_t second = triple ? random() : first;
        const std::string message = randomText(random, (triple ? 1 : 0) + random() % 100);
        des->InitializeKey(bytesOf(first), false);
        des->InitializeKey(bytesOf(second), true);
        if (triple)
            des->TripleEncryptAnyLength(message);
        else
            des->EncryptAnyLength(message, false);
        ASSERT_EQ(std::string(des->GetCiphertextAnyLength()), expectedAnyLengthHex(first, second, message))
            << message << " triple " << triple;
    }
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/* Whole files go through the bit-sliced batches (32, 64 or 128 blocks, by the machine) and single
 * blocks for the rest; every block must still be the standard cipher's, halves exchanged. */
TEST(OpenSslOracle, FilesAcrossBatchBoundaries)
{
    char pattern[] = "/tmp/des_oracle_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path directory = pattern;
    const std::string path = (directory / "input").string();
    std::mt19937_64 random(65);
    for (const std::size_t blocks : {1, 31, 32, 33, 63, 64, 65, 127, 128, 129, 200, 257}) {
        for (const bool triple : {false, true}) {
            SCOPED_TRACE(std::to_string(blocks) + (triple ? " blocks, triple" : " blocks, single"));
            const std::uint64_t first = random();
            const std::uint64_t second = triple ? random() : first;
            const std::string input = des_test::randomBytes(random, 8 * blocks + blocks % 8);
            std::ofstream(path, std::ios::binary) << input;
            auto des = des_test::desWithKeys(bytesOf(first), bytesOf(second));
            ASSERT_TRUE(des->FileEncrypt(path, triple));
            const std::string output = readFile(path + ".DES");
            ASSERT_EQ(output.size(), input.size());
            for (std::size_t i = 0; i < blocks; ++i) {
                const std::uint64_t block = blockOf(input.substr(8 * i, 8));
                ASSERT_EQ(output.substr(8 * i, 8),
                          bytesOf(exchangeHalvesUnderIp(standardDes(first, second, block, DES_ENCRYPT))))
                    << "block " << i;
            }
            EXPECT_EQ(output.substr(8 * blocks), input.substr(8 * blocks));
            std::filesystem::remove(path);
            ASSERT_TRUE(des->FileDecrypt(path + ".DES", triple));
            EXPECT_TRUE(readFile(path) == input);
        }
    }
    std::filesystem::remove_all(directory);
}

}  // namespace
