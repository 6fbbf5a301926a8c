// Deciphers one block from arbitrary input, as hexadecimal text or raw bytes, with either key slot
// or as triple DES. Only the block buffers may change, and enciphering the result again must give
// back the block that was read: the first 16 hexadecimal digits of the text in lower case, zeros
// after fewer, or the first 8 bytes, zero bytes after fewer.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cipher_input.h"
#include "des/DES.h"
#include "object_bytes.h"

namespace {

using namespace ozu::fuzz;

constexpr std::size_t kHexBlockChars = 16;
constexpr std::size_t kBlockBytes = 8;
constexpr std::uint8_t kHexFormBit = 0x04;

std::string hex_block_read(const std::string& text)
{
    std::string digits;
    for (const char c : text) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (digits.size() < kHexBlockChars && std::isxdigit(static_cast<unsigned char>(lower))) {
            digits += lower;
        }
    }
    digits.resize(kHexBlockChars, '0');
    return digits;
}

std::string raw_block_read(const std::string& text)
{
    std::string block = text.substr(0, kBlockBytes);
    block.resize(kBlockBytes, '\0');
    return block;
}

void decipher_block(DES& des, CipherMode mode, const std::string& text, bool hexForm)
{
    if (is_triple(mode)) {
        des.TripleDecrypt(text, hexForm);
    } else {
        des.DecryptData(text, slot_of(mode), hexForm);
    }
}

void encipher_block(DES& des, CipherMode mode, const std::string& block, bool hexForm)
{
    if (is_triple(mode)) {
        des.TripleEncrypt(block, hexForm);
    } else {
        des.EncryptData(block, slot_of(mode), hexForm);
    }
}

// Everything outside the two block buffers is as it was.
void check_only_block_buffers_changed(DES& des, std::vector<char> before)
{
    std::vector<char> after = object_bytes(des);
    for (const auto& [member, width] : {std::pair{des.GetCiphertext(), kHexBlockChars},
                                          std::pair{des.GetPlaintext(), kBlockBytes}}) {
        const std::size_t offset = offset_in(des, member);
        std::fill_n(before.begin() + offset, width, '\0');
        std::fill_n(after.begin() + offset, width, '\0');
    }
    require(before == after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<CipherInput> input = read_cipher_input(data, size);
    if (!input) {
        return 0;
    }
    const bool hexForm = (data[0] & kHexFormBit) != 0;
    const auto des = keyed_des(*input);
    const std::vector<char> before = object_bytes(*des);
    decipher_block(*des, input->mode, input->text, hexForm);
    check_only_block_buffers_changed(*des, before);

    const std::string plaintext(des->GetPlaintext(), kBlockBytes);
    encipher_block(*des, input->mode, plaintext, hexForm);
    if (hexForm) {
        require(std::string(des->GetCiphertext(), kHexBlockChars) == hex_block_read(input->text));
    } else {
        require(std::string(des->GetCiphertext(), kBlockBytes) == raw_block_read(input->text));
    }
    return 0;
}
