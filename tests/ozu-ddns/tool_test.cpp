// ozu-ddns as a program: its mistakes and exit statuses, a round trip through each cipher and codec
// command, and run as a service against a scripted server. The client commands' round trips with
// the reference server are the demo test's (tools/demo.sh).
#include <gtest/gtest.h>
#include <signal.h>
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
#include "ozu_version.h"
#include "support/client_support.h"
#include "support/temp_directory.h"

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
    std::string path(const std::string& name) const { return directory_.path(name); }

    // The tool bounded by timeout(1), as a shell command.
    static std::string command(const Words& words)
    {
        Words argv = {OZU_TOOL_COMMAND};
        argv.insert(argv.end(), words.begin(), words.end());
        std::string command = "timeout 120";
        for (const std::string& word : argv) {
            command += " '" + word + "'";
        }
        return command;
    }

    // The tool with its standard streams in files of the scratch directory.
    Outcome run(const Words& words, const std::string& input = "")
    {
        std::ofstream(path("in"), std::ios::binary) << input;
        const int status =
            std::system((command(words) + " <" + path("in") + " >" + path("out") + " 2>" + path("err")).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(path("out")), read_file(path("err"))};
    }

    // Standard output of a run that must succeed without a word on standard error.
    std::string output_of(const Words& words, const std::string& input = "")
    {
        const auto [status, out, err] = run(words, input);
        EXPECT_EQ(std::make_pair(status, err), std::make_pair(0, std::string()));
        return out;
    }

    TempDirectory directory_;
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
        {{"run", "--server", "s", "--mac", "m", "--type", "3"}, "", 2, "invalid value for --type: '3' (0 to 2)"},
        {{"run", "--config", "/dev/null", "--server", "s", "--serial", "SN000125", "--mac", "m"},
         "",
         2,
         "--ip is required"},
        {{"run", "--type", "0", "--server", "s", "--mac", "m", "--ip", "i", "--interval", "5"},
         "",
         2,
         "run needs --type 2: only it configures the serial, without which the server cannot use the records"},
        {{"run", "--serial", "SN00012345", "--server", "s", "--mac", "m", "--ip", "i"},
         "",
         2,
         "invalid value for --serial: 'SN00012345' (1 to 8 characters)"},
        {{"once", "--type", "0", "--server", "s", "--mac", "m", "--http-port", "81"},
         "",
         2,
         "--http-port is not used with --type 0"},
        {{"once", "--server", "no-such-host.invalid", "--serial", "S", "--mac", "m"},
         "",
         1,
         "cannot resolve 'no-such-host.invalid'"},
        {{"getname", "--server", "127.0.0.1", "--port", "1", "--serial", "S", "--mac", "m"},
         "",
         1,
         "cannot reach 127.0.0.1 port 1: Connection refused"},
        {{"once", "--server", "::1", "--serial", "S", "--mac", "m"},
         "",
         2,
         "--server '::1': an IPv6 address; the library reaches its server over IPv4 only"},
        {{"once", "--server", "127.88.0.9:8080", "--serial", "S", "--mac", "m"},
         "",
         2,
         "--server '127.88.0.9:8080': host:port is not a server name; use --port"},
        {{"run", "--config", "/dev/stdin"},
         "# a device\nserver = s\nsevrer = t\n",
         2,
         "/dev/stdin:3: unknown key 'sevrer'"},
        {{"run", "--config", "/dev/stdin", "--port", "80"},
         "port = 8o\n",
         2,
         "/dev/stdin:1: invalid value for port: '8o' (1 to 65535)"},
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

TEST_F(Tool, GivesItsVersionAndOnlyTheNameOnStandardOutput)
{
    EXPECT_EQ(run({"--version"}), (Outcome{0, "ozu-ddns " OZU_VERSION "\n", ""}));
    // Each run connects twice: once to see that the server is there, once for the lookup.
    const Peer peer(test_address(),
                    std::vector<PeerStep>(4, {Channel::Http, {"HTTP/1.0 200 OK\r\n\r\nSUCC:dev.ddns.test"}}));
    const std::string query = output_of({"encrypt", "mymac=00:11:22:33:44:55&"});
    const Words getname = {
        "getname", "--type", "1", "--server", test_address(), "--port", std::to_string(peer.http_port()),
        "--mac",   kMac};
    EXPECT_EQ(run(getname), (Outcome{0, "dev.ddns.test\n", "DiyDNS Get: /getipbymac.php?do=getsilent&value=" + query}));
    Words to_syslog = getname;
    to_syslog.push_back("--syslog");
    EXPECT_EQ(run(to_syslog), (Outcome{0, "dev.ddns.test\n", ""}));
}

// What a scripted server received, in order: "GET" for an HTTP request, "COMMAND STATUS" for a
// register record; the domain-name thread's records (103) are left out, their timing is its own.
std::vector<std::string> exchanges(Peer& peer, std::size_t count)
{
    std::vector<std::string> seen;
    for (std::size_t asked = count; seen.size() < count && asked < count + 4; ++asked) {
        seen.clear();
        for (const std::string& request : peer.requests(asked)) {
            const int command = request.size() == 432 ? static_cast<unsigned char>(request[0]) : 0;
            if (command != 103) {
                seen.push_back(command == 0 ? request.substr(0, 3) : std::to_string(command) + " " + &request[416]);
            }
        }
    }
    return seen;
}

// The lines the tool itself wrote on standard error, without its "ozu-ddns: " prefix.
std::vector<std::string> own_lines(const std::string& err)
{
    std::vector<std::string> lines;
    std::istringstream stream(err);
    for (std::string line; std::getline(stream, line);) {
        if (line.rfind("ozu-ddns: ", 0) == 0) {
            lines.push_back(line.substr(10));
        }
    }
    return lines;
}

// run in the background with a configuration file whose interval the command line overrides and
// whose serial changes before SIGHUP; each signal goes once the server has seen so many
// exchanges. The server answers every record with the domain given, or none.
TEST_F(Tool, RunIsAServiceThatAnswersSignals)
{
    const std::string raised = "--interval 2 is raised to 300 by the library, its least for --type 2";
    const auto detail = [](const char* serial) {
        return "server " + test_address() + ", serial " + serial + ", interval 300 s";
    };
    const std::string running = "running: SIGTERM or SIGINT stops, SIGHUP reloads, SIGUSR1 updates now";
    struct Case {
        std::string domain;
        std::string verbosity;
        std::vector<std::pair<std::size_t, int>> signals;
        std::vector<std::string> exchanges;
        std::string status;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"ddns.test",
         "--verbose",
         {{2, SIGHUP}, {5, SIGUSR1}, {6, SIGTERM}},
         {"101 online", "102 online", "102 offline", "101 online", "102 online", "GET", "102 offline"},
         "0\n",
         {raised, detail("SN01"), running, "SIGHUP: re-reading the configuration", raised, detail("SN02"),
          "SIGUSR1: online update confirmed", "SIGTERM: stopping after the offline report", "stopped"}},
        {"",
         "--quiet",
         {{2, SIGINT}},
         {"101 online", "102 online", "102 offline"},
         "1\n",
         {"stopped without the server ever confirming the device"}},
    };
    for (const Case& c : cases) {
        std::vector<PeerStep> steps(10, {Channel::Register, {record_with(102, c.domain)}});
        steps.push_back({Channel::Http, {"HTTP/1.0 200 OK\r\n\r\nSUCCESS"}});
        Peer peer(test_address(), steps);
        const auto configure = [&](const char* serial) {
            std::ofstream(path("conf")) << "server = " << test_address() << "\nport = " << peer.http_port()
                                        << "\nserial = " << serial << "\nmac = " << kMac << "\nip = " << kIp
                                        << "\ninterval = 600\npidfile = " << path("pid") << "\n";
        };
        configure("SN01");
        std::system(("(" + command({"run", "--config", path("conf"), "--interval", "2", c.verbosity}) + "; echo $? >" +
                     path("status") + ") >" + path("out") + " 2>" + path("err") + " &")
                        .c_str());
        for (const auto& [count, signal] : c.signals) {
            EXPECT_EQ(exchanges(peer, count).size(), count);
            const pid_t pid = std::atoi(read_file(path("pid")).c_str());
            ASSERT_GT(pid, 0);
            if (signal == SIGHUP) {
                configure("SN02");
            }
            kill(pid, signal);
        }
        EXPECT_EQ(exchanges(peer, c.exchanges.size()), c.exchanges);
        for (int wait = 0; wait < 100 && read_file(path("status")).empty(); ++wait) {
            usleep(100000);
        }
        EXPECT_EQ(read_file(path("status")), c.status);
        EXPECT_EQ(own_lines(read_file(path("err"))), c.said);
        EXPECT_EQ(read_file(path("out")) + (std::filesystem::exists(path("pid")) ? "pid file left" : ""), "");
        std::filesystem::remove(path("status"));
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
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_.path()), {}), 5);
}

}  // namespace
}  // namespace ozu::test
