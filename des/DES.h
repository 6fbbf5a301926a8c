// The DES class the library exports: bit-string members, two key slots, result buffers, my_itoa.
#ifndef OZU_DES_H
#define OZU_DES_H

#include <string>

#include "ozu_export.h"

namespace ozu {
namespace des {
class WordBlocks;
}
}  // namespace ozu

/* Works on bits held as '0'/'1' characters, each byte's top bit first. The last
 * round leaves the halves where they are, so results are not standard DES's. */
class OZU_API DES {
public:
    /* Clears the key slots and the result buffers. */
    DES();
    ~DES();

    std::string HexCharToBinary(char c);
    std::string HexIntToBinary(int value);
    int SingleCharToBinary(char c);
    char SingleBinaryToChar(int value);
    void TranslateBytes2Bits(std::string bytes, char* bits);
    void TranslateBits2Bytes(char* bits, char* bytes);
    std::string BinaryToString(char* bits, int count, bool hex_form);

    void InitializeKey(std::string key, bool slot);
    void CreateSubKey(char* key56, char (*sub_keys)[48]);

    void EncryptData(std::string data, bool slot, bool hex_form);
    void DecryptData(std::string data, bool slot, bool hex_form);
    void InitialPermuteData(std::string data, char* bits, bool raw_bytes);
    void FunctionF(char* left, char* right, bool slot, int round);
    void ExpansionR(char* right, char* expanded);
    void XOR(char* a, char* b, int count, char* out);
    std::string CompressFuncS(char* input48);
    void PermutationP(std::string input32, char* out);

    void SetCiphertext(char* source);
    char* GetCiphertext();
    void SetPlaintext(char* source);
    char* GetPlaintext();
    char* GetCiphertextAnyLength();
    char* GetPlaintextAnyLength();
    std::string FillToEightBits(std::string text);
    void CleanPlaintextMark(int count);
    void EncryptAnyLength(std::string text, bool slot);
    void DecryptAnyLength(std::string text, bool slot);

    void TripleEncrypt(std::string block, bool hex_form);
    void TripleDecrypt(std::string block, bool hex_form);
    void TripleEncryptAnyLength(std::string text);
    void TripleDecryptAnyLength(std::string text);

    bool FileEncrypt(std::string path, bool triple);
    bool FileDecrypt(std::string path, bool triple);

private:
    // The library's word engine reads the key slots directly.
    friend class ozu::des::WordBlocks;

    char m_cSubKey[2][16][48];
    char m_cCiphertext[16];
    char m_cPlaintext[8];
    char m_cCiphertextAnyLength[8192];
    char m_cPlaintextAnyLength[4096];
};

/* Formats value with "%x" for radix 16 and "%d" otherwise; returns the characters written. */
OZU_API int my_itoa(unsigned long value, char* buffer, unsigned int radix);

#endif
