// Deciphers the texts a device sends enciphered: the type-1 "value=" and type-2
// "encrypt=" queries and four fields of the register record.
#ifndef OZU_REF_QUERY_CIPHER_H
#define OZU_REF_QUERY_CIPHER_H

#include <optional>
#include <string>

namespace ozu_ref {

// The plain text of a ciphertext text (16 hex digits per block, '$' padding removed);
// nullopt when the text is empty, not whole blocks, too long or not hexadecimal.
std::optional<std::string> decipher_text(const std::string& hex);

}  // namespace ozu_ref

#endif
