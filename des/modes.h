// The modes over a block engine: messages of any length with '$' marks, two-key triple DES, files.
#ifndef OZU_DES_MODES_H
#define OZU_DES_MODES_H

/* Written once over a block engine, so that the library's word engine and the bit-string engine of
 * the tests share them. An engine offers
 *   void encrypt(const char* data, std::size_t size, bool slot, bool hex_form);  // into m_cCiphertext
 *   void decrypt(const char* data, std::size_t size, bool slot, bool hex_form);  // into m_cPlaintext
 * with the results of DES::EncryptData and DES::DecryptData, and for whole messages
 *   void encrypt_to_hex(const char* bytes, std::size_t count, const std::string& last, bool slot, char* hex);
 *   void decrypt_from_hex(const char* hex, std::size_t count, bool slot, char* bytes);
 * which take count blocks (and, enciphering, then the last block, as encrypt takes it) and leave
 * the block buffers as encrypt or decrypt of the last block leaves them. Files also need
 *   void cipher_in_place(char* bytes, std::size_t count, bool triple, bool decrypting);
 * Everything else goes through the class's public members. */

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>

#include "des/DES.h"
#include "des/block_support.h"

namespace ozu::des {

constexpr int kMarkWindow = 7;
constexpr int kMaxMessageChars = 4088;
constexpr int kMaxCiphertextChars = 8176;
constexpr char kPaddingMark = '$';
constexpr char kBadCiphertextText[] = "Please enter your correct cipertext!";
constexpr char kFileSuffix[] = ".DES";
constexpr std::size_t kFileSuffixLength = sizeof(kFileSuffix) - 1;

inline bool is_whole_ciphertext_length(std::size_t length)
{
    // Longer texts would not fit the plaintext buffer, so they get the same answer as malformed ones.
    return length >= kHexBlockChars && length % kHexBlockChars == 0 && length <= kMaxCiphertextChars;
}

inline int trailing_mark_count(const char* window, int length)
{
    if (std::memchr(window, '\0', static_cast<std::size_t>(length)) != nullptr) {
        return 0;
    }
    int marks = 0;
    while (marks < length && window[length - 1 - marks] == kPaddingMark) {
        ++marks;
    }
    return marks;
}

/* The deciphered text of an any-length decipherment that the next triple step enciphers again.
 * It keeps its full length (8*m characters less the removed marks) instead of ending at the first
 * zero byte, so a middle text deciphered under the other key is never cut short. last_block is the
 * final deciphered block before its marks were removed. */
inline std::string middle_text(const char* plaintext, const char* last_block, std::size_t ciphertext_length)
{
    if (!is_whole_ciphertext_length(ciphertext_length)) {
        return plaintext;
    }
    const std::size_t deciphered_chars = ciphertext_length / kHexBlockChars * kBlockBytes;
    const int marks = trailing_mark_count(last_block + kBlockBytes - kMarkWindow, kMarkWindow);
    return std::string(plaintext, deciphered_chars - static_cast<std::size_t>(marks));
}

template <typename Blocks>
void encrypt_any_length(DES& des, Blocks& blocks, std::string_view text, bool slot)
{
    char* ciphertext = des.GetCiphertextAnyLength();
    // A message too long for the ciphertext buffer is refused with an empty result.
    if (text.size() > static_cast<std::size_t>(kMaxMessageChars)) {
        ciphertext[0] = '\0';
        return;
    }
    // An empty message becomes one block of eight NUL bytes, which reads as the empty text once deciphered.
    if (text.empty()) {
        text = std::string_view("\0\0\0\0\0\0\0\0", kBlockBytes);
    }
    const std::size_t block_count = (text.size() + kBlockBytes - 1) / kBlockBytes;
    const std::string last = des.FillToEightBits(std::string(text.substr((block_count - 1) * kBlockBytes)));
    blocks.encrypt_to_hex(text.data(), block_count - 1, last, slot, ciphertext);
    ciphertext[block_count * kHexBlockChars] = '\0';
}

template <typename Blocks>
void decrypt_any_length(DES& des, Blocks& blocks, std::string_view text, bool slot)
{
    char* plaintext = des.GetPlaintextAnyLength();
    if (!is_whole_ciphertext_length(text.size())) {
        std::memcpy(plaintext, kBadCiphertextText, sizeof(kBadCiphertextText));
        return;
    }
    const std::size_t block_count = text.size() / kHexBlockChars;
    blocks.decrypt_from_hex(text.data(), block_count, slot, plaintext);
    des.CleanPlaintextMark(static_cast<int>(block_count) * kBlockBytes);
}

inline std::size_t cipher_length(bool hex_form)
{
    return hex_form ? kHexBlockChars : kBlockBytes;
}

/* Encipher with the first key, decipher with the second, encipher with the first. */
template <typename Blocks>
void triple_encrypt(DES& des, Blocks& blocks, const char* block, std::size_t size, bool hex_form)
{
    blocks.encrypt(block, size, false, hex_form);
    blocks.decrypt(des.GetCiphertext(), cipher_length(hex_form), true, hex_form);
    blocks.encrypt(des.GetPlaintext(), kBlockBytes, false, hex_form);
}

template <typename Blocks>
void triple_decrypt(DES& des, Blocks& blocks, const char* block, std::size_t size, bool hex_form)
{
    blocks.decrypt(block, size, false, hex_form);
    blocks.encrypt(des.GetPlaintext(), kBlockBytes, true, hex_form);
    blocks.decrypt(des.GetCiphertext(), cipher_length(hex_form), false, hex_form);
}

template <typename Blocks>
void triple_encrypt_any_length(DES& des, Blocks& blocks, const std::string& text)
{
    encrypt_any_length(des, blocks, text, false);
    if (des.GetCiphertextAnyLength()[0] == '\0') {
        return;  // an over-long message stays refused
    }
    // Deciphering writes only the plaintext buffers, so the ciphertext is read where it stands.
    const std::string_view first_ciphertext = des.GetCiphertextAnyLength();
    decrypt_any_length(des, blocks, first_ciphertext, true);
    encrypt_any_length(des, blocks,
                       middle_text(des.GetPlaintextAnyLength(), des.GetPlaintext(), first_ciphertext.size()), false);
}

template <typename Blocks>
void triple_decrypt_any_length(DES& des, Blocks& blocks, const std::string& text)
{
    decrypt_any_length(des, blocks, text, false);
    encrypt_any_length(des, blocks, middle_text(des.GetPlaintextAnyLength(), des.GetPlaintext(), text.size()), true);
    decrypt_any_length(des, blocks, des.GetCiphertextAnyLength(), false);
}

/* Files: whole blocks go through cipher_blocks(bytes, count) in place, chunk by chunk; the rest of
 * fewer than 8 bytes is copied unchanged. */

constexpr std::size_t kChunkBytes = 64 * 1024;

inline std::int64_t file_size(std::ifstream& input)
{
    input.seekg(0, std::ios::end);
    const std::int64_t size = input.tellg();
    input.seekg(0, std::ios::beg);
    return size;
}

template <typename CipherBlocks>
bool copy_blocks(std::ifstream& input, std::ofstream& output, std::int32_t size, CipherBlocks cipher_blocks)
{
    // A failed read or write stops the copy and makes the result false; what was written stays.
    std::string chunk(kChunkBytes, '\0');
    std::size_t remaining = static_cast<std::size_t>(size) / kBlockBytes * kBlockBytes;
    while (remaining > 0) {
        const std::size_t length = std::min(remaining, kChunkBytes);
        if (!input.read(&chunk[0], static_cast<std::streamsize>(length))) {
            return false;
        }
        cipher_blocks(&chunk[0], length / kBlockBytes);
        if (!output.write(chunk.data(), static_cast<std::streamsize>(length))) {
            return false;
        }
        remaining -= length;
    }
    for (std::int32_t i = 0; i < size % kBlockBytes; ++i) {
        char byte = 0;
        if (!input.get(byte) || !output.put(byte)) {
            return false;
        }
    }
    return static_cast<bool>(output.flush());
}

template <typename CipherBlocks>
bool transform_file(const std::string& input_path, const std::string& output_path, CipherBlocks cipher_blocks)
{
    // The system reads a name only up to its first NUL byte: "victim\0zz" and its output name
    // "victim\0zz.DES" would both open "victim" and empty it. Refused before anything is opened.
    if (input_path.find('\0') != std::string::npos) {
        return false;
    }
    std::ifstream input(input_path, std::ios::binary);
    if (!input) {
        return false;
    }
    const std::int64_t size = file_size(input);
    // A size that cannot be read, or that needs more than 31 bits (2 GiB and up), is refused before
    // the output file is created.
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    std::ofstream output(output_path, std::ios::binary | std::ios::trunc);
    if (!output) {
        return false;
    }
    const bool copied = copy_blocks(input, output, static_cast<std::int32_t>(size), cipher_blocks);
    input.close();
    output.close();
    return copied;
}

template <typename Blocks>
void replay_block(DES& des, Blocks& blocks, const char* block, bool triple, bool decrypting)
{
    if (triple && decrypting) {
        triple_decrypt(des, blocks, block, kBlockBytes, false);
    } else if (triple) {
        triple_encrypt(des, blocks, block, kBlockBytes, false);
    } else if (decrypting) {
        blocks.decrypt(block, kBlockBytes, false, false);
    } else {
        blocks.encrypt(block, kBlockBytes, false, false);
    }
}

/* Whole chunks of blocks at once, then the last block once more through the single-block path, so
 * that the block buffers end as a block-by-block run leaves them. */
template <typename Blocks>
bool cipher_file(DES& des, Blocks& blocks, const std::string& input_path, const std::string& output_path, bool triple,
                 bool decrypting)
{
    std::array<char, kBlockBytes> last_block{};
    bool any_block = false;
    const bool done = transform_file(input_path, output_path, [&](char* bytes, std::size_t count) {
        std::copy_n(bytes + (count - 1) * kBlockBytes, kBlockBytes, last_block.data());
        any_block = true;
        blocks.cipher_in_place(bytes, count, triple, decrypting);
    });
    if (any_block) {
        replay_block(des, blocks, last_block.data(), triple, decrypting);
    }
    return done;
}

}  // namespace ozu::des

#endif
