#include "support/ciphertext.h"

#include "des/DES.h"

namespace ozu_test {

std::string expected_ciphertext(const std::string& plain)
{
    // With one key in both slots, triple encryption reduces to one pass under that key.
    DES cipher;
    cipher.InitializeKey(OZU_TEST_DDNS_KEY, false);
    cipher.EncryptAnyLength(plain, false);
    return cipher.GetCiphertextAnyLength();
}

}  // namespace ozu_test
