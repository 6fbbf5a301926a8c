#include <array>
#include <cstddef>
#include <cstring>
#include <string>

#include "ddns/encrypt_key.h"
#include "ddns/ozu_dnsupdate_module.h"
#include "des/DES.h"

namespace {

constexpr std::size_t kKeyLength = 10;

// The cipher's message buffers hold 511 blocks of 8 characters.
constexpr std::size_t kMaxPlainLength = 511 * 8;

// Built from its indices at run time, so that the key text never stands in the library.
std::array<char, 256> built_in_key()
{
    std::array<char, 256> key{};
    for (std::size_t i = 0; i < kKeyLength; ++i) {
        key[i] = g_cKeyAlphabet[g_iEncryptKey[i]];
    }
    return key;
}

}  // namespace

int EncryptString(const char* in, char* out)
{
    // Texts beyond the cipher's buffers are refused rather than overrun them.
    if (in == nullptr || std::strlen(in) > kMaxPlainLength) {
        return 1;
    }
    const std::string plain(in);
    const std::array<char, 256> key = built_in_key();
    const std::string key_text(key.data(), kKeyLength);

    DES cipher;
    cipher.InitializeKey(key_text, false);
    cipher.InitializeKey(key_text, true);
    cipher.TripleEncryptAnyLength(plain);
    const std::string ciphertext(cipher.GetCiphertextAnyLength());
    if (ciphertext.empty()) {
        return 1;
    }
    std::memcpy(out, ciphertext.c_str(), ciphertext.size() + 1);
    return 0;
}
