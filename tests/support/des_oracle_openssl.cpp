// The oracle's part that needs OpenSSL's DES.
#include <openssl/des.h>

#include "support/des_oracle.h"

namespace ozu::test {
namespace {

// In place; the key's first 8 bytes count.
std::uint64_t standard_des(std::string key, std::uint64_t block, int direction)
{
    DES_key_schedule schedule;
    DES_set_key_unchecked(reinterpret_cast<DES_cblock*>(key.data()), &schedule);
    std::string bytes = bytes_of(block);
    auto* data = reinterpret_cast<DES_cblock*>(bytes.data());
    DES_ecb_encrypt(data, data, &schedule, direction);
    return block_of(bytes);
}

}  // namespace

std::uint64_t oracle_encrypt(const std::string& key, std::uint64_t block)
{
    return exchange_halves_under_ip(standard_des(key, block, DES_ENCRYPT));
}

std::uint64_t oracle_decrypt(const std::string& key, std::uint64_t block)
{
    return standard_des(key, exchange_halves_under_ip(block), DES_DECRYPT);
}

}  // namespace ozu::test
