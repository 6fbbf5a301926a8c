// Arbitrary text enciphered, once or as triple DES, leaves a terminated ciphertext inside the object. A text
// message (no NUL, not ending in '$', at most 4088 characters) gives 16 lower-case hex digits per started
// block (one block when empty), the same as single DES when triple DES has one key, and comes back when
// deciphered, with two different keys too, since triple DES carries its middle texts whole.
#include "fuzz_harness.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using ozu::test::require;
    if (size < ozu::test::CipherInput::kHeaderBytes) {
        return 0;
    }
    const ozu::test::CipherInput input(data, size);
    const std::string& text = input.text;
    DES& des = *input.des;
    input.triple ? des.TripleEncryptAnyLength(text) : des.EncryptAnyLength(text, input.slot);
    require(std::memchr(des.GetCiphertextAnyLength(), '\0', 8192) != nullptr);
    if (text.size() > 4088 || text.find('\0') != std::string::npos || (!text.empty() && text.back() == '$')) {
        return 0;
    }
    const std::string ciphertext = des.GetCiphertextAnyLength();
    require(ciphertext.size() == std::max<std::size_t>(1, (text.size() + 7) / 8) * 16);
    require(ciphertext.find_first_not_of("0123456789abcdef") == std::string::npos);
    if (input.mode == input.TripleOneKey) {
        des.EncryptAnyLength(text, false);
        require(ciphertext == des.GetCiphertextAnyLength());
    }
    input.triple ? des.TripleDecryptAnyLength(ciphertext) : des.DecryptAnyLength(ciphertext, input.slot);
    require(text == des.GetPlaintextAnyLength());
    return 0;
}
