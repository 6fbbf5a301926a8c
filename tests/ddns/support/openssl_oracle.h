// An independent reference for the request ciphertext, built on OpenSSL's DES.
#ifndef OZU_TEST_OPENSSL_ORACLE_H
#define OZU_TEST_OPENSSL_ORACLE_H

#include <string>

namespace ozu_test {

// Lower-case hexadecimal ECB ciphertext of plain padded with '$' to whole 8-character blocks,
// under the first eight characters of key, with the library's block cipher: standard DES except
// that the halves are not exchanged after the last round.
std::string oracle_ciphertext(const std::string& key, const std::string& plain);

}  // namespace ozu_test

#endif
