// ozu-ddns as a program: its mistakes and exit statuses, and a round trip through each cipher and codec
// command. The client commands' round trips are the demo test's (tools/demo.sh).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"

namespace ozu::test {
namespace {

using Words = std::vector<std::string>;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string read_file(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every byte value, zero included, ending in a part block.
std::string sample_bytes()
{
    std::string bytes(1003, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    return bytes;
}

class Tool : public ::testing::Test {
protected:
    ~Tool() override { std::filesystem::remove_all(directory_); }

    std::string path(const std::string& name) const { return directory_ + "/" + name; }

    // The tool, bounded by timeout(1), with its standard streams in files of the scratch directory.
    Outcome run(const Words& words, const std::string& input = "")
    {
        write_file(path("in"), input);
        Words argv = {OZU_TOOL_COMMAND};
        argv.insert(argv.end(), words.begin(), words.end());
        std::string command = "timeout 120";
        for (const std::string& word : argv) {
            command += " '" + word + "'";
        }
        command += " <" + path("in") + " >" + path("out") + " 2>" + path("err");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(path("out")), read_file(path("err"))};
    }

    // Standard output of a run that must succeed without a word on standard error.
    std::string output_of(const Words& words, const std::string& input = "")
    {
        const Outcome outcome = run(words, input);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.err, "");
        return outcome.out;
    }

    std::string directory_ = [] {
        std::string pattern = ::testing::TempDir() + "ozu-ddns-XXXXXX";
        return std::string(mkdtemp(pattern.data()));
    }();
};

struct Mistake {
    Words words;
    std::string input;
    int status;
    std::string message;
};

TEST_F(Tool, MistakesExitWithOneLineOnStandardError)
{
    const std::vector<Mistake> mistakes = {
        {{}, "", 2, "no command given (see ozu-ddns --help)"},
        {{"frobnicate"}, "", 2, "unknown command 'frobnicate' (see ozu-ddns --help)"},
        {{"encrypt"}, "", 2, "missing argument"},
        {{"decrypt", "00", "11"}, "", 2, "unexpected argument '11'"},
        {{"des", "encrypt", "--key"}, "", 2, "option --key needs a value"},
        {{"des", "encrypt", "f"}, "", 2, "--key is required"},
        {{"des", "encrypt", "--key", "SHORT", "f"}, "", 2, "--key must be 8 characters, not 5"},
        {{"des", "encrypt", "--key", "ABCDEFGH", "--key2", "IJKLMNOP", "f"}, "", 2, "--key2 needs --triple"},
        {{"des", "shred", "--key", "ABCDEFGH", "f"}, "", 2, "unknown direction 'shred' (encrypt or decrypt)"},
        {{"des", "decrypt", "--key", "ABCDEFGH", ".DES"}, "", 2, "'.DES' does not end in .DES"},
        {{"base64", "rot13"}, "", 2, "unknown direction 'rot13' (encode or decode)"},
        {{"once", "--server", "s"}, "", 2, "--mac is required"},
        {{"once", "--server", "s", "--mac", "m"}, "", 2, "--serial is required"},
        {{"run", "--server", "s", "--mac", "m", "--type", "3"}, "", 2, "invalid value for --type: '3'"},
        {{"getname", "--server", "s", "--mac", "m", "--offline"}, "", 2, "unknown option '--offline'"},
        {{"decrypt", "0123456789abcde"}, "", 1, "ciphertext of 15 hex digits: not whole 16-digit blocks"},
        {{"decrypt", "0123456789abcdeg"}, "", 1, "not hexadecimal: 'g' at position 15"},
        {{"decrypt", std::string(8192, 'a')}, "", 1, "ciphertext longer than 8176 hex digits"},
        {{"encrypt", std::string(4089, 'a')}, "", 1, "text longer than 4088 characters"},
        {{"base64", "decode"}, "aG=sbG8=", 1, "not Base64 text: unexpected character at offset 2"},
        {{"base64", "decode"}, "aGVsbG8", 1, "not Base64 text: incomplete group at offset 4"},
        {{"des", "encrypt", "--key", "ABCDEFGH", "/absent"}, "", 1, "cannot open /absent: No such file or directory"},
    };
    for (const Mistake& mistake : mistakes) {
        const Outcome outcome = run(mistake.words, mistake.input);
        EXPECT_EQ(outcome.status, mistake.status) << mistake.message;
        EXPECT_EQ(outcome.err, "ozu-ddns: " + mistake.message + "\n");
        EXPECT_EQ(outcome.out, "");
    }
    // The system would end the name at the NUL, which no command line can carry: called in-process.
    const std::string name = path("f") + '\0' + "zz";
    for (const auto& [command, words] : std::vector<std::pair<int (*)(const Words&), Words>>{
             {ozu_tool::des_file, {"decrypt", "--key", "ABCDEFGH", name + ".DES"}},
             {ozu_tool::base64, {"encode", name}}}) {
        try {
            command(words);
            ADD_FAILURE() << words[0] << ": a name holding a NUL byte was taken";
        } catch (const ozu_tool::UsageError& error) {
            EXPECT_STREQ(error.what(), "a file name cannot hold a NUL byte");
        }
    }
}

TEST_F(Tool, TextCipherRoundTrip)
{
    const std::string text = "id=SN0001&mac=00:11:22:33:44:55&port=80&type=0x7";
    const std::string hex = output_of({"encrypt", text});
    ASSERT_EQ(hex.size(), 16 * 6 + 1);
    EXPECT_EQ(output_of({"decrypt", hex.substr(0, 16 * 6)}), text + "\n");
}

TEST_F(Tool, FileCipherRoundTrip)
{
    write_file(path("report"), sample_bytes());
    EXPECT_EQ(output_of({"des", "encrypt", "--triple", "--key", "K3Y4TEST", "--key2", "OTHERKEY", path("report")}), "");
    std::filesystem::remove(path("report"));
    EXPECT_NE(read_file(path("report.DES")).substr(0, 8), sample_bytes().substr(0, 8));
    EXPECT_EQ(output_of({"des", "decrypt", "--triple", "--key", "K3Y4TEST", "--key2", "OTHERKEY", path("report.DES")}),
              "");
    EXPECT_EQ(read_file(path("report")), sample_bytes());
    // in, out, err, report and report.DES: no staging directory left behind
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_), {}), 5);
}

TEST_F(Tool, Base64RoundTrip)
{
    write_file(path("data"), sample_bytes());
    const std::string text = output_of({"base64", "encode", path("data")});
    EXPECT_EQ(text.substr(76, 2), "\r\n");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(output_of({"base64", "decode"}, text), sample_bytes());
}

}  // namespace
}  // namespace ozu::test
