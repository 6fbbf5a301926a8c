// encrypt / decrypt: the ciphertext text of the request encryption under the built-in key.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "ddns/ozu_dnsupdate_module.h"
#include "query_cipher.h"

namespace ozu::tool {
namespace {

using server::kBlockCharacters;
using server::kBlockDigits;
using server::kMaxBlocks;

const char kEncryptHelp[] =
    "usage: ozu-ddns encrypt TEXT\n"
    "Prints the ciphertext text of TEXT under the built-in request key, as the device sends it\n"
    "in a value= or encrypt= query: 16 lower-case hex digits per started 8 characters.\n";

const char kDecryptHelp[] =
    "usage: ozu-ddns decrypt HEX\n"
    "Prints the text of a ciphertext text enciphered under the built-in request key, such as a\n"
    "captured value= or encrypt= query (whole 16-digit blocks, digits of either case).\n";

}  // namespace

int encrypt_text(const Words& words)
{
    const std::optional<Arguments> arguments = parse_command(words, {}, 1, 1, kEncryptHelp);
    if (!arguments) {
        return kExitSuccess;
    }
    const std::string& text = arguments->operands[0];
    if (text.size() > kMaxBlocks * kBlockCharacters) {
        throw Failure("text longer than " + std::to_string(kMaxBlocks * kBlockCharacters) + " characters");
    }
    // The empty text still takes one block.
    const std::size_t blocks = text.empty() ? 1 : (text.size() + kBlockCharacters - 1) / kBlockCharacters;
    std::vector<char> ciphertext(blocks * kBlockDigits + 1, '\0');
    if (EncryptString(text.c_str(), ciphertext.data()) != 0) {
        throw Failure("the text could not be encrypted");
    }
    std::printf("%s\n", ciphertext.data());
    return kExitSuccess;
}

int decrypt_text(const Words& words)
{
    const std::optional<Arguments> arguments = parse_command(words, {}, 1, 1, kDecryptHelp);
    if (!arguments) {
        return kExitSuccess;
    }
    const std::string& hex = arguments->operands[0];
    if (const std::optional<std::string> problem = server::ciphertext_problem(hex)) {
        throw Failure(*problem);
    }
    const std::optional<std::string> text = server::decipher_text(hex);
    if (!text) {
        throw Failure("the ciphertext could not be deciphered");
    }
    std::printf("%s\n", text->c_str());
    return kExitSuccess;
}

}  // namespace ozu::tool
