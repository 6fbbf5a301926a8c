// The ciphertext text the client must send for a query, made with the exported DES class and
// the built-in key's text (a compile definition of the tests only).
#ifndef OZU_TEST_CIPHERTEXT_H
#define OZU_TEST_CIPHERTEXT_H

#include <string>

namespace ozu_test {

std::string expected_ciphertext(const std::string& plain);

}  // namespace ozu_test

#endif
