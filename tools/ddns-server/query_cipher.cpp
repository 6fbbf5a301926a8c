#include "query_cipher.h"

#include <cctype>
#include <cstddef>
#include <memory>

#include "ddns/encrypt_key.h"
#include "des/DES.h"

namespace ozu::server {

std::optional<std::string> ciphertext_problem(const std::string& hex)
{
    for (std::size_t i = 0; i < hex.size(); ++i) {
        if (std::isxdigit(static_cast<unsigned char>(hex[i])) == 0) {
            return "not hexadecimal: '" + hex.substr(i, 1) + "' at position " + std::to_string(i);
        }
    }
    if (hex.empty() || hex.size() % kBlockDigits != 0) {
        return "ciphertext of " + std::to_string(hex.size()) + " hex digits: not whole 16-digit blocks";
    }
    if (hex.size() > kMaxBlocks * kBlockDigits) {
        return "ciphertext longer than " + std::to_string(kMaxBlocks * kBlockDigits) + " hex digits";
    }
    return std::nullopt;
}

std::optional<std::string> decipher_text(const std::string& hex)
{
    if (ciphertext_problem(hex)) {
        return std::nullopt;
    }
    const std::string key = ozu::ddns::built_in_key();
    auto des = std::make_unique<DES>();  // about 14 KiB of buffers: keep it off the thread's stack
    des->InitializeKey(key, false);
    des->InitializeKey(key, true);
    des->TripleDecryptAnyLength(hex);
    return std::string(des->GetPlaintextAnyLength());
}

}  // namespace ozu::server
