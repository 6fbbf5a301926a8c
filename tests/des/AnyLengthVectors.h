#ifndef OZU_TESTS_DES_ANY_LENGTH_VECTORS_H
#define OZU_TESTS_DES_ANY_LENGTH_VECTORS_H

/* Whole-message ciphertexts: each block is standard DES of the '$'-padded block, with the halves
 * exchanged under IP (checked against OpenSSL by the oracle test). */

namespace des_test {

struct AnyLengthVector {
    const char* key;
    const char* message;
    const char* ciphertext;
};

inline constexpr AnyLengthVector kAnyLengthVectors[] = {
    {"12345678", "abcdefg", "1ed52b8ebc885bab"},
    {"12345678", "abcdefgh", "68e88397c37a7963"},
    {"DDNSKEY1", "abcdefghi", "21add93d1bf210ac1231b2fb9b5d4651"},
    {"12345678", "", "3eba6a5647ff406e"},
    {"k3y!k3y!", "id=SN0001&mac=00:11:22:33:44:55&port=80&type=0x1",
     "5a173a168efd139c0d1cf04f0892741f3b3b1521e0f6de5344fec2b7d06df664ab9c62fa79875275a61d64cd24e9b866"},
    {"abcdefghij", "a", "17ca5d3411090d44"},
};

}  // namespace des_test

#endif
