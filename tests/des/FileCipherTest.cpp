#include "DesTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

using des_test::cipherRaw;
using des_test::randomBytes;

constexpr std::int64_t kTwoGiB = std::int64_t{1} << 31;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> namesIn(const fs::path& directory)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

std::unique_ptr<DES> desWithKeys(const std::string& first, const std::string& second)
{
    auto des = std::make_unique<DES>();
    des->InitializeKey(first, false);
    des->InitializeKey(second, true);
    return des;
}

class FileCipher : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/des_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    std::string pathOf(const std::string& name) const { return (directory_ / name).string(); }

    fs::path directory_;
};

TEST_F(FileCipher, TwentyBytesAreTwoBlocksAndFourPlainBytes)
{
    const std::string input = "0123456789ABCDEFtail";
    writeFile(pathOf("data"), input);
    auto des = desWithKeys("filekey1", "filekey2");
    ASSERT_TRUE(des->FileEncrypt(pathOf("data"), false));

    const std::string output = readFile(pathOf("data.DES"));
    ASSERT_EQ(output.size(), 20U);
    des->EncryptData(input.substr(0, 8), false, false);
    EXPECT_EQ(output.substr(0, 8), cipherRaw(*des));
    des->EncryptData(input.substr(8, 8), false, false);
    EXPECT_EQ(output.substr(8, 8), cipherRaw(*des));
    EXPECT_EQ(output.substr(16), "tail");
}

TEST_F(FileCipher, ShortFilesAreCopiedUnchanged)
{
    auto des = desWithKeys("filekey1", "filekey2");
    for (std::size_t size = 0; size <= 7; ++size) {
        const std::string input = std::string("\0\x01zxy\xff\0", 7).substr(0, size);
        writeFile(pathOf("short"), input);
        for (const bool triple : {false, true}) {
            ASSERT_TRUE(des->FileEncrypt(pathOf("short"), triple)) << size;
            EXPECT_EQ(readFile(pathOf("short.DES")), input) << size;
            ASSERT_TRUE(des->FileDecrypt(pathOf("short.DES"), triple)) << size;
            EXPECT_EQ(readFile(pathOf("short")), input) << size;
        }
    }
}

TEST_F(FileCipher, RoundTripRestoresTheInputUnderItsName)
{
    std::mt19937_64 random(51);
    std::string input = randomBytes(random, 8 * 300 + 5);
    input.replace(16, 8, std::string(8, '\0'));
    for (const bool triple : {false, true}) {
        auto des = desWithKeys("filekey1", "filekey2");
        writeFile(pathOf("report.txt"), input);
        ASSERT_TRUE(des->FileEncrypt(pathOf("report.txt"), triple));
        fs::remove(pathOf("report.txt"));
        EXPECT_NE(readFile(pathOf("report.txt.DES")), input);
        ASSERT_TRUE(des->FileDecrypt(pathOf("report.txt.DES"), triple));
        EXPECT_EQ(readFile(pathOf("report.txt")), input) << triple;
    }
}

TEST_F(FileCipher, EqualInputBlocksGiveEqualOutputBlocks)
{
    writeFile(pathOf("twice"), "sameblk!sameblk!");
    auto des = desWithKeys("filekey1", "filekey2");
    for (const bool triple : {false, true}) {
        ASSERT_TRUE(des->FileEncrypt(pathOf("twice"), triple));
        const std::string output = readFile(pathOf("twice.DES"));
        ASSERT_EQ(output.size(), 16U);
        EXPECT_EQ(output.substr(0, 8), output.substr(8));
        EXPECT_NE(output.substr(0, 8), "sameblk!");
    }
}

TEST_F(FileCipher, TripleWithTheSameKeyTwiceIsSingle)
{
    std::mt19937_64 random(52);
    writeFile(pathOf("data"), randomBytes(random, 83));
    auto des = desWithKeys("filekey1", "filekey1");
    ASSERT_TRUE(des->FileEncrypt(pathOf("data"), false));
    const std::string single = readFile(pathOf("data.DES"));
    ASSERT_TRUE(des->FileEncrypt(pathOf("data"), true));
    EXPECT_EQ(readFile(pathOf("data.DES")), single);
}

TEST_F(FileCipher, TripleWithTwoKeysDiffersFromSingle)
{
    writeFile(pathOf("data"), "16 bytes of data");
    auto des = desWithKeys("filekey1", "filekey2");
    ASSERT_TRUE(des->FileEncrypt(pathOf("data"), false));
    const std::string single = readFile(pathOf("data.DES"));
    ASSERT_TRUE(des->FileEncrypt(pathOf("data"), true));
    EXPECT_NE(readFile(pathOf("data.DES")), single);
}

TEST_F(FileCipher, ExistingOutputIsReplaced)
{
    writeFile(pathOf("data"), "abc");
    writeFile(pathOf("data.DES"), "a much longer earlier output");
    auto des = desWithKeys("filekey1", "filekey2");
    ASSERT_TRUE(des->FileEncrypt(pathOf("data"), false));
    EXPECT_EQ(readFile(pathOf("data.DES")), "abc");
}

TEST_F(FileCipher, WrongKeyStillWritesAFile)
{
    writeFile(pathOf("data"), "16 bytes of data");
    ASSERT_TRUE(desWithKeys("filekey1", "filekey2")->FileEncrypt(pathOf("data"), false));
    fs::remove(pathOf("data"));
    ASSERT_TRUE(desWithKeys("wrongkey", "filekey2")->FileDecrypt(pathOf("data.DES"), false));
    const std::string output = readFile(pathOf("data"));
    EXPECT_EQ(output.size(), 16U);
    EXPECT_NE(output, "16 bytes of data");
}

TEST_F(FileCipher, MissingInputLeavesNoOutput)
{
    auto des = desWithKeys("filekey1", "filekey2");
    EXPECT_FALSE(des->FileEncrypt(pathOf("missing"), false));
    EXPECT_FALSE(des->FileDecrypt(pathOf("missing.DES"), true));
    EXPECT_TRUE(namesIn(directory_).empty());
}

TEST_F(FileCipher, OutputThatCannotBeCreatedGivesFalse)
{
    writeFile(pathOf("data"), "16 bytes of data");
    fs::create_directory(pathOf("data.DES"));
    auto des = desWithKeys("filekey1", "filekey2");
    EXPECT_FALSE(des->FileEncrypt(pathOf("data"), false));
    EXPECT_TRUE(fs::is_directory(pathOf("data.DES")));
}

// Refused before anything is opened: no name would remain once the suffix is removed.
TEST_F(FileCipher, DecryptOfAPathShorterThanTheSuffixIsRefused)
{
    const fs::path previous = fs::current_path();
    fs::current_path(directory_);
    writeFile("abc", "16 bytes of data");
    writeFile("ab", "0123456789");
    auto des = desWithKeys("filekey1", "filekey2");
    EXPECT_FALSE(des->FileDecrypt("abc", false));
    EXPECT_FALSE(des->FileDecrypt("ab", true));
    EXPECT_FALSE(des->FileDecrypt("", false));
    EXPECT_EQ(readFile("abc"), "16 bytes of data");
    EXPECT_EQ(readFile("ab"), "0123456789");
    EXPECT_EQ(namesIn(directory_), (std::set<std::string>{"abc", "ab"}));
    fs::current_path(previous);
}

TEST_F(FileCipher, DecryptOfAFourCharacterPathHasNoOutputName)
{
    const fs::path previous = fs::current_path();
    fs::current_path(directory_);
    writeFile("abcd", "16 bytes of data");
    EXPECT_FALSE(desWithKeys("filekey1", "filekey2")->FileDecrypt("abcd", false));
    EXPECT_EQ(readFile("abcd"), "16 bytes of data");
    EXPECT_EQ(namesIn(directory_), (std::set<std::string>{"abcd"}));
    fs::current_path(previous);
}

// Sizes from 2 GiB on do not fit the signed 32-bit count: refused before the output exists.
TEST_F(FileCipher, FilesOfTwoGibibytesAndMoreAreRefused)
{
    for (const std::int64_t size : {kTwoGiB, 2 * kTwoGiB + 16}) {
        const int fd = ::open(pathOf("huge.DES").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
        ::close(fd);
        if (!sized)
            GTEST_SKIP() << "no sparse file of " << size << " bytes possible here";

        auto des = desWithKeys("filekey1", "filekey2");
        EXPECT_FALSE(des->FileEncrypt(pathOf("huge.DES"), false)) << size;
        EXPECT_FALSE(des->FileDecrypt(pathOf("huge.DES"), true)) << size;
        EXPECT_EQ(namesIn(directory_), (std::set<std::string>{"huge.DES"})) << size;
    }
}

// A failed write stops the copy and gives false.
TEST_F(FileCipher, FailedWriteGivesFalse)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full not available";
    writeFile(pathOf("data"), std::string(4096, 'w'));
    fs::create_symlink("/dev/full", pathOf("data.DES"));
    EXPECT_FALSE(desWithKeys("filekey1", "filekey2")->FileEncrypt(pathOf("data"), false));
}

// A file that reads shorter than its size (a sysfs attribute reports 4096 bytes) gives false.
TEST_F(FileCipher, ShortReadGivesFalse)
{
    const char* attribute = "/sys/devices/system/cpu/online";
    struct stat status {};
    if (::stat(attribute, &status) != 0 || status.st_size <= static_cast<off_t>(readFile(attribute).size()))
        GTEST_SKIP() << "no file that reads shorter than its size";
    fs::create_symlink(attribute, pathOf("attribute"));
    EXPECT_FALSE(desWithKeys("filekey1", "filekey2")->FileEncrypt(pathOf("attribute"), false));
}

}  // namespace
