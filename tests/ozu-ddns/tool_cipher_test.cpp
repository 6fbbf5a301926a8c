// ozu-ddns without a server: the command line, the text cipher, Base64 and file encryption.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <ozu_dnsupdate/DES.h>

#include "command_line.h"
#include "commands.h"
#include "tool_test_support.h"

namespace {

using tool_test::expect_error;
using tool_test::read_file;
using tool_test::run_tool;
using tool_test::run_tool_with_input;
using tool_test::ScratchDirectory;
using tool_test::write_file;
using Arguments = std::vector<std::string>;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

TEST(ToolHelp, EveryCommandDescribesItselfOnStandardOutput) {
    const tool_test::ProcessResult tool = run_tool({"--help"});
    EXPECT_EQ(tool.exit_code, 0);
    EXPECT_EQ(tool.out.rfind("usage: ozu-ddns COMMAND [ARGUMENTS]\n", 0), 0u) << tool.out;
    for (const char* command : {"encrypt", "decrypt", "des", "base64", "once", "getname", "run"}) {
        EXPECT_NE(tool.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
        const tool_test::ProcessResult help = run_tool({command, "--help"});
        EXPECT_EQ(help.exit_code, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: ozu-ddns ") + command + " ", 0), 0u) << help.out;
        EXPECT_EQ(help.err, "") << command;
    }
}

TEST(ToolHelp, ClientCommandsListTheirSettings) {
    const tool_test::ProcessResult help = run_tool({"once", "--help"});
    for (const char* option : {"--server", "--port", "--type", "--serial", "--mac", "--ip", "--interval",
                               "--device-id", "--http-port"}) {
        EXPECT_NE(help.out.find(std::string("\n  ") + option + " "), std::string::npos) << option;
    }
}

struct UsageCase {
    Arguments arguments;
    std::string message;
};

TEST(ToolUsage, CommandLineMistakesExitWithTwoAndOneLine) {
    const std::vector<UsageCase> cases = {
        {{}, "no command given (see ozu-ddns --help)"},
        {{"frobnicate"}, "unknown command 'frobnicate' (see ozu-ddns --help)"},
        {{"encrypt"}, "missing argument"},
        {{"decrypt", "00", "11"}, "unexpected argument '11'"},
        {{"encrypt", "--colour", "x"}, "unknown option '--colour'"},
        {{"des", "encrypt", "--key", "SHORT", "f"}, "--key must be 8 characters, not 5"},
        {{"des", "encrypt", "--key", "ABCDEFGHI", "f"}, "--key must be 8 characters, not 9"},
        {{"des", "encrypt", "--triple", "--key", "ABCDEFGH", "--key2", "", "f"}, "--key2 must be 8 characters, not 0"},
        {{"des", "encrypt", "--key", "ABCDEFGH", "--key2", "IJKLMNOP", "f"}, "--key2 needs --triple"},
        {{"des", "encrypt", "f"}, "--key is required"},
        {{"des", "encrypt", "--key"}, "option --key needs a value"},
        {{"des", "shred", "--key", "ABCDEFGH", "f"}, "unknown direction 'shred' (encrypt or decrypt)"},
        {{"des", "decrypt", "--key", "ABCDEFGH", "report.txt"}, "'report.txt' does not end in .DES"},
        {{"des", "decrypt", "--key", "ABCDEFGH", ".DES"}, "'.DES' does not end in .DES"},
        {{"base64", "rot13"}, "unknown direction 'rot13' (encode or decode)"},
        {{"base64"}, "missing argument"},
        {{"once", "--mac", "00:11:22:33:44:55"}, "--server is required"},
        {{"once", "--server", "127.0.0.1"}, "--mac is required"},
        {{"once", "--server", "127.0.0.1", "--mac", "m"}, "--serial is required"},
        {{"once", "--server", "127.0.0.1", "--mac", "m", "--type", "3"}, "invalid value for --type: '3'"},
        {{"once", "--server", "127.0.0.1", "--mac", "m", "--type", "0", "--port", "0"}, "invalid value for --port: '0'"},
        {{"run", "--server", "127.0.0.1", "--mac", "m", "--type", "1", "--device-id", "0xZZ"},
         "invalid value for --device-id: '0xZZ'"},
        {{"getname", "--server", "127.0.0.1", "--mac", "m", "--type", "0", "--offline"}, "unknown option '--offline'"},
        {{"once", "--server", "127.0.0.1", "--mac", "m", "--type", "0", "now"}, "unexpected argument 'now'"},
    };
    for (const UsageCase& c : cases) {
        expect_error(run_tool(c.arguments), kUsage, c.message);
    }
}

TEST(ToolTextCipher, EncryptsAsTheDeviceDoes) {
    for (const std::string text : {"a", "abcdefgh", "abcdefghi", "id=SN0001&mac=00:11:22:33:44:55&port=80&type=0x7"}) {
        const tool_test::ProcessResult result = run_tool({"encrypt", text});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out, server_test::encipher(text) + "\n") << text;
        EXPECT_EQ(result.err, "");
    }
}

TEST(ToolTextCipher, KnownTextUnderTheDefaultKey) {
    if (server_test::configured_key() != "OZU4DDNS27") {
        GTEST_SKIP() << "built with another request key";
    }
    EXPECT_EQ(run_tool({"encrypt", "abcdefg"}).out, "29983eca55f18a00\n");
    EXPECT_EQ(run_tool({"encrypt", "id=SN0001&mac=00:11:22:33:44:55&port=80&type=0x7&status=online"}).out,
              "d755395257e853723847bb899d18ddd72c86df8e4f018d79d7ef1c5a89be4318"
              "c6ff8f6aa38eae03d9df5faa815f76ab674fe29d15d4a0f9937d88c72d2b0c98\n");
}

TEST(ToolTextCipher, DecryptsACapturedQuery) {
    const std::string query = "mymac=00:11:22:33:44:55&myip=192.168.1.64&myhttp=80&mytype=7";
    const std::string hex = server_test::encipher(query);
    EXPECT_EQ(run_tool({"decrypt", hex}).out, query + "\n");
    std::string upper = hex;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const tool_test::ProcessResult result = run_tool({"decrypt", upper});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, query + "\n");
}

TEST(ToolTextCipher, RefusesMalformedInputWithOneLine) {
    const std::vector<UsageCase> cases = {
        {{"decrypt", "abc"}, "ciphertext of 3 hex digits: not whole 16-digit blocks"},
        {{"decrypt", "0123456789abcde"}, "ciphertext of 15 hex digits: not whole 16-digit blocks"},
        {{"decrypt", "0123456789abcdef0"}, "ciphertext of 17 hex digits: not whole 16-digit blocks"},
        {{"decrypt", ""}, "ciphertext of 0 hex digits: not whole 16-digit blocks"},
        {{"decrypt", "0123456789abcdeg"}, "not hexadecimal: 'g' at position 15"},
        {{"decrypt", "01234567 9abcdef"}, "not hexadecimal: ' ' at position 8"},
        {{"decrypt", std::string(8192, 'a')}, "ciphertext longer than 8176 hex digits"},
        {{"encrypt", std::string(4089, 'a')}, "text longer than 4088 characters"},
    };
    for (const UsageCase& c : cases) {
        expect_error(run_tool(c.arguments), kFailure, c.message);
    }
}

struct Base64Case {
    std::string bytes;
    std::string text;
};

TEST(ToolBase64, EncodesStandardInputWithCrLfLines) {
    const std::string line(76, 'A');
    const std::vector<Base64Case> cases = {
        {"", ""},
        {"hello", "aGVsbG8=\r\n"},
        {std::string(57, '\0'), line + "\r\n"},
        {std::string(58, '\0'), line + "\r\nAA==\r\n"},
    };
    for (const Base64Case& c : cases) {
        const tool_test::ProcessResult result = run_tool_with_input({"base64", "encode"}, c.bytes);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out, c.text) << c.bytes.size() << " bytes";
        EXPECT_EQ(result.err, "");
    }
}

TEST(ToolBase64, DecodesCrLfAndLfTextFromStandardInput) {
    const std::vector<Base64Case> cases = {
        {"hello", "aGVsbG8=\r\n"},
        {"hello", "aGVsbG8=\n"},
        {"hello", "aGVsbG8="},
        {std::string(58, '\0'), std::string(76, 'A') + "\nAA==\n"},
        {"", ""},
    };
    for (const Base64Case& c : cases) {
        const tool_test::ProcessResult result = run_tool_with_input({"base64", "decode"}, c.text);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out, c.bytes) << c.text;
    }
}

TEST(ToolBase64, FilesRoundTripEveryByte) {
    const ScratchDirectory scratch;
    const std::string bytes = tool_test::sample_bytes(1000);
    write_file(scratch.path("data.bin"), bytes);
    const tool_test::ProcessResult encoded = run_tool({"base64", "encode", scratch.path("data.bin")});
    ASSERT_EQ(encoded.exit_code, 0);
    write_file(scratch.path("data.b64"), encoded.out);
    const tool_test::ProcessResult decoded = run_tool({"base64", "decode", scratch.path("data.b64")});
    EXPECT_EQ(decoded.exit_code, 0);
    EXPECT_EQ(decoded.out, bytes);
}

TEST(ToolBase64, RefusesTextTheCodecWouldMisread) {
    const std::vector<Base64Case> cases = {
        {"unexpected character at offset 3", "aGV$bG8="},
        {"unexpected character at offset 5", "aGVsb G8="},
        {"unexpected character at offset 2", "aG=sbG8="},
        {"incomplete group at offset 4", "aGVsbG8"},
        {"data after the padding at offset 4", "aG==aGVs"},
    };
    for (const Base64Case& c : cases) {
        expect_error(run_tool_with_input({"base64", "decode"}, c.text), kFailure, "not Base64 text: " + c.bytes);
    }
}

TEST(ToolBase64, MissingFileIsOneLine) {
    expect_error(run_tool({"base64", "encode", "/nonexistent/input"}), kFailure,
                 "cannot open /nonexistent/input: No such file or directory");
}

struct FileCipherCase {
    bool triple;
    std::string key2;
};

// What DES::FileEncrypt itself writes for the same bytes and keys.
std::string file_encrypt_output(const ScratchDirectory& scratch, const std::string& bytes, const FileCipherCase& c) {
    const std::string path = scratch.path("reference.bin");
    write_file(path, bytes);
    const auto des = std::make_unique<DES>();
    des->InitializeKey("K3Y4TEST", false);
    des->InitializeKey(c.key2, true);
    EXPECT_TRUE(des->FileEncrypt(path, c.triple));
    const std::string enciphered = read_file(path + ".DES");
    std::remove((path + ".DES").c_str());
    std::remove(path.c_str());
    return enciphered;
}

TEST(ToolFileCipher, MatchesFileEncryptAndRoundTrips) {
    const std::vector<FileCipherCase> cases = {{false, "K3Y4TEST"}, {true, "K3Y4TEST"}, {true, "OTHERKEY"}};
    for (const FileCipherCase& c : cases) {
        const ScratchDirectory scratch;
        const std::string bytes = tool_test::sample_bytes(1003);
        const std::string input = scratch.path("report.txt");
        write_file(input, bytes);
        const std::string expected = file_encrypt_output(scratch, bytes, c);
        Arguments keys = {"--key", "K3Y4TEST"};
        if (c.triple) {
            keys.insert(keys.end(), {"--triple", "--key2", c.key2});
        }
        Arguments encrypt = {"des", "encrypt"};
        encrypt.insert(encrypt.end(), keys.begin(), keys.end());
        encrypt.push_back(input);
        const tool_test::ProcessResult encrypted = run_tool(encrypt);
        ASSERT_EQ(encrypted.exit_code, 0) << encrypted.err;
        EXPECT_EQ(encrypted.out + encrypted.err, "");
        EXPECT_EQ(read_file(input + ".DES"), expected) << c.triple << " " << c.key2;
        EXPECT_NE(expected.substr(0, 8), bytes.substr(0, 8));

        std::remove(input.c_str());
        Arguments decrypt = {"des", "decrypt"};
        decrypt.insert(decrypt.end(), keys.begin(), keys.end());
        decrypt.push_back(input + ".DES");
        ASSERT_EQ(run_tool(decrypt).exit_code, 0);
        EXPECT_EQ(read_file(input), bytes);
        EXPECT_EQ(scratch.entries(), (std::set<std::string>{"report.txt", "report.txt.DES"}));
    }
}

TEST(ToolFileCipher, ReplacesAnEarlierOutputWhole) {
    const ScratchDirectory scratch;
    const std::string input = scratch.path("short.bin");
    write_file(input, "0123456789");
    write_file(input + ".DES", std::string(4096, 'x'));
    ASSERT_EQ(run_tool({"des", "encrypt", "--key", "K3Y4TEST", input}).exit_code, 0);
    const std::string output = read_file(input + ".DES");
    EXPECT_EQ(output.size(), 10u);
    EXPECT_EQ(output.substr(8), "89");
}

TEST(ToolFileCipher, MissingInputLeavesNothingBehind) {
    const ScratchDirectory scratch;
    const std::string input = scratch.path("absent.bin");
    write_file(scratch.path("kept.bin"), "earlier");
    expect_error(run_tool({"des", "decrypt", "--key", "K3Y4TEST", scratch.path("kept.bin.DES")}), kFailure,
                 "cannot open " + scratch.path("kept.bin.DES") + ": No such file or directory");
    expect_error(run_tool({"des", "encrypt", "--key", "K3Y4TEST", input}), kFailure,
                 "cannot open " + input + ": No such file or directory");
    expect_error(run_tool({"des", "encrypt", "--key", "K3Y4TEST", scratch.path("")}), kFailure,
                 scratch.path("") + " is not a regular file");
    EXPECT_EQ(scratch.entries(), std::set<std::string>{"kept.bin"});
    EXPECT_EQ(read_file(scratch.path("kept.bin")), "earlier");
}

// No command line can carry a NUL byte, so the commands that open files are called directly.
TEST(ToolUsage, FileNameWithANulByteIsRefusedBeforeAnythingIsOpened) {
    const ScratchDirectory scratch;
    write_file(scratch.path("victim"), "nineteen bytes here");
    const std::string path = scratch.path("victim") + std::string(1, '\0') + "zz";
    const std::vector<std::pair<int (*)(const ozu_tool::Words&), Arguments>> calls = {
        {ozu_tool::des_file, {"encrypt", "--key", "K3Y4TEST", path}},
        {ozu_tool::des_file, {"decrypt", "--key", "K3Y4TEST", path + ".DES"}},
        {ozu_tool::base64, {"encode", path}},
    };
    for (const auto& [command, words] : calls) {
        try {
            command(words);
            ADD_FAILURE() << words[0] << ": the name was accepted";
        } catch (const ozu_tool::UsageError& error) {
            EXPECT_STREQ(error.what(), "a file name cannot hold a NUL byte") << words[0];
        }
    }
    EXPECT_EQ(scratch.entries(), std::set<std::string>{"victim"});
    EXPECT_EQ(read_file(scratch.path("victim")), "nineteen bytes here");
}

// Standard error on a terminal: the tool draws its bar there for a large file.
std::string stderr_on_terminal(const std::vector<std::string>& argv) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return "no terminal";
    }
    const std::string terminal = ptsname(master);
    std::vector<std::string> command = {OZU_PROGRAM_LAUNCHER};
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<char*> words;
    for (std::string& word : command) {
        words.push_back(word.data());
    }
    words.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int slave = open(terminal.c_str(), O_RDWR);
        dup2(slave, STDERR_FILENO);
        execvp(words[0], words.data());
        _exit(127);
    }
    std::string written;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    std::array<char, 256> chunk{};
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd readable{master, POLLIN, 0};
        if (poll(&readable, 1, 100) == 1) {
            const ssize_t count = read(master, chunk.data(), chunk.size());
            if (count <= 0) {
                break;  // the child closed the terminal's last open end
            }
            written.append(chunk.data(), static_cast<std::size_t>(count));
        } else if (waitpid(child, nullptr, WNOHANG) == child) {
            close(master);
            return written;
        }
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(master);
    return written;
}

TEST(ToolFileCipher, DrawsProgressOnATerminalOnly) {
    const ScratchDirectory scratch;
    const std::string input = scratch.path("large.bin");
    write_file(input, tool_test::sample_bytes(1 << 20));
    const std::string drawn =
        stderr_on_terminal({OZU_TOOL_PROGRAM, "des", "encrypt", "--key", "K3Y4TEST", input});
    EXPECT_NE(drawn.find("\rlarge.bin [" + std::string(30, '#') + "] 100%"), std::string::npos) << drawn;
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.back(), '\n');
    // A megabyte takes tens of seconds under the ARM emulator.
    const tool_test::ProcessResult piped =
        run_tool({"des", "decrypt", "--key", "K3Y4TEST", input + ".DES"}, std::chrono::seconds(90));
    EXPECT_EQ(piped.exit_code, 0);
    EXPECT_EQ(piped.err, "");
}

}  // namespace
