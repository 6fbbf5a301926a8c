#include "des/DES.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "des/DESModes.h"
#include "des/DESTables.h"
#include "des/block_support.h"
#include "des/fast_engine.h"

static_assert(sizeof(DES) == 13848, "the host allocates DES objects with this size");

namespace {

using ozu::des::kBlockBits;
using ozu::des::kBlockBytes;
using ozu::des::kHalfBits;
using ozu::des::kHexBlockChars;
using ozu::des::kRounds;
using ozu::des::kSubKeyBits;

constexpr int kKeyHalfBits = 28;
constexpr int kSBoxInputBits = 6;
constexpr int kSBoxCount = 8;

/* Sub-key character k of round r is character Sub_Key_Sources[r][k] of the 56 characters after
 * permuted choice 1: PC2 applied after the accumulated rotations of C and D. */
constexpr std::array<std::array<std::uint8_t, 48>, 16> MakeSubKeySources()
{
    std::array<std::array<std::uint8_t, 48>, 16> sources{};
    int shift = 0;
    for (int round = 0; round < kRounds; ++round) {
        shift += Shift_Table[round];
        for (int k = 0; k < kSubKeyBits; ++k) {
            const int position = PC2_Table[k] - 1;
            const int half = position < kKeyHalfBits ? 0 : kKeyHalfBits;
            sources[round][k] = static_cast<std::uint8_t>(half + (position - half + shift) % kKeyHalfBits);
        }
    }
    return sources;
}

constexpr auto Sub_Key_Sources = MakeSubKeySources();

int slotIndex(bool slot)
{
    return slot ? 1 : 0;
}

template <typename Entry, std::size_t N>
void permuteBits(const std::array<Entry, N>& table, const char* input, char* output)
{
    for (std::size_t k = 0; k < N; ++k)
        output[k] = input[table[k] - 1];
}

std::string nibbleString(int value)
{
    std::string bits(4, '0');
    for (int i = 0; i < 4; ++i)
        if ((value >> (3 - i)) & 1)
            bits[i] = '1';
    return bits;
}

/* Bit k of the block as character k, the most significant bit first. */
void blockToBits(std::uint64_t block, char* bits)
{
    for (int k = 0; k < kBlockBits; ++k)
        bits[k] = static_cast<char>('0' + ((block >> (kBlockBits - 1 - k)) & 1));
}

}  // namespace

/* The block engine of the public operations: blocks as machine words, the sub-keys of a slot packed
 * once per operation (on the stack, so the object keeps its layout). */
struct DESFastPath {
    explicit DESFastPath(DES& des) : des_(des) {}

    const ozu::des::SubKeys& Keys(bool slot)
    {
        const int index = slotIndex(slot);
        if (!packed_[index]) {
            keys_[index] = ozu::des::pack_sub_keys(des_.m_cSubKey[index]);
            packed_[index] = true;
        }
        return keys_[index];
    }

    void Encrypt(const char* data, std::size_t size, bool slot, bool hexForm)
    {
        const std::uint64_t result = ozu::des::encrypt_block(Keys(slot), ozu::des::load_text_block(data, size));
        if (hexForm) {
            ozu::des::write_hex_block(result, des_.m_cCiphertext);
        } else {
            ozu::des::store_block(result, reinterpret_cast<unsigned char*>(des_.m_cCiphertext));
            // The unused second half is cleared rather than left holding an older result.
            std::fill_n(des_.m_cCiphertext + kBlockBytes, kBlockBytes, '\0');
        }
    }

    void Decrypt(const char* data, std::size_t size, bool slot, bool hexForm)
    {
        const std::uint64_t block =
            hexForm ? ozu::des::read_hex_block(data, size) : ozu::des::load_text_block(data, size);
        const std::uint64_t result = ozu::des::decrypt_block(Keys(slot), block);
        ozu::des::store_block(result, reinterpret_cast<unsigned char*>(des_.m_cPlaintext));
    }

    void EncryptToHex(const char* bytes, std::size_t count, bool slot, char* hex)
    {
        const ozu::des::SubKeys& keys = Keys(slot);
        std::size_t i = 0;
        for (; i + 2 <= count; i += 2) {
            std::uint64_t a = ozu::des::load_text_block(bytes + i * kBlockBytes, kBlockBytes);
            std::uint64_t b = ozu::des::load_text_block(bytes + (i + 1) * kBlockBytes, kBlockBytes);
            ozu::des::encrypt_block_pair(keys, a, b);
            ozu::des::write_hex_block(a, hex + i * kHexBlockChars);
            ozu::des::write_hex_block(b, hex + (i + 1) * kHexBlockChars);
        }
        if (i < count)
            ozu::des::write_hex_block(
                ozu::des::encrypt_block(keys, ozu::des::load_text_block(bytes + i * kBlockBytes, kBlockBytes)),
                hex + i * kHexBlockChars);
    }

    void DecryptFromHex(const char* hex, std::size_t count, bool slot, char* bytes)
    {
        const ozu::des::SubKeys& keys = Keys(slot);
        auto* out = reinterpret_cast<unsigned char*>(bytes);
        std::size_t i = 0;
        for (; i + 2 <= count; i += 2) {
            std::uint64_t a = ozu::des::read_hex_block(hex + i * kHexBlockChars, kHexBlockChars);
            std::uint64_t b = ozu::des::read_hex_block(hex + (i + 1) * kHexBlockChars, kHexBlockChars);
            ozu::des::decrypt_block_pair(keys, a, b);
            ozu::des::store_block(a, out + i * kBlockBytes);
            ozu::des::store_block(b, out + (i + 1) * kBlockBytes);
        }
        if (i < count)
            ozu::des::store_block(
                ozu::des::decrypt_block(keys, ozu::des::read_hex_block(hex + i * kHexBlockChars, kHexBlockChars)),
                out + i * kBlockBytes);
    }

    bool CipherFile(const std::string& inputPath, const std::string& outputPath, bool triple, bool decrypt)
    {
        const ozu::des::SubKeys first = Keys(false);
        const ozu::des::SubKeys second = triple ? Keys(true) : first;
        std::array<char, kBlockBytes> lastBlock{};
        bool anyBlock = false;
        const bool done = des_modes::TransformFile(inputPath, outputPath, [&](char* bytes, std::size_t count) {
            std::copy_n(bytes + (count - 1) * kBlockBytes, kBlockBytes, lastBlock.data());
            anyBlock = true;
            auto* blocks = reinterpret_cast<unsigned char*>(bytes);
            if (triple)
                (decrypt ? ozu::des::triple_decrypt_blocks : ozu::des::triple_encrypt_blocks)(first, second, blocks,
                                                                                              blocks, count);
            else
                (decrypt ? ozu::des::decrypt_blocks : ozu::des::encrypt_blocks)(first, blocks, blocks, count);
        });
        if (anyBlock)
            ReplayBlock(lastBlock.data(), triple, decrypt);
        return done;
    }

private:
    void ReplayBlock(const char* block, bool triple, bool decrypt)
    {
        if (triple && decrypt)
            des_modes::TripleDecrypt(des_, *this, block, kBlockBytes, false);
        else if (triple)
            des_modes::TripleEncrypt(des_, *this, block, kBlockBytes, false);
        else if (decrypt)
            Decrypt(block, kBlockBytes, false, false);
        else
            Encrypt(block, kBlockBytes, false, false);
    }

    DES& des_;
    std::array<ozu::des::SubKeys, 2> keys_{};
    std::array<bool, 2> packed_{};
};

// Clearing everything makes the accessors and an unloaded key slot well defined.
DES::DES() : m_cSubKey{}, m_cCiphertext{}, m_cPlaintext{}, m_cCiphertextAnyLength{}, m_cPlaintextAnyLength{} {}

DES::~DES() = default;

/* Bit strings */

std::string DES::HexCharToBinary(char c)
{
    const int value = ozu::des::lower_hex_digit_value(c);
    return value < 0 ? std::string() : nibbleString(value);
}

std::string DES::HexIntToBinary(int value)
{
    return value < 0 || value > 15 ? std::string() : nibbleString(value);
}

int DES::SingleCharToBinary(char c)
{
    return c == '1' ? 1 : 0;
}

char DES::SingleBinaryToChar(int value)
{
    return value == 1 ? '1' : '0';
}

void DES::TranslateBytes2Bits(std::string bytes, char* bits)
{
    blockToBits(ozu::des::load_text_block(bytes.data(), bytes.size()), bits);
}

void DES::TranslateBits2Bytes(char* bits, char* bytes)
{
    std::fill_n(bytes, kBlockBytes, '\0');
    for (int k = 0; k < kBlockBits; ++k) {
        const unsigned int bit = static_cast<unsigned int>(SingleCharToBinary(bits[k])) << (7 - k % 8);
        bytes[k / 8] = static_cast<char>(static_cast<unsigned char>(bytes[k / 8]) | bit);
    }
}

std::string DES::BinaryToString(char* bits, int count, bool hexForm)
{
    if (count % 8 != 0)
        return std::string();
    if (!hexForm) {
        char bytes[kBlockBytes];
        TranslateBits2Bytes(bits, bytes);
        return std::string(bytes, kBlockBytes);
    }
    std::string hex;
    for (int group = 0; group < count / 8; ++group) {
        unsigned long value = 0;
        for (int i = 0; i < 8; ++i)
            value = value * 2 + static_cast<unsigned long>(SingleCharToBinary(bits[group * 8 + i]));
        char digits[16];
        my_itoa(value, digits, 16);
        if (value < 16)
            hex += '0';
        hex += digits;
    }
    return hex;
}

int my_itoa(unsigned long value, char* buffer, unsigned int radix)
{
    // Both conversions read an int-sized argument: narrowing to 32 bits first makes a 64-bit long
    // print as on the 32-bit target.
    const auto word = static_cast<std::uint32_t>(value);
    if (radix == 16)
        return std::sprintf(buffer, "%x", static_cast<unsigned int>(word));
    return std::sprintf(buffer, "%d", static_cast<int>(static_cast<std::int32_t>(word)));
}

/* Key schedule */

void DES::InitializeKey(std::string key, bool slot)
{
    char keyBits[kBlockBits];
    TranslateBytes2Bits(key, keyBits);
    char key56[2 * kKeyHalfBits];
    permuteBits(PC1_Table, keyBits, key56);
    CreateSubKey(key56, m_cSubKey[slotIndex(slot)]);
}

void DES::CreateSubKey(char* key56, char (*subKeys)[48])
{
    // The rotations of C and D add up to 28 positions, a full turn, so key56 ends as it began.
    for (int round = 0; round < kRounds; ++round)
        for (int k = 0; k < kSubKeyBits; ++k)
            subKeys[round][k] = key56[Sub_Key_Sources[round][k]];
}

/* Block cipher */

void DES::EncryptData(std::string data, bool slot, bool hexForm)
{
    DESFastPath(*this).Encrypt(data.data(), data.size(), slot, hexForm);
}

void DES::DecryptData(std::string data, bool slot, bool hexForm)
{
    DESFastPath(*this).Decrypt(data.data(), data.size(), slot, hexForm);
}

void DES::InitialPermuteData(std::string data, char* bits, bool rawBytes)
{
    char block[kBlockBits];
    if (rawBytes)
        TranslateBytes2Bits(data, block);
    else
        blockToBits(ozu::des::read_hex_block(data.data(), data.size()), block);
    permuteBits(IP_Table, block, bits);
}

void DES::FunctionF(char* left, char* right, bool slot, int round)
{
    char expanded[kSubKeyBits];
    ExpansionR(right, expanded);
    char mixed[kSubKeyBits];
    XOR(expanded, m_cSubKey[slotIndex(slot)][round], kSubKeyBits, mixed);
    char permuted[kHalfBits];
    PermutationP(CompressFuncS(mixed), permuted);
    char newRight[kHalfBits];
    XOR(permuted, left, kHalfBits, newRight);
    std::copy_n(right, kHalfBits, left);
    std::copy_n(newRight, kHalfBits, right);
}

void DES::ExpansionR(char* right, char* expanded)
{
    permuteBits(E_Table, right, expanded);
}

void DES::XOR(char* a, char* b, int count, char* out)
{
    for (int i = 0; i < count; ++i)
        out[i] = SingleBinaryToChar(SingleCharToBinary(a[i]) ^ SingleCharToBinary(b[i]));
}

std::string DES::CompressFuncS(char* input48)
{
    std::string output;
    for (int box = 0; box < kSBoxCount; ++box) {
        const char* group = input48 + box * kSBoxInputBits;
        const int row = 2 * SingleCharToBinary(group[0]) + SingleCharToBinary(group[5]);
        const int column = 8 * SingleCharToBinary(group[1]) + 4 * SingleCharToBinary(group[2]) +
                           2 * SingleCharToBinary(group[3]) + SingleCharToBinary(group[4]);
        output += HexIntToBinary(S_Box[box][row][column]);
    }
    return output;
}

void DES::PermutationP(std::string input32, char* out)
{
    // Missing bits read as '0', as short keys and blocks are completed with zero bytes; nothing past
    // the string is read.
    if (input32.size() < static_cast<std::size_t>(kHalfBits))
        input32.resize(kHalfBits, '0');
    permuteBits(P_Table, input32.data(), out);
}

/* Result buffers and any-length messages */

void DES::SetCiphertext(char* source)
{
    std::copy_n(source, kHexBlockChars, m_cCiphertext);
}

char* DES::GetCiphertext()
{
    return m_cCiphertext;
}

void DES::SetPlaintext(char* source)
{
    std::copy_n(source, kBlockBytes, m_cPlaintext);
}

char* DES::GetPlaintext()
{
    return m_cPlaintext;
}

char* DES::GetCiphertextAnyLength()
{
    return m_cCiphertextAnyLength;
}

char* DES::GetPlaintextAnyLength()
{
    return m_cPlaintextAnyLength;
}

std::string DES::FillToEightBits(std::string text)
{
    if (!text.empty() && text.size() < static_cast<std::size_t>(kBlockBytes))
        text.append(kBlockBytes - text.size(), des_modes::kPaddingMark);
    return text;
}

void DES::CleanPlaintextMark(int count)
{
    // Counts outside 0..4088 never come from a decipherment and are ignored; below 7 the window
    // starts at the beginning of the buffer. Either way nothing outside it is touched.
    if (count <= 0 || count > des_modes::kMaxMessageChars)
        return;
    m_cPlaintextAnyLength[count] = '\0';
    const int windowLength = std::min(count, des_modes::kMarkWindow);
    char* window = m_cPlaintextAnyLength + count - windowLength;
    const int marks = des_modes::TrailingMarkCount(window, windowLength);
    std::fill_n(window + windowLength - marks, marks, '\0');
}

void DES::EncryptAnyLength(std::string text, bool slot)
{
    DESFastPath blocks(*this);
    des_modes::EncryptAnyLength(*this, blocks, std::move(text), slot);
}

void DES::DecryptAnyLength(std::string text, bool slot)
{
    DESFastPath blocks(*this);
    des_modes::DecryptAnyLength(*this, blocks, std::move(text), slot);
}

/* Triple DES: encipher with the first key, decipher with the second, encipher with the first */

void DES::TripleEncrypt(std::string block, bool hexForm)
{
    DESFastPath blocks(*this);
    des_modes::TripleEncrypt(*this, blocks, block.data(), block.size(), hexForm);
}

void DES::TripleDecrypt(std::string block, bool hexForm)
{
    DESFastPath blocks(*this);
    des_modes::TripleDecrypt(*this, blocks, block.data(), block.size(), hexForm);
}

void DES::TripleEncryptAnyLength(std::string text)
{
    DESFastPath blocks(*this);
    des_modes::TripleEncryptAnyLength(*this, blocks, text);
}

void DES::TripleDecryptAnyLength(std::string text)
{
    DESFastPath blocks(*this);
    des_modes::TripleDecryptAnyLength(*this, blocks, text);
}

/* Files: whole chunks of blocks at once, then the last block once more through the block engine so
 * that the block buffers end as a block-by-block run leaves them. */

bool DES::FileEncrypt(std::string path, bool triple)
{
    DESFastPath blocks(*this);
    return blocks.CipherFile(path, path + des_modes::kFileSuffix, triple, false);
}

bool DES::FileDecrypt(std::string path, bool triple)
{
    // Nothing would remain of a shorter path once the suffix is removed: refused before opening anything.
    if (path.size() < des_modes::kFileSuffixLength)
        return false;
    DESFastPath blocks(*this);
    return blocks.CipherFile(path, des_modes::DecryptedFileName(path), triple, true);
}
