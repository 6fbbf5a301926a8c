#include "query_cipher.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <memory>

#include "ddns/encrypt_key.h"
#include "des/DES.h"

namespace ozu::server {
namespace {

bool is_ciphertext_text(const std::string& hex)
{
    return !hex.empty() && hex.size() % kBlockDigits == 0 && hex.size() <= kMaxBlocks * kBlockDigits &&
           std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

}  // namespace

std::optional<std::string> decipher_text(const std::string& hex)
{
    if (!is_ciphertext_text(hex)) {
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
