#include "des/DESReference.h"

#include "des/DESModes.h"
#include "des/DESTables.h"

#include <algorithm>
#include <cstddef>

namespace des_reference {

namespace {

constexpr int kBlockBits = 64;
constexpr int kHalfBits = 32;
constexpr int kRounds = 16;

void FinalPermutation(const char* block, char* output)
{
    for (int k = 0; k < kBlockBits; ++k)
        output[k] = block[IPR_Table[k] - 1];
}

class BitStringBlocks {
public:
    explicit BitStringBlocks(DES& des) : des_(des) {}

    void Encrypt(const char* data, std::size_t size, bool slot, bool hexForm)
    {
        char block[kBlockBits];
        des_.InitialPermuteData(std::string(data, size), block, true);
        for (int round = 0; round < kRounds; ++round)
            des_.FunctionF(block, block + kHalfBits, slot, round);
        char output[kBlockBits];
        FinalPermutation(block, output);
        const std::string result = des_.BinaryToString(output, kBlockBits, hexForm);
        char* ciphertext = des_.GetCiphertext();
        if (hexForm) {
            std::copy_n(result.data(), des_modes::kHexBlockChars, ciphertext);
        } else {
            std::copy_n(result.data(), des_modes::kBlockBytes, ciphertext);
            std::fill_n(ciphertext + des_modes::kBlockBytes, des_modes::kBlockBytes, '\0');
        }
    }

    void Decrypt(const char* data, std::size_t size, bool slot, bool hexForm)
    {
        char block[kBlockBits];
        des_.InitialPermuteData(std::string(data, size), block, !hexForm);
        char first[kHalfBits];
        char second[kHalfBits];
        std::copy_n(block + kHalfBits, kHalfBits, first);
        std::copy_n(block, kHalfBits, second);
        for (int round = kRounds - 1; round >= 0; --round)
            des_.FunctionF(first, second, slot, round);
        std::copy_n(second, kHalfBits, block);
        std::copy_n(first, kHalfBits, block + kHalfBits);
        char output[kBlockBits];
        FinalPermutation(block, output);
        std::copy_n(des_.BinaryToString(output, kBlockBits, false).data(), des_modes::kBlockBytes, des_.GetPlaintext());
    }

    void EncryptToHex(const char* bytes, std::size_t count, bool slot, char* hex)
    {
        for (std::size_t i = 0; i < count; ++i) {
            Encrypt(bytes + i * des_modes::kBlockBytes, des_modes::kBlockBytes, slot, true);
            std::copy_n(des_.GetCiphertext(), des_modes::kHexBlockChars, hex + i * des_modes::kHexBlockChars);
        }
    }

    void DecryptFromHex(const char* hex, std::size_t count, bool slot, char* bytes)
    {
        for (std::size_t i = 0; i < count; ++i) {
            Decrypt(hex + i * des_modes::kHexBlockChars, des_modes::kHexBlockChars, slot, true);
            std::copy_n(des_.GetPlaintext(), des_modes::kBlockBytes, bytes + i * des_modes::kBlockBytes);
        }
    }

private:
    DES& des_;
};

}  // namespace

void EncryptData(DES& des, const std::string& data, bool slot, bool hexForm)
{
    BitStringBlocks(des).Encrypt(data.data(), data.size(), slot, hexForm);
}

void DecryptData(DES& des, const std::string& data, bool slot, bool hexForm)
{
    BitStringBlocks(des).Decrypt(data.data(), data.size(), slot, hexForm);
}

void EncryptAnyLength(DES& des, const std::string& text, bool slot)
{
    BitStringBlocks blocks(des);
    des_modes::EncryptAnyLength(des, blocks, text, slot);
}

void DecryptAnyLength(DES& des, const std::string& text, bool slot)
{
    BitStringBlocks blocks(des);
    des_modes::DecryptAnyLength(des, blocks, text, slot);
}

void TripleEncrypt(DES& des, const std::string& block, bool hexForm)
{
    BitStringBlocks blocks(des);
    des_modes::TripleEncrypt(des, blocks, block.data(), block.size(), hexForm);
}

void TripleDecrypt(DES& des, const std::string& block, bool hexForm)
{
    BitStringBlocks blocks(des);
    des_modes::TripleDecrypt(des, blocks, block.data(), block.size(), hexForm);
}

void TripleEncryptAnyLength(DES& des, const std::string& text)
{
    BitStringBlocks blocks(des);
    des_modes::TripleEncryptAnyLength(des, blocks, text);
}

void TripleDecryptAnyLength(DES& des, const std::string& text)
{
    BitStringBlocks blocks(des);
    des_modes::TripleDecryptAnyLength(des, blocks, text);
}

/* Files block by block, each result taken from the block buffer it lands in. */

bool FileEncrypt(DES& des, const std::string& path, bool triple)
{
    BitStringBlocks blocks(des);
    return des_modes::TransformFile(path, path + des_modes::kFileSuffix, [&](char* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            char* block = bytes + i * des_modes::kBlockBytes;
            if (triple)
                des_modes::TripleEncrypt(des, blocks, block, des_modes::kBlockBytes, false);
            else
                blocks.Encrypt(block, des_modes::kBlockBytes, false, false);
            std::copy_n(des.GetCiphertext(), des_modes::kBlockBytes, block);
        }
    });
}

bool FileDecrypt(DES& des, const std::string& path, bool triple)
{
    // Nothing would remain of a shorter path once the suffix is removed: refused before opening anything.
    if (path.size() < des_modes::kFileSuffixLength)
        return false;
    BitStringBlocks blocks(des);
    return des_modes::TransformFile(path, des_modes::DecryptedFileName(path), [&](char* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            char* block = bytes + i * des_modes::kBlockBytes;
            if (triple)
                des_modes::TripleDecrypt(des, blocks, block, des_modes::kBlockBytes, false);
            else
                blocks.Decrypt(block, des_modes::kBlockBytes, false, false);
            std::copy_n(des.GetPlaintext(), des_modes::kBlockBytes, block);
        }
    });
}

}  // namespace des_reference
