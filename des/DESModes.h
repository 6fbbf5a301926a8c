#ifndef OZU_DES_MODES_H
#define OZU_DES_MODES_H

/* The any-length, triple and file operations of the DES class, written once over a block engine so
 * that the word-based path and the bit-string reference path share them. An engine offers
 *   void Encrypt(const char* data, std::size_t size, bool slot, bool hexForm);  // into m_cCiphertext
 *   void Decrypt(const char* data, std::size_t size, bool slot, bool hexForm);  // into m_cPlaintext
 * with the semantics of DES::EncryptData and DES::DecryptData, and for the inner blocks of a message
 *   void EncryptToHex(const char* bytes, std::size_t count, bool slot, char* hex);
 *   void DecryptFromHex(const char* hex, std::size_t count, bool slot, char* bytes);
 * which may leave the block buffers as they like: the last block of a message always goes through
 * Encrypt or Decrypt. Everything else goes through the class's public members. */

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "des/DES.h"

namespace des_modes {

constexpr int kBlockBytes = 8;
constexpr int kHexBlockChars = 16;
constexpr int kMarkWindow = 7;
constexpr int kMaxMessageChars = 4088;
constexpr int kMaxCiphertextChars = 8176;
constexpr char kPaddingMark = '$';
constexpr char kBadCiphertextText[] = "Please enter your correct cipertext!";
constexpr char kFileSuffix[] = ".DES";
constexpr std::size_t kFileSuffixLength = sizeof(kFileSuffix) - 1;

inline bool IsWholeCiphertextLength(std::size_t length)
{
    // Longer texts would not fit the plaintext buffer, so they get the same answer as malformed ones.
    return length >= kHexBlockChars && length % kHexBlockChars == 0 && length <= kMaxCiphertextChars;
}

inline int TrailingMarkCount(const char* window, int length)
{
    if (std::memchr(window, '\0', static_cast<std::size_t>(length)) != nullptr)
        return 0;
    int marks = 0;
    while (marks < length && window[length - 1 - marks] == kPaddingMark)
        ++marks;
    return marks;
}

/* The deciphered text of an any-length decipherment that the next triple step enciphers again.
 * It keeps its full length (8*m characters less the removed marks) instead of ending at the first
 * zero byte, so a middle text deciphered under the other key is never cut short. lastBlock is the
 * final deciphered block before its marks were removed. */
inline std::string MiddleText(const char* plaintext, const char* lastBlock, std::size_t ciphertextLength)
{
    if (!IsWholeCiphertextLength(ciphertextLength))
        return plaintext;
    const std::size_t decipheredChars = ciphertextLength / kHexBlockChars * kBlockBytes;
    const int marks = TrailingMarkCount(lastBlock + kBlockBytes - kMarkWindow, kMarkWindow);
    return std::string(plaintext, decipheredChars - static_cast<std::size_t>(marks));
}

template <typename Blocks>
void EncryptAnyLength(DES& des, Blocks& blocks, std::string text, bool slot)
{
    char* ciphertext = des.GetCiphertextAnyLength();
    // A message too long for the ciphertext buffer is refused with an empty result.
    if (text.size() > static_cast<std::size_t>(kMaxMessageChars)) {
        ciphertext[0] = '\0';
        return;
    }
    // The empty message is enciphered as eight NUL bytes, which decipher back to the empty text.
    if (text.empty())
        text.assign(kBlockBytes, '\0');
    const std::size_t blockCount = (text.size() + kBlockBytes - 1) / kBlockBytes;
    blocks.EncryptToHex(text.data(), blockCount - 1, slot, ciphertext);
    const std::string last = des.FillToEightBits(text.substr((blockCount - 1) * kBlockBytes));
    blocks.Encrypt(last.data(), last.size(), slot, true);
    std::memcpy(ciphertext + (blockCount - 1) * kHexBlockChars, des.GetCiphertext(), kHexBlockChars);
    ciphertext[blockCount * kHexBlockChars] = '\0';
}

template <typename Blocks>
void DecryptAnyLength(DES& des, Blocks& blocks, std::string text, bool slot)
{
    char* plaintext = des.GetPlaintextAnyLength();
    if (!IsWholeCiphertextLength(text.size())) {
        std::memcpy(plaintext, kBadCiphertextText, sizeof(kBadCiphertextText));
        return;
    }
    const std::size_t blockCount = text.size() / kHexBlockChars;
    blocks.DecryptFromHex(text.data(), blockCount - 1, slot, plaintext);
    const std::size_t last = blockCount - 1;
    blocks.Decrypt(text.data() + last * kHexBlockChars, kHexBlockChars, slot, true);
    std::memcpy(plaintext + last * kBlockBytes, des.GetPlaintext(), kBlockBytes);
    des.CleanPlaintextMark(static_cast<int>(blockCount) * kBlockBytes);
}

inline std::size_t CipherLength(bool hexForm)
{
    return hexForm ? kHexBlockChars : kBlockBytes;
}

/* Encipher with the first key, decipher with the second, encipher with the first. */
template <typename Blocks>
void TripleEncrypt(DES& des, Blocks& blocks, const char* block, std::size_t size, bool hexForm)
{
    blocks.Encrypt(block, size, false, hexForm);
    blocks.Decrypt(des.GetCiphertext(), CipherLength(hexForm), true, hexForm);
    blocks.Encrypt(des.GetPlaintext(), kBlockBytes, false, hexForm);
}

template <typename Blocks>
void TripleDecrypt(DES& des, Blocks& blocks, const char* block, std::size_t size, bool hexForm)
{
    blocks.Decrypt(block, size, false, hexForm);
    blocks.Encrypt(des.GetPlaintext(), kBlockBytes, true, hexForm);
    blocks.Decrypt(des.GetCiphertext(), CipherLength(hexForm), false, hexForm);
}

template <typename Blocks>
void TripleEncryptAnyLength(DES& des, Blocks& blocks, const std::string& text)
{
    EncryptAnyLength(des, blocks, text, false);
    if (des.GetCiphertextAnyLength()[0] == '\0')
        return;  // an over-long message stays refused
    const std::string firstCiphertext = des.GetCiphertextAnyLength();
    DecryptAnyLength(des, blocks, firstCiphertext, true);
    EncryptAnyLength(des, blocks, MiddleText(des.GetPlaintextAnyLength(), des.GetPlaintext(), firstCiphertext.size()),
                     false);
}

template <typename Blocks>
void TripleDecryptAnyLength(DES& des, Blocks& blocks, const std::string& text)
{
    DecryptAnyLength(des, blocks, text, false);
    EncryptAnyLength(des, blocks, MiddleText(des.GetPlaintextAnyLength(), des.GetPlaintext(), text.size()), true);
    DecryptAnyLength(des, blocks, des.GetCiphertextAnyLength(), false);
}

/* Files: whole blocks go through cipherBlocks(bytes, count) in place, chunk by chunk; the rest of
 * fewer than 8 bytes is copied unchanged. */

constexpr std::size_t kChunkBytes = 64 * 1024;

inline std::int64_t FileSize(std::ifstream& input)
{
    input.seekg(0, std::ios::end);
    const std::int64_t size = input.tellg();
    input.seekg(0, std::ios::beg);
    return size;
}

template <typename CipherBlocks>
bool CopyBlocks(std::ifstream& input, std::ofstream& output, std::int32_t size, CipherBlocks cipherBlocks)
{
    // A failed read or write stops the copy and makes the result false; what was written stays.
    std::string chunk(kChunkBytes, '\0');
    std::size_t remaining = static_cast<std::size_t>(size) / kBlockBytes * kBlockBytes;
    while (remaining > 0) {
        const std::size_t length = std::min(remaining, kChunkBytes);
        if (!input.read(&chunk[0], static_cast<std::streamsize>(length)))
            return false;
        cipherBlocks(&chunk[0], length / kBlockBytes);
        if (!output.write(chunk.data(), static_cast<std::streamsize>(length)))
            return false;
        remaining -= length;
    }
    for (std::int32_t i = 0; i < size % kBlockBytes; ++i) {
        char byte = 0;
        if (!input.get(byte) || !output.put(byte))
            return false;
    }
    return static_cast<bool>(output.flush());
}

template <typename CipherBlocks>
bool TransformFile(const std::string& inputPath, const std::string& outputPath, CipherBlocks cipherBlocks)
{
    // The system reads a name only up to its first NUL byte: "victim\0zz" and its output name
    // "victim\0zz.DES" would both open "victim" and empty it. Refused before anything is opened.
    if (inputPath.find('\0') != std::string::npos)
        return false;
    std::ifstream input(inputPath, std::ios::binary);
    if (!input)
        return false;
    const std::int64_t size = FileSize(input);
    // A size that cannot be found or does not fit the signed 32-bit count (2 GiB and more) is refused
    // before the output file is created.
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max())
        return false;
    std::ofstream output(outputPath, std::ios::binary | std::ios::trunc);
    if (!output)
        return false;
    const bool copied = CopyBlocks(input, output, static_cast<std::int32_t>(size), cipherBlocks);
    input.close();
    output.close();
    return copied;
}

/* The name FileDecrypt writes to; empty when nothing would remain of the path. */
inline std::string DecryptedFileName(const std::string& path)
{
    return path.size() < kFileSuffixLength ? std::string() : path.substr(0, path.size() - kFileSuffixLength);
}

}  // namespace des_modes

#endif
