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

// The plain text of a ciphertext text (16 hex digits per block, '$' padding removed);
// nullopt when the text is empty, not whole blocks, too long or not hexadecimal.
std::optional<std::string> decipher_text(const std::string& hex);

}  // namespace ozu::server

#endif
