// One block deciphered from arbitrary input, as hex text or raw bytes (bit 2 of the mode byte), in either slot
// or as triple DES. Only the block buffers may change, and enciphering the result again gives back the block
// that was read: the first 16 hex digits of the text in lower case, zeros after fewer; or its first 8 bytes,
// zero bytes after fewer.
#include "fuzz_harness.h"

#include <algorithm>
#include <cctype>

namespace {

std::string block_read(const std::string& text, bool hex_form)
{
    std::string block;
    for (const char c : text) {
        if (!hex_form || std::isxdigit(static_cast<unsigned char>(c))) {
            block += static_cast<char>(hex_form ? std::tolower(static_cast<unsigned char>(c)) : c);
        }
    }
    block.resize(hex_form ? 16 : 8, hex_form ? '0' : '\0');
    return block;
}

// The object's bytes with its two block buffers blanked out.
std::vector<char> outside_block_buffers(DES& des)
{
    std::vector<char> bytes = ozu::test::object_bytes(des);
    const char* base = reinterpret_cast<const char*>(&des);
    std::fill_n(bytes.begin() + (des.GetCiphertext() - base), 16, '\0');
    std::fill_n(bytes.begin() + (des.GetPlaintext() - base), 8, '\0');
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using ozu::test::require;
    if (size < ozu::test::CipherInput::kHeaderBytes) {
        return 0;
    }
    const ozu::test::CipherInput input(data, size);
    const bool hex_form = (data[0] & 4) != 0;
    DES& des = *input.des;
    const std::vector<char> before = outside_block_buffers(des);
    input.triple ? des.TripleDecrypt(input.text, hex_form) : des.DecryptData(input.text, input.slot, hex_form);
    require(outside_block_buffers(des) == before);
    const std::string plaintext(des.GetPlaintext(), 8);
    input.triple ? des.TripleEncrypt(plaintext, hex_form) : des.EncryptData(plaintext, input.slot, hex_form);
    require(std::string(des.GetCiphertext(), hex_form ? 16 : 8) == block_read(input.text, hex_form));
    return 0;
}
