// The adapter between a DES object and the fast engine: key slots packed for the engine, results into the buffers.
#include "des/word_blocks.h"

#include <algorithm>
#include <cstdint>

#include "des/block_support.h"

namespace ozu::des {

const SubKeys& WordBlocks::keys(bool slot)
{
    const int index = slot ? 1 : 0;
    if (!packed_[index]) {
        keys_[index] = pack_sub_keys(des_.m_cSubKey[index]);
        packed_[index] = true;
    }
    return keys_[index];
}

void WordBlocks::encrypt(const char* data, std::size_t size, bool slot, bool hex_form)
{
    const std::uint64_t result = encrypt_block(keys(slot), load_text_block(data, size));
    char* ciphertext = des_.GetCiphertext();
    if (hex_form) {
        write_hex_block(result, ciphertext);
    } else {
        store_block(result, reinterpret_cast<unsigned char*>(ciphertext));
        // The unused second half is cleared rather than left holding an older result.
        std::fill_n(ciphertext + kBlockBytes, kBlockBytes, '\0');
    }
}

void WordBlocks::decrypt(const char* data, std::size_t size, bool slot, bool hex_form)
{
    const std::uint64_t block = hex_form ? read_hex_block(data, size) : load_text_block(data, size);
    store_block(decrypt_block(keys(slot), block), reinterpret_cast<unsigned char*>(des_.GetPlaintext()));
}

void WordBlocks::encrypt_to_hex(const char* bytes, std::size_t count, bool slot, char* hex)
{
    const SubKeys& slot_keys = keys(slot);
    std::size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        std::uint64_t a = load_text_block(bytes + i * kBlockBytes, kBlockBytes);
        std::uint64_t b = load_text_block(bytes + (i + 1) * kBlockBytes, kBlockBytes);
        encrypt_block_pair(slot_keys, a, b);
        write_hex_block(a, hex + i * kHexBlockChars);
        write_hex_block(b, hex + (i + 1) * kHexBlockChars);
    }
    if (i < count) {
        write_hex_block(encrypt_block(slot_keys, load_text_block(bytes + i * kBlockBytes, kBlockBytes)),
                        hex + i * kHexBlockChars);
    }
}

void WordBlocks::decrypt_from_hex(const char* hex, std::size_t count, bool slot, char* bytes)
{
    const SubKeys& slot_keys = keys(slot);
    auto* out = reinterpret_cast<unsigned char*>(bytes);
    std::size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        std::uint64_t a = read_hex_block(hex + i * kHexBlockChars, kHexBlockChars);
        std::uint64_t b = read_hex_block(hex + (i + 1) * kHexBlockChars, kHexBlockChars);
        decrypt_block_pair(slot_keys, a, b);
        store_block(a, out + i * kBlockBytes);
        store_block(b, out + (i + 1) * kBlockBytes);
    }
    if (i < count) {
        store_block(decrypt_block(slot_keys, read_hex_block(hex + i * kHexBlockChars, kHexBlockChars)),
                    out + i * kBlockBytes);
    }
}

void WordBlocks::cipher_in_place(char* bytes, std::size_t count, bool triple, bool decrypting)
{
    auto* blocks = reinterpret_cast<unsigned char*>(bytes);
    if (triple) {
        (decrypting ? triple_decrypt_blocks : triple_encrypt_blocks)(keys(false), keys(true), blocks, blocks, count);
    } else {
        (decrypting ? decrypt_blocks : encrypt_blocks)(keys(false), blocks, blocks, count);
    }
}

}  // namespace ozu::des
