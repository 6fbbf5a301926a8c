// Enciphers arbitrary text, once or as triple DES. Every text must leave a terminated ciphertext
// inside the object; a text message (no NUL, not ending in '$', at most 4088 characters) must
// come back unchanged when its ciphertext is deciphered with the same keys, with two different
// keys too, since triple DES carries its middle texts whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "cipher_input.h"
#include "des/DES.h"

namespace {

using namespace ozu::fuzz;

constexpr std::size_t kMaxMessageChars = 4088;
constexpr std::size_t kBlockChars = 8;
constexpr std::size_t kHexBlockChars = 16;
constexpr char kPaddingMark = '$';

bool is_text_message(const std::string& text)
{
    return text.size() <= kMaxMessageChars && text.find('\0') == std::string::npos &&
           (text.empty() || text.back() != kPaddingMark);
}

// The empty message still gives one block.
std::size_t ciphertext_length(std::size_t messageLength)
{
    return std::max<std::size_t>(1, (messageLength + kBlockChars - 1) / kBlockChars) * kHexBlockChars;
}

bool is_lower_hex(const std::string& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

void encipher(DES& des, CipherMode mode, const std::string& text)
{
    if (is_triple(mode)) {
        des.TripleEncryptAnyLength(text);
    } else {
        des.EncryptAnyLength(text, slot_of(mode));
    }
}

// With one key in both slots, triple DES must encipher exactly as single DES with that key.
void check_one_key_triple(const CipherInput& input, const std::string& ciphertext)
{
    const auto single = std::make_unique<DES>();
    single->InitializeKey(input.firstKey, false);
    single->EncryptAnyLength(input.text, false);
    require(ciphertext == single->GetCiphertextAnyLength());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<CipherInput> input = read_cipher_input(data, size);
    if (!input) {
        return 0;
    }
    const auto des = keyed_des(*input);
    encipher(*des, input->mode, input->text);
    require(std::memchr(des->GetCiphertextAnyLength(), '\0', kCiphertextCapacity) != nullptr);
    if (!is_text_message(input->text)) {
        return 0;
    }

    const std::string ciphertext = des->GetCiphertextAnyLength();
    require(ciphertext.size() == ciphertext_length(input->text.size()));
    require(is_lower_hex(ciphertext));
    if (input->mode == CipherMode::TripleOneKey) {
        check_one_key_triple(*input, ciphertext);
    }
    decipher(*des, input->mode, ciphertext);
    require(input->text == des->GetPlaintextAnyLength());
    return 0;
}
