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
#include <tuple>
#include <vector>

#include "command_line.h"
#include "commands.h"

namespace ozu::test {
namespace {

using ozu::tool::Words;
// The exit status, standard output and standard error of a run.
using Outcome = std::tuple<int, std::string, std::string>;

std::string read_file(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

class Tool : public ::testing::Test {
protected:
    ~Tool() override { std::filesystem::remove_all(directory_); }

    std::string path(const std::string& name) const { return directory_ + "/" + name; }

    // The tool, bounded by timeout(1), with its standard streams in files of the scratch directory.
    Outcome run(const Words& words, const std::string& input = "")
    {
        std::ofstream(path("in"), std::ios::binary) << input;
        Words argv = {OZU_TOOL_COMMAND};
        argv.insert(argv.end(), words.begin(), words.end());
        std::string command = "timeout 120";
        for (const std::string& word : argv) {
            command += " '" + word + "'";
        }
        const int status =
            std::system((command + " <" + path("in") + " >" + path("out") + " 2>" + path("err")).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(path("out")), read_file(path("err"))};
    }

    // Standard output of a run that must succeed without a word on standard error.
    std::string output_of(const Words& words, const std::string& input = "")
    {
        const auto [status, out, err] = run(words, input);
        EXPECT_EQ(std::make_pair(status, err), std::make_pair(0, std::string()));
        return out;
    }

    std::string directory_ = [] {
        std::string pattern = ::testing::TempDir() + "ozu-ddns-XXXXXX";
        return std::string(mkdtemp(pattern.data()));
    }();
};

TEST_F(Tool, MistakesExitWithOneLineOnStandardError)
{
    const std::tuple<Words, std::string, int, std::string> mistakes[] = {
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
    for (const auto& [words, input, status, message] : mistakes) {
        EXPECT_EQ(run(words, input), (Outcome{status, "", "ozu-ddns: " + message + "\n"}));
    }
    // The system would end the name at the NUL, which no command line can carry: called in-process.
    const std::string name = path("f") + '\0' + "zz";
    for (const auto& [command, words] : std::vector<std::pair<int (*)(const Words&), Words>>{
             {ozu::tool::des_file, {"decrypt", "--key", "ABCDEFGH", name + ".DES"}},
             {ozu::tool::base64, {"encode", name}}}) {
        try {
            command(words);
            ADD_FAILURE() << words[0] << ": a name holding a NUL byte was taken";
        } catch (const ozu::tool::UsageError& error) {
            EXPECT_STREQ(error.what(), "a file name cannot hold a NUL byte");
        }
    }
}

// Every byte value, zero included, ending in a part block; the file commands leave no staging file behind.
TEST_F(Tool, EachCipherAndCodecCommandComesBack)
{
    const std::string text = "id=SN0001&mac=00:11:22:33:44:55&port=80&type=0x7";
    const std::string hex = output_of({"encrypt", text});
    ASSERT_EQ(hex.size(), 16 * 6 + 1);
    EXPECT_EQ(output_of({"decrypt", hex.substr(0, 16 * 6)}), text + "\n");
    std::string bytes(1003, '\0');
    std::iota(bytes.begin(), bytes.end(), '\0');
    std::ofstream(path("report"), std::ios::binary) << bytes;
    const std::string base64 = output_of({"base64", "encode", path("report")});
    EXPECT_EQ(base64.substr(76, 2) + base64.substr(base64.size() - 2), "\r\n\r\n");
    EXPECT_EQ(output_of({"base64", "decode"}, base64), bytes);
    const auto des = [this](const char* direction, const std::string& file) {
        return output_of({"des", direction, "--triple", "--key", "K3Y4TEST", "--key2", "OTHERKEY", path(file)});
    };
    EXPECT_EQ(des("encrypt", "report"), "");
    std::filesystem::remove(path("report"));
    EXPECT_NE(read_file(path("report.DES")).substr(0, 8), bytes.substr(0, 8));
    EXPECT_EQ(des("decrypt", "report.DES"), "");
    EXPECT_EQ(read_file(path("report")), bytes);
    // in, out, err, report and report.DES
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_), {}), 5);
}

}  // namespace
}  // namespace ozu::test
