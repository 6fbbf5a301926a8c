#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace {

using des_test::cipherHex;
using des_test::cipherRaw;
using des_test::kBadCiphertextText;
using des_test::plainRaw;
using des_test::randomBytes;
using des_test::randomText;

const std::string kFirstKey = "firstkey";
const std::string kSecondKey = "otherkey";

std::unique_ptr<DES> desWithKeys(const std::string& first, const std::string& second)
{
    auto des = std::make_unique<DES>();
    des->InitializeKey(first, false);
    des->InitializeKey(second, true);
    return des;
}

/* The middle value of encipher-decipher-encipher for one raw block. */
std::string middleBlock(DES& des, const std::string& block)
{
    des.EncryptData(block, false, false);
    des.DecryptData(cipherRaw(des), true, false);
    return plainRaw(des);
}

std::string padded(const std::string& message)
{
    std::string text = message;
    while (text.size() % 8 != 0)
        text += '$';
    return text;
}

std::string tripleBlockwiseHex(DES& des, const std::string& message)
{
    const std::string text = padded(message);
    std::string hex;
    for (std::size_t i = 0; i < text.size(); i += 8) {
        des.TripleEncrypt(text.substr(i, 8), true);
        hex += cipherHex(des);
    }
    return hex;
}

std::string tripleEncryptAnyLength(DES& des, const std::string& message)
{
    des.TripleEncryptAnyLength(message);
    return des.GetCiphertextAnyLength();
}

std::string tripleDecryptAnyLength(DES& des, const std::string& ciphertext)
{
    des.TripleDecryptAnyLength(ciphertext);
    return des.GetPlaintextAnyLength();
}

TEST(TripleBlock, SameKeyInBothSlotsIsSingleEncryption)
{
    std::mt19937_64 random(41);
    auto des = desWithKeys(kFirstKey, kFirstKey);
    for (int i = 0; i < 100; ++i) {
        const std::string block = randomBytes(random, 8);
        des->EncryptData(block, false, true);
        const std::string singleHex = cipherHex(*des);
        des->EncryptData(block, false, false);
        const std::string singleRaw = cipherRaw(*des);

        des->TripleEncrypt(block, true);
        EXPECT_EQ(cipherHex(*des), singleHex);
        des->TripleDecrypt(singleHex, true);
        EXPECT_EQ(plainRaw(*des), block);

        des->TripleEncrypt(block, false);
        EXPECT_EQ(cipherRaw(*des), singleRaw);
        des->TripleDecrypt(singleRaw, false);
        EXPECT_EQ(plainRaw(*des), block);
    }
}

TEST(TripleBlock, IsEncipherDecipherEncipher)
{
    std::mt19937_64 random(42);
    auto first = desWithKeys(kFirstKey, kFirstKey);
    auto second = desWithKeys(kSecondKey, kSecondKey);
    auto triple = desWithKeys(kFirstKey, kSecondKey);
    for (int i = 0; i < 100; ++i) {
        const std::string block = randomBytes(random, 8);
        first->EncryptData(block, false, false);
        second->DecryptData(cipherRaw(*first), false, false);
        first->EncryptData(plainRaw(*second), false, true);
        triple->TripleEncrypt(block, true);
        EXPECT_EQ(cipherHex(*triple), cipherHex(*first));
    }
}

TEST(TripleBlock, TwoKeysRoundTripInBothFormsAlsoWithZeroBytesInTheMiddle)
{
    std::mt19937_64 random(43);
    auto des = desWithKeys(kFirstKey, kSecondKey);
    int blocksWithZeroInTheMiddle = 0;
    for (int i = 0; i < 5000 && blocksWithZeroInTheMiddle < 5; ++i) {
        const std::string block = randomBytes(random, 8);
        if (middleBlock(*des, block).find('\0') != std::string::npos)
            ++blocksWithZeroInTheMiddle;
        for (const bool hexForm : {true, false}) {
            des->TripleEncrypt(block, hexForm);
            const std::string ciphertext = hexForm ? cipherHex(*des) : cipherRaw(*des);
            des->TripleDecrypt(ciphertext, hexForm);
            ASSERT_EQ(plainRaw(*des), block) << hexForm;
        }
    }
    EXPECT_EQ(blocksWithZeroInTheMiddle, 5);
}

TEST(TripleAnyLength, SameKeyInBothSlotsIsSingleEncryption)
{
    auto des = desWithKeys(kFirstKey, kFirstKey);
    for (const std::string message : {"twenty characters!!!", "", "a", "abcdefgh", "x$"}) {
        des->EncryptAnyLength(message, false);
        const std::string single = des->GetCiphertextAnyLength();
        EXPECT_EQ(tripleEncryptAnyLength(*des, message), single) << message;
        des->DecryptAnyLength(single, false);
        const std::string singleBack = des->GetPlaintextAnyLength();
        EXPECT_EQ(tripleDecryptAnyLength(*des, single), singleBack) << message;
    }
    EXPECT_EQ(tripleEncryptAnyLength(*des, "twenty characters!!!").size(), 48U);
}

TEST(TripleAnyLength, EachBlockIsTheTripleEncipherment)
{
    std::mt19937_64 random(44);
    auto des = desWithKeys(kFirstKey, kSecondKey);
    for (int i = 0; i < 60; ++i) {
        std::string message = randomText(random, 1 + random() % 40);
        if (message.back() == '$')
            message.back() = '#';
        const std::string ciphertext = tripleEncryptAnyLength(*des, message);
        EXPECT_EQ(ciphertext, tripleBlockwiseHex(*des, message)) << message;
        EXPECT_EQ(tripleDecryptAnyLength(*des, ciphertext), message);
    }
}

// The middle text is carried with its full length, so a zero byte in it does not cut the message.
TEST(TripleAnyLength, MiddleTextWithAZeroByteIsCarriedWhole)
{
    std::mt19937_64 random(45);
    auto des = desWithKeys(kFirstKey, kSecondKey);
    int found = 0;
    for (int i = 0; i < 5000 && found < 3; ++i) {
        const std::string message = randomText(random, 8) + "tail";
        bool zeroInMiddle = false;
        const std::string text = padded(message);
        for (std::size_t b = 0; b < text.size(); b += 8)
            zeroInMiddle |= middleBlock(*des, text.substr(b, 8)).find('\0') != std::string::npos;
        if (!zeroInMiddle)
            continue;
        ++found;
        const std::string ciphertext = tripleEncryptAnyLength(*des, message);
        EXPECT_EQ(ciphertext, tripleBlockwiseHex(*des, message)) << message;
        EXPECT_EQ(tripleDecryptAnyLength(*des, ciphertext), message);
    }
    EXPECT_EQ(found, 3);
}

TEST(TripleAnyLength, MiddleTextEndingInMarksIsPaddedBackExactly)
{
    std::mt19937_64 random(46);
    auto des = desWithKeys(kFirstKey, kSecondKey);
    int found = 0;
    for (int i = 0; i < 20000 && found < 2; ++i) {
        const std::string message = randomText(random, 5) + "abc";
        const std::string middle = middleBlock(*des, message);
        if (middle.back() != '$' || middle.find('\0') != std::string::npos)
            continue;
        ++found;
        const std::string ciphertext = tripleEncryptAnyLength(*des, message);
        EXPECT_EQ(ciphertext, tripleBlockwiseHex(*des, message)) << message;
        EXPECT_EQ(tripleDecryptAnyLength(*des, ciphertext), message);
    }
    EXPECT_EQ(found, 2);
}

TEST(TripleAnyLength, MalformedCiphertext)
{
    auto same = desWithKeys(kFirstKey, kFirstKey);
    EXPECT_EQ(tripleDecryptAnyLength(*same, std::string(15, '0')), kBadCiphertextText);
    EXPECT_EQ(tripleDecryptAnyLength(*same, std::string(8192, '0')), kBadCiphertextText);

    auto different = desWithKeys(kFirstKey, kSecondKey);
    EXPECT_NE(tripleDecryptAnyLength(*different, std::string(15, '0')), kBadCiphertextText);
}

TEST(TripleAnyLength, OverlongMessageIsRefused)
{
    auto des = desWithKeys(kFirstKey, kSecondKey);
    tripleEncryptAnyLength(*des, "earlier result");
    EXPECT_EQ(tripleEncryptAnyLength(*des, std::string(4089, 'x')), "");
    EXPECT_EQ(tripleEncryptAnyLength(*des, std::string(4088, 'x')).size(), 8176U);
}

}  // namespace
