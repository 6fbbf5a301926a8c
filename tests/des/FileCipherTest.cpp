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

using des_test::desWithKeys;

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

class FileCipher : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/des_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(directory_);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
        fs::remove_all(directory_, ignored);
    }

    std::set<std::string> names() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory_))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path directory_;
    fs::path previous_;
    std::unique_ptr<DES> des_ = desWithKeys("filekey1", "filekey2");
};

// Whole blocks are enciphered one by one, equal blocks alike; a last partial block is copied as it is.
TEST_F(FileCipher, WholeBlocksAreEncipheredAndTheRestCopied)
{
    writeFile("data", "sameblk!otherbl!sameblk!tail");
    for (const bool triple : {false, true}) {
        ASSERT_TRUE(des_->FileEncrypt("data", triple));
        std::string expected;
        for (const char* block : {"sameblk!", "otherbl!", "sameblk!"}) {
            if (triple)
                des_->TripleEncrypt(block, false);
            else
                des_->EncryptData(block, false, false);
            expected += des_test::cipherRaw(*des_);
        }
        EXPECT_EQ(readFile("data.DES"), expected + "tail") << triple;
    }
}

// Files shorter than a block are copied unchanged; zero bytes inside a block are no end of the data.
TEST_F(FileCipher, RoundTripRestoresTheInputUnderItsName)
{
    std::mt19937_64 random(51);
    std::string longInput = des_test::randomBytes(random, 8 * 300 + 5);
    longInput.replace(16, 8, std::string(8, '\0'));
    for (std::size_t size = 0; size <= 8; ++size) {
        const std::string input = size < 8 ? std::string("\0\x01zxy\xff\0", 7).substr(0, size) : longInput;
        for (const bool triple : {false, true}) {
            writeFile("report.txt", input);
            ASSERT_TRUE(des_->FileEncrypt("report.txt", triple)) << size;
            fs::remove("report.txt");
            if (size < 8) {
                EXPECT_EQ(readFile("report.txt.DES"), input) << size;
            } else {
                EXPECT_NE(readFile("report.txt.DES"), input);
            }
            ASSERT_TRUE(des_->FileDecrypt("report.txt.DES", triple)) << size;
            EXPECT_EQ(readFile("report.txt"), input) << size << " triple " << triple;
        }
    }
}

TEST_F(FileCipher, ExistingOutputIsReplaced)
{
    writeFile("data", "abc");
    writeFile("data.DES", "a much longer earlier output");
    ASSERT_TRUE(des_->FileEncrypt("data", false));
    EXPECT_EQ(readFile("data.DES"), "abc");
}

TEST_F(FileCipher, WrongKeyStillWritesAFile)
{
    writeFile("data", "16 bytes of data");
    ASSERT_TRUE(des_->FileEncrypt("data", false));
    fs::remove("data");
    ASSERT_TRUE(desWithKeys("wrongkey", "filekey2")->FileDecrypt("data.DES", false));
    const std::string output = readFile("data");
    EXPECT_EQ(output.size(), 16U);
    EXPECT_NE(output, "16 bytes of data");
}

TEST_F(FileCipher, MissingInputLeavesNoOutput)
{
    EXPECT_FALSE(des_->FileEncrypt("missing", false));
    EXPECT_FALSE(des_->FileDecrypt("missing.DES", true));
    EXPECT_TRUE(names().empty());
}

TEST_F(FileCipher, OutputThatCannotBeCreatedGivesFalse)
{
    writeFile("data", "16 bytes of data");
    fs::create_directory("data.DES");
    EXPECT_FALSE(des_->FileEncrypt("data", false));
    EXPECT_TRUE(fs::is_directory("data.DES"));
}

// Refused before anything is opened: with four characters or fewer no output name remains once the
// suffix is removed; a NUL byte would make input and output name the same file.
TEST_F(FileCipher, PathsWithoutASeparateOutputNameAreRefused)
{
    const std::string content = "16 bytes of data";
    for (const std::string name : {"abcd", "abc", "ab", "victim"})
        writeFile(name, content);
    EXPECT_FALSE(des_->FileDecrypt("abcd", false));
    EXPECT_FALSE(des_->FileDecrypt("abc", false));
    EXPECT_FALSE(des_->FileDecrypt("ab", true));
    EXPECT_FALSE(des_->FileDecrypt("", false));
    EXPECT_FALSE(des_->FileEncrypt(std::string("victim\0zz", 9), false));
    EXPECT_FALSE(des_->FileDecrypt(std::string("abcd\0.DES", 9), true));
    for (const std::string name : {"abcd", "abc", "ab", "victim"})
        EXPECT_EQ(readFile(name), content) << name;
    EXPECT_EQ(names(), (std::set<std::string>{"abcd", "abc", "ab", "victim"}));
}

// Sizes from 2 GiB on do not fit the signed 32-bit count: refused before the output exists.
TEST_F(FileCipher, FilesOfTwoGibibytesAndMoreAreRefused)
{
    for (const std::int64_t size : {kTwoGiB, 2 * kTwoGiB + 16}) {
        const int fd = ::open("huge.DES", O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
        ::close(fd);
        if (!sized)
            GTEST_SKIP() << "no sparse file of " << size << " bytes possible here";
        EXPECT_FALSE(des_->FileEncrypt("huge.DES", false)) << size;
        EXPECT_FALSE(des_->FileDecrypt("huge.DES", true)) << size;
        EXPECT_EQ(names(), (std::set<std::string>{"huge.DES"})) << size;
    }
}

// A failed write stops the copy and gives false.
TEST_F(FileCipher, FailedWriteGivesFalse)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full not available";
    writeFile("data", std::string(4096, 'w'));
    fs::create_symlink("/dev/full", "data.DES");
    EXPECT_FALSE(des_->FileEncrypt("data", false));
}

// A file that reads shorter than its size (a sysfs attribute reports 4096 bytes) gives false.
TEST_F(FileCipher, ShortReadGivesFalse)
{
    const char* attribute = "/sys/devices/system/cpu/online";
    struct stat status {};
    if (::stat(attribute, &status) != 0 || status.st_size <= static_cast<off_t>(readFile(attribute).size()))
        GTEST_SKIP() << "no file that reads shorter than its size";
    fs::create_symlink(attribute, "attribute");
    EXPECT_FALSE(des_->FileEncrypt("attribute", false));
}

}  // namespace
