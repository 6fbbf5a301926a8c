// Deciphers arbitrary text, once or as triple DES. Whatever the text, the object must stay
// inside its own buffers (it is allocated exactly, so ASan sees any write past it) and leave a
// terminated plaintext; a text that is not whole 16-digit blocks gets the error sentence.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "cipher_input.h"
#include "des/DES.h"

namespace {

using namespace ozu::fuzz;

constexpr char kBadCiphertextText[] = "Please enter your correct cipertext!";
constexpr std::size_t kHexBlockChars = 16;

bool is_whole_blocks(std::size_t length)
{
    return length >= kHexBlockChars && length % kHexBlockChars == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<CipherInput> input = read_cipher_input(data, size);
    if (!input) {
        return 0;
    }
    const auto des = keyed_des(*input);
    decipher(*des, input->mode, input->text);

    const char* plaintext = des->GetPlaintextAnyLength();
    require(std::memchr(plaintext, '\0', kPlaintextCapacity) != nullptr);
    require(std::memchr(des->GetCiphertextAnyLength(), '\0', kCiphertextCapacity) != nullptr);
    // With two different keys the refused text is enciphered and deciphered again into noise.
    if (!is_whole_blocks(input->text.size()) && input->mode != CipherMode::TripleTwoKeys) {
        require(std::strcmp(plaintext, kBadCiphertextText) == 0);
    }
    return 0;
}
