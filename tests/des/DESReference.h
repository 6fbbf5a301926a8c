#ifndef OZU_DES_REFERENCE_H
#define OZU_DES_REFERENCE_H

/* The block cipher computed on bit strings through the class's own bit-string members, one
 * character per bit. It is the second engine the block tests run over, and what the benchmark
 * measures the word-based path of the class against; it is not part of the library. Each function
 * does what the DES member of the same name does, with the same results in the same buffers. */

#include <string>

#include "des/DES.h"

namespace des_reference {

void EncryptData(DES& des, const std::string& data, bool slot, bool hexForm);
void DecryptData(DES& des, const std::string& data, bool slot, bool hexForm);
void EncryptAnyLength(DES& des, const std::string& text, bool slot);
void TripleEncryptAnyLength(DES& des, const std::string& text);

}  // namespace des_reference

#endif
