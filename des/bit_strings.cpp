// The DES object, its result buffers and its members on bit strings, one '0' or '1' character a bit.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "des/DES.h"
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

/* Sub-key character k of round r is character kSubKeySources[r][k] of the 56 characters after
 * permuted choice 1: PC2 applied after the accumulated rotations of C and D. */
constexpr std::array<std::array<std::uint8_t, 48>, 16> make_sub_key_sources()
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

constexpr auto kSubKeySources = make_sub_key_sources();

int slot_index(bool slot)
{
    return slot ? 1 : 0;
}

template <typename Entry, std::size_t N>
void permute_bits(const std::array<Entry, N>& table, const char* input, char* output)
{
    for (std::size_t k = 0; k < N; ++k) {
        output[k] = input[table[k] - 1];
    }
}

std::string nibble_string(int value)
{
    std::string bits(4, '0');
    for (int i = 0; i < 4; ++i) {
        if ((value >> (3 - i)) & 1) {
            bits[i] = '1';
        }
    }
    return bits;
}

/* Bit k of the block as character k, the most significant bit first. */
void block_to_bits(std::uint64_t block, char* bits)
{
    for (int k = 0; k < kBlockBits; ++k) {
        bits[k] = static_cast<char>('0' + ((block >> (kBlockBits - 1 - k)) & 1));
    }
}

}  // namespace

// Clearing everything makes the accessors and an unloaded key slot well defined.
DES::DES() : m_cSubKey{}, m_cCiphertext{}, m_cPlaintext{}, m_cCiphertextAnyLength{}, m_cPlaintextAnyLength{} {}

DES::~DES() = default;

/* Bit strings */

std::string DES::HexCharToBinary(char c)
{
    const int value = ozu::des::lower_hex_digit_value(c);
    return value < 0 ? std::string() : nibble_string(value);
}

std::string DES::HexIntToBinary(int value)
{
    return value < 0 || value > 15 ? std::string() : nibble_string(value);
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
    block_to_bits(ozu::des::load_text_block(bytes.data(), bytes.size()), bits);
}

void DES::TranslateBits2Bytes(char* bits, char* bytes)
{
    std::uint64_t block = 0;
    for (int k = 0; k < kBlockBits; ++k) {
        block = (block << 1) | static_cast<std::uint64_t>(SingleCharToBinary(bits[k]));
    }
    ozu::des::store_block(block, reinterpret_cast<unsigned char*>(bytes));
}

std::string DES::BinaryToString(char* bits, int count, bool hex_form)
{
    if (count % 8 != 0) {
        return std::string();
    }
    if (!hex_form) {
        char bytes[kBlockBytes];
        TranslateBits2Bytes(bits, bytes);
        return std::string(bytes, kBlockBytes);
    }
    std::string hex;
    for (int group = 0; group < count / 8; ++group) {
        unsigned long value = 0;
        for (int i = 0; i < 8; ++i) {
            value = value * 2 + static_cast<unsigned long>(SingleCharToBinary(bits[group * 8 + i]));
        }
        char digits[16];
        my_itoa(value, digits, 16);
        if (value < 16) {
            hex += '0';
        }
        hex += digits;
    }
    return hex;
}

int my_itoa(unsigned long value, char* buffer, unsigned int radix)
{
    // Both conversions read an int-sized argument: narrowing to 32 bits first makes a 64-bit long
    // print as on the 32-bit target.
    const auto word = static_cast<std::uint32_t>(value);
    if (radix == 16) {
        return std::sprintf(buffer, "%x", static_cast<unsigned int>(word));
    }
    return std::sprintf(buffer, "%d", static_cast<int>(static_cast<std::int32_t>(word)));
}

/* Key schedule */

void DES::InitializeKey(std::string key, bool slot)
{
    ozu::des::write_sub_key_bits(ozu::des::load_text_block(key.data(), key.size()), m_cSubKey[slot_index(slot)]);
}

void DES::CreateSubKey(char* key56, char (*sub_keys)[48])
{
    // The rotations of C and D add up to 28 positions, a full turn, so key56 ends as it began.
    for (int round = 0; round < kRounds; ++round) {
        for (int k = 0; k < kSubKeyBits; ++k) {
            sub_keys[round][k] = key56[kSubKeySources[round][k]];
        }
    }
}

/* Block cipher */

void DES::InitialPermuteData(std::string data, char* bits, bool raw_bytes)
{
    char block[kBlockBits];
    if (raw_bytes) {
        TranslateBytes2Bits(data, block);
    } else {
        block_to_bits(ozu::des::read_hex_block(data.data(), data.size()), block);
    }
    permute_bits(IP_Table, block, bits);
}

void DES::FunctionF(char* left, char* right, bool slot, int round)
{
    char expanded[kSubKeyBits];
    ExpansionR(right, expanded);
    char mixed[kSubKeyBits];
    XOR(expanded, m_cSubKey[slot_index(slot)][round], kSubKeyBits, mixed);
    char permuted[kHalfBits];
    PermutationP(CompressFuncS(mixed), permuted);
    char new_right[kHalfBits];
    XOR(permuted, left, kHalfBits, new_right);
    std::copy_n(right, kHalfBits, left);
    std::copy_n(new_right, kHalfBits, right);
}

void DES::ExpansionR(char* right, char* expanded)
{
    permute_bits(E_Table, right, expanded);
}

void DES::XOR(char* a, char* b, int count, char* out)
{
    for (int i = 0; i < count; ++i) {
        out[i] = SingleBinaryToChar(SingleCharToBinary(a[i]) ^ SingleCharToBinary(b[i]));
    }
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
    if (input32.size() < static_cast<std::size_t>(kHalfBits)) {
        input32.resize(kHalfBits, '0');
    }
    permute_bits(P_Table, input32.data(), out);
}

/* Result buffers */

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
