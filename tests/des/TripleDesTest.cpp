#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using des_test::cipherHex;
using des_test::cipherRaw;
using des_test::desWithKeys;
using des_test::kBadCiphertextText;
using des_test::plainRaw;
using des_test::randomBytes;
using des_test::randomText;

const std::string kFirstKey = "firstkey";
const std::string kSecondKey = "otherkey";

/* The middle value of encipher-decipher-encipher for one raw block. */
std::string middleBlock(DES& des, const std::string& block)
{
    des.EncryptData(block, false, false);
    des.DecryptData(cipherRaw(des), true, false);
    return plainRaw(des);
}

std::string tripleBlockwiseHex(DES& des, const std::string& message)
{
    const std::string text = des_test::paddedWithMarks(message);
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

void expectBlockwiseRoundTrip(DES& des, const std::string& message)
{
    const std::string ciphertext = tripleEncryptAnyLength(des, message);
    EXPECT_EQ(ciphertext, tripleBlockwiseHex(des, message)) << message;
    EXPECT_EQ(tripleDecryptAnyLength(des, ciphertext), message) << message;
}

// Checked in both forms against the object's own single steps; with the same key twice the middle
// block is the input, so the result is single encryption. Zero bytes in the middle block must not
// cut it short.
TEST(TripleBlock, IsEncipherDecipherEncipherAndRoundTrips)
{
    std::mt19937_64 random(42);
    for (const std::string& second : {kFirstKey, kSecondKey}) {
        auto des = desWithKeys(kFirstKey, second);
        int zeroMiddles = 0;
        for (int i = 0; i < 100 || (i < 5000 && second != kFirstKey && zeroMiddles < 5); ++i) {
            const std::string block = randomBytes(random, 8);
            const std::string middle = middleBlock(*des, block);
            zeroMiddles += middle.find('\0') != std::string::npos;
            if (second == kFirstKey) {
                ASSERT_EQ(middle, block);
            }
            for (const bool hexForm : {true, false}) {
                des->EncryptData(middle, false, hexForm);
                const std::string expected = hexForm ? cipherHex(*des) : cipherRaw(*des);
                des->TripleEncrypt(block, hexForm);
                ASSERT_EQ(hexForm ? cipherHex(*des) : cipherRaw(*des), expected) << hexForm;
                des->TripleDecrypt(expected, hexForm);
                ASSERT_EQ(plainRaw(*des), block) << hexForm;
            }
        }
        if (second != kFirstKey) {
            EXPECT_GE(zeroMiddles, 5);
        }
    }
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
        expectBlockwiseRoundTrip(*des, message);
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
        const std::string text = des_test::paddedWithMarks(message);
        if (middleBlock(*des, text.substr(0, 8)).find('\0') == std::string::npos &&
            middleBlock(*des, text.substr(8)).find('\0') == std::string::npos)
            continue;
        ++found;
        expectBlockwiseRoundTrip(*des, message);
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
        expectBlockwiseRoundTrip(*des, message);
    }
    EXPECT_EQ(found, 2);
}

// With the same key in both slots a malformed length gives the error sentence, as single decryption does.
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
