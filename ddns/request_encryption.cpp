#include <cstddef>
#include <cstring>
#include <string>

#include "ddns/encrypt_key.h"
#include "ddns/ozu_dnsupdate_module.h"
#include "des/DES.h"

namespace {

// The cipher's message buffers hold 511 blocks of 8 characters.
constexpr std::size_t kMaxPlainLength = 511 * 8;

}  // namespace

int EncryptString(const char* in, char* out)
{
    // Texts beyond the cipher's buffers are refused rather than overrun them.
    if (in == nullptr || std::strlen(in) > kMaxPlainLength) {
        return 1;
    }
    const std::string key = ozu::ddns::built_in_key();
    DES cipher;
    cipher.InitializeKey(key, false);
    cipher.InitializeKey(key, true);
    cipher.TripleEncryptAnyLength(in);
    const char* ciphertext = cipher.GetCiphertextAnyLength();
    const std::size_t length = std::strlen(ciphertext);
    if (length == 0) {
        return 1;
    }
    std::memcpy(out, ciphertext, length + 1);
    return 0;
}
