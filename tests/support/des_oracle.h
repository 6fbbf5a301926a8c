// Expected ciphertexts of the library's DES, built without the library: the library's block
// cipher is standard DES except that it does not exchange the halves before the final
// permutation, so undoing IP, exchanging the halves and redoing IP maps one cipher's output to
// the other's (the map is its own inverse).
#ifndef OZU_TEST_DES_ORACLE_H
#define OZU_TEST_DES_ORACLE_H

#include <cstdint>
#include <string>

namespace ozu::test {

// A block as a number: the first byte is the most significant.
std::uint64_t block_of(const std::string& eight_bytes);
std::string bytes_of(std::uint64_t block);
std::string hex_of(const std::string& bytes);

// Standard DES output <-> the library's output for the same key and block.
std::uint64_t exchange_halves_under_ip(std::uint64_t block);

// Only where OpenSSL was found (OZU_TEST_OPENSSL is defined for the users of this module then):
// the library's cipher computed with OpenSSL's DES; the key is its first 8 bytes.
std::uint64_t oracle_encrypt(const std::string& key, std::uint64_t block);
std::uint64_t oracle_decrypt(const std::string& key, std::uint64_t block);

// Lower-case hexadecimal ECB ciphertext of text padded with '$' to whole blocks.
std::string oracle_ciphertext(const std::string& key, const std::string& text);

}  // namespace ozu::test

#endif
