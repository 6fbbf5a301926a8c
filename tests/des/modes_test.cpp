// What the class builds on its block cipher (des/modes.h), on the word path: messages of any length with their
// '$' marks and error sentence, two-key triple DES, and files, which are enciphered bit-sliced, 128 blocks per pass
// (32 on 32-bit ARM), in chunks of 64 KiB; against OpenSSL where it is found, and with the bounds that keep all of
// it in its buffers.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "des/DES.h"
#include "support/des_oracle.h"
#include "support/temp_directory.h"

namespace ozu::test {
namespace {

namespace fs = std::filesystem;

constexpr char kBadCiphertext[] = "Please enter your correct cipertext!";

std::unique_ptr<DES> des_with_keys(const std::string& first, const std::string& second)
{
    auto des = std::make_unique<DES>();
    des->InitializeKey(first, false);
    des->InitializeKey(second, true);
    return des;
}

// More than 4088 characters are refused with an empty text. Ciphertexts that are not whole blocks, or longer
// than 8176 digits, give exactly the error sentence and its NUL; in triple DES with one key, the sentence again.
TEST(Message, BoundsAndMalformedCiphertexts)
{
    const auto des = des_with_keys("one key", "one key");
    const std::string too_long(4089, 'x');
    for (const bool triple : {false, true}) {
        des->EncryptAnyLength("an earlier result", false);
        triple ? des->TripleEncryptAnyLength(too_long) : des->EncryptAnyLength(too_long, false);
        EXPECT_STREQ(des->GetCiphertextAnyLength(), "") << triple;
    }
    for (const std::size_t length : {0, 15, 17, 8192}) {
        std::memset(des->GetPlaintextAnyLength(), 'z', 64);
        des->DecryptAnyLength(std::string(length, '0'), false);
        EXPECT_EQ(std::string(des->GetPlaintextAnyLength(), sizeof kBadCiphertext + 1),
                  std::string(kBadCiphertext, sizeof kBadCiphertext) + 'z');
        des->TripleDecryptAnyLength(std::string(length, '0'));
        EXPECT_STREQ(des->GetPlaintextAnyLength(), kBadCiphertext) << length;
    }
}

// The trailing marks among the last 7 characters become NUL unless a NUL is among them; a count below 7 starts
// the window at the buffer's start; counts outside 1..4088 change nothing. The buffer is full of marks.
TEST(Message, CleanPlaintextMarkCutsTrailingMarksInsideTheBuffer)
{
    const struct {
        std::string text;
        int count;
        int first_nul;
        int end_nul;
    } cases[] = {
        {"abcdefghijk$m$$$", 16, 13, 17},
        {std::string("abcdefghi\0$$$$$$", 16), 16, 16, 17},
        {"ab$", 3, 2, 4},
        {"", 4088, 4081, 4089},
        {"", 0, 0, 0},
        {"", -1, 0, 0},
        {"", 4089, 0, 0},
        {"", 4096, 0, 0},
    };
    for (const auto& c : cases) {
        const auto des = std::make_unique<DES>();
        char* buffer = des->GetPlaintextAnyLength();
        std::memset(buffer, '$', 4096);
        std::copy(c.text.begin(), c.text.end(), buffer);
        std::string expected(buffer, 4096);
        expected.replace(c.first_nul, c.end_nul - c.first_nul, c.end_nul - c.first_nul, '\0');
        des->CleanPlaintextMark(c.count);
        EXPECT_EQ(std::string(buffer, 4096), expected) << c.count;
    }
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each case works in a directory of its own.
class FileCipher : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::current_path(directory_.path());
        std::ofstream("data", std::ios::binary) << "16 bytes of data";
    }

    static long entries() { return std::distance(fs::directory_iterator("."), fs::directory_iterator()); }

    TempDirectory directory_;
};

// Refused before anything is opened: a path holding a NUL (the system would read "data" for it and for its
// output name) and a FileDecrypt path of 4 characters or fewer. A missing input leaves no output; an output
// that cannot be created gives false.
TEST_F(FileCipher, PathsThatCannotWorkAreRefused)
{
    std::ofstream("abcd") << "four";
    const auto des = std::make_unique<DES>();
    EXPECT_FALSE(des->FileEncrypt(std::string("data\0zz", 7), false));
    EXPECT_FALSE(des->FileDecrypt("abcd", false));
    EXPECT_FALSE(des->FileDecrypt("abc", false));
    EXPECT_FALSE(des->FileEncrypt("missing", false));
    EXPECT_FALSE(des->FileDecrypt("missing.DES", true));
    EXPECT_EQ(read_file("data") + read_file("abcd"), "16 bytes of datafour");
    EXPECT_EQ(entries(), 2);
    fs::create_directory("data.DES");
    EXPECT_FALSE(des->FileEncrypt("data", false));
}

// Sizes that do not fit the signed 32-bit count are refused before the output exists (4 GiB and 16 bytes would
// wrap to 16).
TEST_F(FileCipher, FilesOfTwoGibibytesAndMoreAreRefused)
{
    for (const std::uintmax_t size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 16}) {
        std::error_code error;
        fs::resize_file("data", size, error);
        if (error) {
            GTEST_SKIP() << "no sparse file of " << size << " bytes here";
        }
        EXPECT_FALSE(DES().FileEncrypt("data", false)) << size;
        EXPECT_EQ(entries(), 1) << size;
    }
}

// A write that fails (the output is /dev/full) or a read that comes short (a sysfs attribute reports 4096 bytes)
// stops the copy and gives false.
TEST_F(FileCipher, FailedWriteOrShortReadGivesFalse)
{
    const std::string attribute = "/sys/devices/system/cpu/online";
    if (::access("/dev/full", W_OK) != 0 || fs::file_size(attribute) <= read_file(attribute).size()) {
        GTEST_SKIP() << "no /dev/full, or no file that reads shorter than its size";
    }
    fs::create_symlink("/dev/full", "data.DES");
    fs::create_symlink(attribute, "attribute");
    EXPECT_FALSE(DES().FileEncrypt("data", false));
    EXPECT_FALSE(DES().FileEncrypt("attribute", false));
}

#ifdef OZU_TEST_OPENSSL
// Encipher with the first key, decipher with the second, encipher with the first.
std::uint64_t oracle_triple(const std::string& first, const std::string& second, std::uint64_t block)
{
    return oracle_encrypt(first, oracle_decrypt(second, oracle_encrypt(first, block)));
}

// Printable characters, '$' included but never last, where the way back would drop it.
std::string random_text(std::mt19937_64& random, std::size_t length)
{
    std::string text(length, 'x');
    for (std::size_t i = 0; i + 1 < length; ++i) {
        text[i] = static_cast<char>(' ' + random() % 95);
    }
    return text;
}

// Lengths 0 to 40 and the longest, in either slot; the empty message is one block of NUL bytes. The block buffers
// end holding the last block's results, as enciphering and deciphering it alone leave them.
TEST(Message, MatchesOpenSslAndComesBack)
{
    std::mt19937_64 random(2);
    for (std::size_t length = 0; length <= 4088; length += length < 40 ? 1 : 4048) {
        const std::string key = bytes_of(random());
        const std::string text = random_text(random, length);
        const std::string message = text.empty() ? std::string(8, '\0') : text;
        const bool slot = length % 2 == 1;
        const auto des = slot ? des_with_keys("other key", key) : des_with_keys(key, "other key");
        des->EncryptAnyLength(text, slot);
        const std::string expected = oracle_ciphertext(key, message);
        ASSERT_EQ(des->GetCiphertextAnyLength(), expected) << length;
        ASSERT_EQ(std::string(des->GetCiphertext(), 16), expected.substr(expected.size() - 16)) << length;
        des->DecryptAnyLength(expected, slot);
        ASSERT_EQ(des->GetPlaintextAnyLength(), text) << length;
        const std::string padded = message + std::string((8 - message.size() % 8) % 8, '$');
        ASSERT_EQ(std::string(des->GetPlaintext(), 8), padded.substr(padded.size() - 8)) << length;
    }
}

// Two-key triple DES block by block in both forms, and messages whose middle text, deciphered under the second key,
// holds a zero byte or ends in '$': it must reach the next step whole.
TEST(TripleDes, MatchesOpenSsl)
{
    const auto des = des_with_keys("first k!", "second!!");
    for (const std::string text : {"#Gm2x", "H`2@=`b,<&z8O-:C3x", "AIJ}o kx", R"(xR-gGg1IY0"sx)"}) {
        const std::string padded = text + std::string((8 - text.size() % 8) % 8, '$');
        std::string middle;
        std::string expected;
        for (std::size_t k = 0; k < padded.size(); k += 8) {
            const std::string block = padded.substr(k, 8);
            middle += bytes_of(oracle_decrypt("second!!", oracle_encrypt("first k!", block_of(block))));
            const std::string answer = bytes_of(oracle_triple("first k!", "second!!", block_of(block)));
            expected += hex_of(answer);
            for (const bool hex_form : {true, false}) {
                des->TripleEncrypt(block, hex_form);
                ASSERT_EQ(std::string(des->GetCiphertext(), hex_form ? 16 : 8), hex_form ? hex_of(answer) : answer);
                des->TripleDecrypt(hex_form ? hex_of(answer) : answer, hex_form);
                ASSERT_EQ(std::string(des->GetPlaintext(), 8), block);
            }
        }
        ASSERT_TRUE(middle.find('\0') != std::string::npos || middle.back() == '$') << "a plain middle: " << text;
        des->TripleEncryptAnyLength(text);
        ASSERT_EQ(des->GetCiphertextAnyLength(), expected) << text;
        des->TripleDecryptAnyLength(expected);
        ASSERT_EQ(des->GetPlaintextAnyLength(), text) << expected;
    }
}

// Second keys one bit away from the first, for every bit: the slots then agree in most of their sub-keys (in all of
// them for the bits the cipher ignores), and each must still be used for its own key.
TEST(TripleDes, KeysOneBitApartMatchOpenSsl)
{
    const std::string first = "first k!";
    const std::string block = "H`2@=`b,";
    for (int bit = 0; bit < 64; ++bit) {
        std::string second = first;
        second[bit / 8] = static_cast<char>(second[bit / 8] ^ (0x80 >> (bit % 8)));
        const auto des = des_with_keys(first, second);
        des->TripleEncrypt(block, true);
        EXPECT_EQ(std::string(des->GetCiphertext(), 16),
                  hex_of(bytes_of(oracle_triple(first, second, block_of(block)))))
            << bit;
    }
}

// Sizes around one and two passes of either width, and across a chunk, with 0 to 7 bytes after the last block,
// which are copied unchanged; single DES and two-key triple DES, both ways.
TEST_F(FileCipher, MatchesOpenSslAcrossPassesAndChunks)
{
    std::mt19937_64 random(5);
    for (const std::size_t size : {7, 33 * 8 + 1, 128 * 8, 257 * 8 + 5, 65536 + 129 * 8 + 7}) {
        for (const bool triple : {false, true}) {
            const std::string first = bytes_of(random());
            const std::string second = triple ? bytes_of(random()) : first;
            std::string input(size, '\0');
            std::generate(input.begin(), input.end(), [&random] { return static_cast<char>(random()); });
            std::string expected = input;
            for (std::size_t k = 0; k + 8 <= size; k += 8) {
                expected.replace(k, 8, bytes_of(oracle_triple(first, second, block_of(input.substr(k, 8)))));
            }
            std::ofstream("data", std::ios::binary) << input;
            const auto des = des_with_keys(first, second);
            ASSERT_TRUE(des->FileEncrypt("data", triple));
            ASSERT_TRUE(read_file("data.DES") == expected) << size << " bytes, triple " << triple;
            fs::remove("data");
            ASSERT_TRUE(des->FileDecrypt("data.DES", triple));
            ASSERT_TRUE(read_file("data") == input) << size << " bytes, triple " << triple;
        }
    }
}
#endif

}  // namespace
}  // namespace ozu::test
