// The bit-string reference path of the block cipher, for the tests and the benchmark.
#ifndef OZU_TEST_DES_REFERENCE_H
#define OZU_TEST_DES_REFERENCE_H

/* The block cipher computed on bit strings through the class's own bit-string members, one
 * character per bit. It is the second engine the block tests run over, and what the benchmark
 * measures the word-based path of the class against; it is not part of the library. encrypt_data
 * does what DES::EncryptData does, with the same results in the same buffers, and so do the others. */

#include <string>

#include "des/DES.h"

namespace ozu::test::reference {

void encrypt_data(DES& des, const std::string& data, bool slot, bool hex_form);
void decrypt_data(DES& des, const std::string& data, bool slot, bool hex_form);
void encrypt_any_length(DES& des, const std::string& text, bool slot);
void triple_encrypt_any_length(DES& des, const std::string& text);

}  // namespace ozu::test::reference

#endif
