// The adapter between a DES object and the fast engine: key slots packed for the engine, results into the buffers.
#include "des/word_blocks.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "des/block_support.h"

namespace ozu::des {

namespace {

// Blocks first to first + N - 1 through one call of the engine.
template <std::size_t N, typename Load, typename Store>
void cipher_group(void (*cipher)(const SubKeys&, std::array<std::uint64_t, N>&), const SubKeys& keys, std::size_t first,
                  Load& load, Store& store)
{
    std::array<std::uint64_t, N> blocks;
    for (std::size_t i = 0; i < N; ++i) {
        blocks[i] = load(first + i);
    }
    cipher(keys, blocks);
    for (std::size_t i = 0; i < N; ++i) {
        store(first + i, blocks[i]);
    }
}

/* Blocks i = 0 .. count-1 from load(i) to store(i, block), two at a time so that the engine can
 * interleave them, and the last three together when the count is odd; a lone block goes alone. */
template <typename Load, typename Store>
void cipher_in_groups(const SubKeys& keys, bool decrypting, std::size_t count, Load load, Store store)
{
    if (count == 1) {
        store(0, (decrypting ? decrypt_block : encrypt_block)(keys, load(0)));
        return;
    }
    const std::size_t pairs_end = count % 2 == 0 ? count : count - 3;
    for (std::size_t i = 0; i < pairs_end; i += 2) {
        cipher_group<2>(decrypting ? decrypt_block_pair : encrypt_block_pair, keys, i, load, store);
    }
    if (pairs_end < count) {
        cipher_group<3>(decrypting ? decrypt_block_triple : encrypt_block_triple, keys, pairs_end, load, store);
    }
}

}  // namespace

const SubKeys& WordBlocks::keys(bool slot)
{
    const int index = slot ? 1 : 0;
    if (!packed_[index]) {
        const int other = 1 - index;
        // Both slots often hold one key (EncryptString loads it twice): it is packed once then.
        if (packed_[other] && std::memcmp(des_.m_cSubKey[0], des_.m_cSubKey[1], sizeof des_.m_cSubKey[0]) == 0) {
            keys_[index] = keys_[other];
        } else {
            keys_[index] = pack_sub_keys(des_.m_cSubKey[index]);
        }
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

void WordBlocks::encrypt_to_hex(const char* bytes, std::size_t count, const std::string& last, bool slot, char* hex)
{
    cipher_in_groups(
        keys(slot), false, count + 1,
        [bytes, count, &last](std::size_t i) {
            return i < count ? load_text_block(bytes + i * kBlockBytes, kBlockBytes)
                             : load_text_block(last.data(), last.size());
        },
        [hex](std::size_t i, std::uint64_t block) { write_hex_block(block, hex + i * kHexBlockChars); });
    std::memcpy(des_.GetCiphertext(), hex + count * kHexBlockChars, kHexBlockChars);
}

void WordBlocks::decrypt_from_hex(const char* hex, std::size_t count, bool slot, char* bytes)
{
    auto* out = reinterpret_cast<unsigned char*>(bytes);
    cipher_in_groups(
        keys(slot), true, count,
        [hex](std::size_t i) { return read_hex_block(hex + i * kHexBlockChars, kHexBlockChars); },
        [out](std::size_t i, std::uint64_t block) { store_block(block, out + i * kBlockBytes); });
    std::memcpy(des_.GetPlaintext(), bytes + (count - 1) * kBlockBytes, kBlockBytes);
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
