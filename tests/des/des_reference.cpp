#include "des_reference.h"

#include <algorithm>
#include <cstddef>

#include "des/DESTables.h"
#include "des/modes.h"

namespace ozu::test::reference {
namespace {

constexpr int kBlockBits = 64;
constexpr int kHalfBits = 32;
constexpr int kRounds = 16;

/* A block engine for the operations of des/modes.h. */
class BitStringBlocks {
public:
    explicit BitStringBlocks(DES& des) : des_(des) {}

    void encrypt(const char* data, std::size_t size, bool slot, bool hex_form)
    {
        const std::string result = cipher(std::string(data, size), true, slot, false, hex_form);
        std::fill_n(des_.GetCiphertext(), ozu::des::kHexBlockChars, '\0');
        std::copy(result.begin(), result.end(), des_.GetCiphertext());
    }

    void decrypt(const char* data, std::size_t size, bool slot, bool hex_form)
    {
        const std::string result = cipher(std::string(data, size), !hex_form, slot, true, false);
        std::copy_n(result.data(), ozu::des::kBlockBytes, des_.GetPlaintext());
    }

    void encrypt_to_hex(const char* bytes, std::size_t count, const std::string& last, bool slot, char* hex)
    {
        for (std::size_t i = 0; i <= count; ++i) {
            const std::string block =
                i < count ? std::string(bytes + i * ozu::des::kBlockBytes, ozu::des::kBlockBytes) : last;
            encrypt(block.data(), block.size(), slot, true);
            std::copy_n(des_.GetCiphertext(), ozu::des::kHexBlockChars, hex + i * ozu::des::kHexBlockChars);
        }
    }

    void decrypt_from_hex(const char* hex, std::size_t count, bool slot, char* bytes)
    {
        for (std::size_t i = 0; i < count; ++i) {
            decrypt(hex + i * ozu::des::kHexBlockChars, ozu::des::kHexBlockChars, slot, true);
            std::copy_n(des_.GetPlaintext(), ozu::des::kBlockBytes, bytes + i * ozu::des::kBlockBytes);
        }
    }

private:
    /* Deciphering starts from the exchanged halves, takes the sub-keys backwards and exchanges the halves
     * again before the final permutation. */
    std::string cipher(const std::string& data, bool raw_bytes, bool slot, bool decrypt, bool hex_form)
    {
        char block[kBlockBits];
        des_.InitialPermuteData(data, block, raw_bytes);
        if (decrypt) {
            std::rotate(block, block + kHalfBits, block + kBlockBits);
        }
        for (int round = 0; round < kRounds; ++round) {
            des_.FunctionF(block, block + kHalfBits, slot, decrypt ? kRounds - 1 - round : round);
        }
        if (decrypt) {
            std::rotate(block, block + kHalfBits, block + kBlockBits);
        }
        char output[kBlockBits];
        for (int k = 0; k < kBlockBits; ++k) {
            output[k] = block[IPR_Table[k] - 1];
        }
        return des_.BinaryToString(output, kBlockBits, hex_form);
    }

    DES& des_;
};

}  // namespace

void encrypt_data(DES& des, const std::string& data, bool slot, bool hex_form)
{
    BitStringBlocks(des).encrypt(data.data(), data.size(), slot, hex_form);
}

void decrypt_data(DES& des, const std::string& data, bool slot, bool hex_form)
{
    BitStringBlocks(des).decrypt(data.data(), data.size(), slot, hex_form);
}

void encrypt_any_length(DES& des, const std::string& text, bool slot)
{
    BitStringBlocks blocks(des);
    ozu::des::encrypt_any_length(des, blocks, text, slot);
}

void triple_encrypt_any_length(DES& des, const std::string& text)
{
    BitStringBlocks blocks(des);
    ozu::des::triple_encrypt_any_length(des, blocks, text);
}

}  // namespace ozu::test::reference
