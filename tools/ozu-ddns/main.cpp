// ozu-ddns: the library's cipher, codec and DDNS client from the command line, for firmware and
// server engineers.
#include <array>
#include <cstdio>
#include <string>

#include "command_line.h"
#include "commands.h"
#include "messages.h"
#include "ozu_version.h"

namespace {

using ozu::tool::Words;

struct Command {
    const char* name;
    int (*run)(const Words&);
};

constexpr std::array<Command, 7> kCommands = {{{"encrypt", ozu::tool::encrypt_text},
                                               {"decrypt", ozu::tool::decrypt_text},
                                               {"des", ozu::tool::des_file},
                                               {"base64", ozu::tool::base64},
                                               {"once", ozu::tool::update_once},
                                               {"getname", ozu::tool::get_name},
                                               {"run", ozu::tool::run_client}}};

const char kHelp[] =
    "usage: ozu-ddns COMMAND [ARGUMENTS]\n"
    "  encrypt TEXT              the ciphertext text of TEXT under the built-in request key\n"
    "  decrypt HEX               the text of a ciphertext text, e.g. a captured value= query\n"
    "  des encrypt|decrypt --key K [--key2 K2] [--triple] FILE\n"
    "                            encipher FILE into FILE.DES, or decipher FILE.DES into FILE\n"
    "  base64 encode|decode [FILE]\n"
    "                            Base64 from FILE or standard input to standard output\n"
    "  once [--offline] SETTINGS one registration update over HTTP\n"
    "  getname SETTINGS          the device's domain name, asked over HTTP\n"
    "  run SETTINGS              stay registered, as a service, until SIGTERM or SIGINT\n"
    "  --version                 the version of ozu-ddns\n"
    "'ozu-ddns COMMAND --help' describes a command and its SETTINGS.\n"
    "Exit status: 0 success, 1 the operation failed, 2 a usage error.\n";

const Command* find_command(const std::string& name)
{
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

int report(const char* message, int status)
{
    ozu::tool::say(ozu::tool::Weight::Error, message);
    return status;
}

int dispatch(int argc, char** argv)
{
    if (argc < 2) {
        throw ozu::tool::UsageError("no command given (see ozu-ddns --help)");
    }
    const std::string name = argv[1];
    if (name == "--help") {
        std::fputs(kHelp, stdout);
        return ozu::tool::kExitSuccess;
    }
    if (name == "--version") {
        std::printf("ozu-ddns %s\n", OZU_VERSION);
        return ozu::tool::kExitSuccess;
    }
    const Command* command = find_command(name);
    if (command == nullptr) {
        throw ozu::tool::UsageError("unknown command '" + name + "' (see ozu-ddns --help)");
    }
    return command->run(Words(argv + 2, argv + argc));
}

}  // namespace

int main(int argc, char** argv)
{
    // Line by line even into a pipe, so that the library's messages reach the log as they come.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        return dispatch(argc, argv);
    } catch (const ozu::tool::UsageError& error) {
        return report(error.what(), ozu::tool::kExitUsage);
    } catch (const ozu::tool::Failure& error) {
        return report(error.what(), ozu::tool::kExitFailure);
    } catch (const std::exception& error) {
        return report(error.what(), ozu::tool::kExitFailure);
    }
}
