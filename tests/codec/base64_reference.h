// The Base64 codec as it was before its table-driven rewrite, kept for the equivalence test only.
#ifndef OZU_TESTS_CODEC_BASE64_REFERENCE_H
#define OZU_TESTS_CODEC_BASE64_REFERENCE_H

#include <string>

namespace ozu::test::reference {

int base64_encode(const unsigned char* bytes, int count, std::string& out);
int base64_decode(const char* text, int length, unsigned char* out);

}  // namespace ozu::test::reference

#endif
