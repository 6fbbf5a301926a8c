#ifndef OZU_DES_REFERENCE_H
#define OZU_DES_REFERENCE_H

/* The block cipher computed on bit strings through the class's own bit-string members, one
 * character per bit, and every operation built on it. It is the reference that the word-based path
 * of the class is checked and measured against; it is not part of the library. Each function does
 * what the DES member of the same name does, with the same results in the same buffers. */

#include "des/DES.h"

#include <string>

namespace des_reference {

void EncryptData(DES& des, const std::string& data, bool slot, bool hexForm);
void DecryptData(DES& des, const std::string& data, bool slot, bool hexForm);
void EncryptAnyLength(DES& des, const std::string& text, bool slot);
void DecryptAnyLength(DES& des, const std::string& text, bool slot);
void TripleEncrypt(DES& des, const std::string& block, bool hexForm);
void TripleDecrypt(DES& des, const std::string& block, bool hexForm);
void TripleEncryptAnyLength(DES& des, const std::string& text);
void TripleDecryptAnyLength(DES& des, const std::string& text);
bool FileEncrypt(DES& des, const std::string& path, bool triple);
bool FileDecrypt(DES& des, const std::string& path, bool triple);

}  // namespace des_reference

#endif
