// The adapter between a DES object and the fast engine: key slots packed for the engine, results into the buffers.
#ifndef OZU_DES_WORD_BLOCKS_H
#define OZU_DES_WORD_BLOCKS_H

#include <array>
#include <cstddef>
#include <string>

#include "des/DES.h"
#include "des/fast_engine.h"

namespace ozu::des {

/* The block engine the DES members run the operations of des/modes.h on. It lives for one
 * operation: a slot's sub-keys are packed on first use and kept here, on the stack, so that the
 * object keeps its layout. */
class WordBlocks {
public:
    explicit WordBlocks(DES& des) : des_(des) {}

    void encrypt(const char* data, std::size_t size, bool slot, bool hex_form);
    void decrypt(const char* data, std::size_t size, bool slot, bool hex_form);
    void encrypt_to_hex(const char* bytes, std::size_t count, const std::string& last, bool slot, char* hex);
    void decrypt_from_hex(const char* hex, std::size_t count, bool slot, char* bytes);
    /* Whole blocks of a file, under the first key or, for triple DES, both. */
    void cipher_in_place(char* bytes, std::size_t count, bool triple, bool decrypting);

private:
    const SubKeys& keys(bool slot);

    DES& des_;
    std::array<SubKeys, 2> keys_{};
    std::array<bool, 2> packed_{};
};

}  // namespace ozu::des

#endif
