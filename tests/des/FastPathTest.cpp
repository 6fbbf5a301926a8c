// The word-based block path of the class against the bit-string reference path: every result and
// every buffer the operations leave behind must be the same.
#include "DesTestSupport.h"

#include "des/DESReference.h"
#include "des/DESSBoxCircuits.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using des_test::bytesOf;
using des_test::randomBytes;
using des_test::randomText;

/* Truth table of S-box input bit i (b0 most significant) over the 64 input values. */
std::uint64_t inputBits(int i)
{
    std::uint64_t table = 0;
    for (int x = 0; x < 64; ++x)
        if ((x >> (5 - i)) & 1)
            table |= std::uint64_t{1} << x;
    return table;
}

/* The S-box outputs the class's own table path gives, as four truth tables. */
std::array<std::uint64_t, 4> tableOutputs(int box)
{
    DES des;
    std::array<std::uint64_t, 4> tables{};
    for (int x = 0; x < 64; ++x) {
        std::string input(48, '0');
        for (int i = 0; i < 6; ++i)
            input[6 * box + i] = ((x >> (5 - i)) & 1) ? '1' : '0';
        const std::string output = des.CompressFuncS(&input[0]);
        for (int bit = 0; bit < 4; ++bit)
            if (output[4 * box + bit] == '1')
                tables[bit] |= std::uint64_t{1} << x;
    }
    return tables;
}

using Circuit = void (*)(std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t,
                         std::uint64_t*);

TEST(FastPath, SBoxCircuitsGiveEveryTableEntry)
{
    static const std::array<Circuit, 8> circuits = {SBox1<std::uint64_t>, SBox2<std::uint64_t>, SBox3<std::uint64_t>,
                                                    SBox4<std::uint64_t>, SBox5<std::uint64_t>, SBox6<std::uint64_t>,
                                                    SBox7<std::uint64_t>, SBox8<std::uint64_t>};
    for (int box = 0; box < 8; ++box) {
        std::array<std::uint64_t, 4> outputs{};
        circuits[box](inputBits(0), inputBits(1), inputBits(2), inputBits(3), inputBits(4), inputBits(5),
                      outputs.data());
        EXPECT_EQ(outputs, tableOutputs(box)) << "S" << box + 1;
    }
}

/* Two objects with the same keys: one runs the class's operations, the other the reference. */
struct Pair {
    std::unique_ptr<DES> fast;
    std::unique_ptr<DES> plain;
};

Pair pairWithKeys(const std::string& first, const std::string& second)
{
    return {des_test::desWithKeys(first, second), des_test::desWithKeys(first, second)};
}

Pair randomPair(std::mt19937_64& random, bool sameKey = false)
{
    const std::string first = randomBytes(random, 8);
    return pairWithKeys(first, sameKey ? first : randomBytes(random, 8));
}

void expectSameBuffers(DES& fast, DES& plain)
{
    EXPECT_EQ(std::memcmp(fast.GetCiphertext(), plain.GetCiphertext(), 16), 0);
    EXPECT_EQ(std::memcmp(fast.GetPlaintext(), plain.GetPlaintext(), 8), 0);
    EXPECT_EQ(std::memcmp(fast.GetCiphertextAnyLength(), plain.GetCiphertextAnyLength(), 8192), 0);
    EXPECT_EQ(std::memcmp(fast.GetPlaintextAnyLength(), plain.GetPlaintextAnyLength(), 4096), 0);
}

std::string randomHexBlock(std::mt19937_64& random)
{
    static const char kDigits[] = "0123456789abcdefABCDEF";
    std::string hex(16, '0');
    for (char& c : hex)
        c = kDigits[random() % (sizeof kDigits - 1)];
    return hex;
}

TEST(FastPath, BlocksMatchTheReferenceInBothSlotsAndForms)
{
    std::mt19937_64 random(1);
    for (int i = 0; i < 300; ++i) {
        Pair des = randomPair(random);
        const bool slot = i % 2 == 1;
        const bool hexForm = i % 4 < 2;
        const std::string data = randomBytes(random, 8 + random() % 5);
        des.fast->EncryptData(data, slot, hexForm);
        des_reference::EncryptData(*des.plain, data, slot, hexForm);
        const std::string cipher = hexForm ? randomHexBlock(random) : randomBytes(random, 8);
        des.fast->DecryptData(cipher, slot, hexForm);
        des_reference::DecryptData(*des.plain, cipher, slot, hexForm);
        des.fast->TripleEncrypt(data, hexForm);
        des_reference::TripleEncrypt(*des.plain, data, hexForm);
        ASSERT_NO_FATAL_FAILURE(expectSameBuffers(*des.fast, *des.plain));
        des.fast->TripleDecrypt(cipher, hexForm);
        des_reference::TripleDecrypt(*des.plain, cipher, hexForm);
        ASSERT_NO_FATAL_FAILURE(expectSameBuffers(*des.fast, *des.plain));
    }
}

// Short raw data, short or interrupted hex text: completed the same way on both paths.
TEST(FastPath, IncompleteBlocksAreCompletedAsTheReferenceDoes)
{
    static const std::vector<std::string> kRaw = {"", "a", "abcdefg", std::string("ab\0cd", 5)};
    static const std::vector<std::string> kHex = {"", "f", "0123456789ABCDE", "01-23 45:67x89ab cdef", "zz",
                                                  "0123456789abcdef0123"};
    Pair des = pairWithKeys("key one!", "keytwo??");
    for (const std::string& data : kRaw) {
        des.fast->EncryptData(data, false, true);
        des_reference::EncryptData(*des.plain, data, false, true);
        des.fast->DecryptData(data, true, false);
        des_reference::DecryptData(*des.plain, data, true, false);
        expectSameBuffers(*des.fast, *des.plain);
    }
    for (const std::string& text : kHex) {
        des.fast->DecryptData(text, true, true);
        des_reference::DecryptData(*des.plain, text, true, true);
        expectSameBuffers(*des.fast, *des.plain);
    }
}

TEST(FastPath, MessagesMatchTheReference)
{
    std::mt19937_64 random(2);
    std::vector<std::size_t> lengths = {0, 1, 7, 8, 9, 15, 16, 17, 50, 4087, 4088, 4089};
    for (int i = 0; i < 40; ++i)
        lengths.push_back(random() % 200);
    for (const std::size_t length : lengths) {
        SCOPED_TRACE(length);
        Pair des = randomPair(random, length % 3 == 0);
        std::string text = randomText(random, length);
        if (length % 5 == 1)
            text += std::string("$\0$", 3);
        const bool slot = length % 2 == 1;
        des.fast->EncryptAnyLength(text, slot);
        des_reference::EncryptAnyLength(*des.plain, text, slot);
        const std::string cipher = des.fast->GetCiphertextAnyLength();
        des.fast->DecryptAnyLength(cipher, slot);
        des_reference::DecryptAnyLength(*des.plain, cipher, slot);
        ASSERT_NO_FATAL_FAILURE(expectSameBuffers(*des.fast, *des.plain));
        des.fast->TripleEncryptAnyLength(text);
        des_reference::TripleEncryptAnyLength(*des.plain, text);
        ASSERT_NO_FATAL_FAILURE(expectSameBuffers(*des.fast, *des.plain));
        const std::string tripleCipher = des.fast->GetCiphertextAnyLength();
        des.fast->TripleDecryptAnyLength(tripleCipher);
        des_reference::TripleDecryptAnyLength(*des.plain, tripleCipher);
        ASSERT_NO_FATAL_FAILURE(expectSameBuffers(*des.fast, *des.plain));
    }
}

TEST(FastPath, MalformedCiphertextTextsMatchTheReference)
{
    Pair des = pairWithKeys("12345678", "abcdefgh");
    for (const std::string& text : {std::string(), std::string(15, 'a'), std::string(17, '0'), std::string(32, 'Q')}) {
        des.fast->DecryptAnyLength(text, false);
        des_reference::DecryptAnyLength(*des.plain, text, false);
        des.fast->TripleDecryptAnyLength(text);
        des_reference::TripleDecryptAnyLength(*des.plain, text);
        expectSameBuffers(*des.fast, *des.plain);
    }
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/* Sizes in bytes around a block, the bit-sliced batches of 32, 64 and 128 blocks and the 64 KiB
 * chunk in which files are read. */
class FastPathFiles : public ::testing::TestWithParam<std::size_t> {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/des_fast_path_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    /* Runs one file operation on both paths, each on its own copy of the input; returns both outputs. */
    template <typename Fast, typename Plain>
    void expectSameFile(const std::string& input, const std::string& suffixIn, const std::string& suffixOut, Fast fast,
                        Plain plain, Pair& des)
    {
        const fs::path fastInput = directory_ / ("fast" + suffixIn);
        const fs::path plainInput = directory_ / ("plain" + suffixIn);
        std::ofstream(fastInput, std::ios::binary) << input;
        std::ofstream(plainInput, std::ios::binary) << input;
        ASSERT_TRUE(fast(*des.fast, fastInput.string()));
        ASSERT_TRUE(plain(*des.plain, plainInput.string()));
        const std::string fastOutput = readFile(directory_ / ("fast" + suffixOut));
        EXPECT_EQ(fastOutput.size(), input.size());
        EXPECT_TRUE(fastOutput == readFile(directory_ / ("plain" + suffixOut)));
        expectSameBuffers(*des.fast, *des.plain);
    }

    fs::path directory_;
};

TEST_P(FastPathFiles, MatchTheReference)
{
    std::mt19937_64 random(GetParam());
    const std::string input = randomBytes(random, GetParam());
    for (const bool triple : {false, true}) {
        SCOPED_TRACE(triple ? "triple" : "single");
        Pair des = randomPair(random);
        expectSameFile(
            input, ".txt", ".txt.DES", [triple](DES& d, const std::string& p) { return d.FileEncrypt(p, triple); },
            [triple](DES& d, const std::string& p) { return des_reference::FileEncrypt(d, p, triple); }, des);
        expectSameFile(
            input, ".txt.DES", ".txt", [triple](DES& d, const std::string& p) { return d.FileDecrypt(p, triple); },
            [triple](DES& d, const std::string& p) { return des_reference::FileDecrypt(d, p, triple); }, des);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FastPathFiles,
                         ::testing::Values(0, 1, 7, 8, 9, 31 * 8, 32 * 8, 32 * 8 + 1, 63 * 8, 64 * 8, 64 * 8 + 1,
                                           65 * 8 + 7, 127 * 8, 128 * 8, 128 * 8 + 1, 129 * 8 + 3, 256 * 8 + 5,
                                           65536 - 8, 65536, 65536 + 8, 65536 + 129 * 8 + 1));

}  // namespace
