// Deciphers the texts a device sends enciphered: the type-1 "value=" and type-2
// "encrypt=" queries and four fields of the register record.
#ifndef OZU_SERVER_QUERY_CIPHER_H
#define OZU_SERVER_QUERY_CIPHER_H

#include <cstddef>
#include <optional>
#include <string>

namespace ozu::server {

// 16 hexadecimal digits encipher a block of 8 characters; the cipher's message buffers hold
// 511 blocks.
inline constexpr std::size_t kBlockCharacters = 8;
inline constexpr std::size_t kBlockDigits = 16;
inline constexpr std::size_t kMaxBlocks = 511;

// Why hex is no ciphertext text the cipher can take (not hexadecimal, not whole blocks, too
// long), or nullopt when it is one.
std::optional<std::string> ciphertext_problem(const std::string& hex);

// The plain text of a ciphertext text ('$' padding removed); nullopt when it has a problem.
std::optional<std::string> decipher_text(const std::string& hex);

}  // namespace ozu::server

#endif
