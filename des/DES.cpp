#include "des/DES.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

static_assert(sizeof(DES) == 13848, "the host allocates DES objects with this size");

/* Tables of FIPS 46-3, bit positions counted from 1 (bit 1 is the most significant bit of the first byte). */

static const std::array<std::int32_t, 56> PC1_Table = {
    57, 49, 41, 33, 25, 17, 9,
    1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27,
    19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15,
    7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29,
    21, 13, 5,  28, 20, 12, 4,
};

static const std::array<std::int32_t, 48> PC2_Table = {
    14, 17, 11, 24, 1,  5,
    3,  28, 15, 6,  21, 10,
    23, 19, 12, 4,  26, 8,
    16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55,
    30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53,
    46, 42, 50, 36, 29, 32,
};

static const std::array<std::int32_t, 16> Shift_Table = {
    1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1,
};

static const std::array<std::int32_t, 64> IP_Table = {
    58, 50, 42, 34, 26, 18, 10, 2,
    60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6,
    64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1,
    59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5,
    63, 55, 47, 39, 31, 23, 15, 7,
};

static const std::array<std::uint8_t, 64> IPR_Table = {
    40, 8, 48, 16, 56, 24, 64, 32,
    39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30,
    37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28,
    35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26,
    33, 1, 41, 9,  49, 17, 57, 25,
};

static const std::array<std::int32_t, 48> E_Table = {
    32, 1,  2,  3,  4,  5,
    4,  5,  6,  7,  8,  9,
    8,  9,  10, 11, 12, 13,
    12, 13, 14, 15, 16, 17,
    16, 17, 18, 19, 20, 21,
    20, 21, 22, 23, 24, 25,
    24, 25, 26, 27, 28, 29,
    28, 29, 30, 31, 32, 1,
};

static const std::array<std::uint8_t, 32> P_Table = {
    16, 7,  20, 21,
    29, 12, 28, 17,
    1,  15, 23, 26,
    5,  18, 31, 10,
    2,  8,  24, 14,
    32, 27, 3,  9,
    19, 13, 30, 6,
    22, 11, 4,  25,
};

static const std::array<std::array<std::array<std::int32_t, 16>, 4>, 8> S_Box = {{
    {{  // S1
        {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7}},
        {{0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8}},
        {{4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0}},
        {{15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    }},
    {{  // S2
        {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10}},
        {{3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5}},
        {{0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15}},
        {{13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    }},
    {{  // S3
        {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8}},
        {{13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1}},
        {{13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7}},
        {{1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    }},
    {{  // S4
        {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15}},
        {{13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9}},
        {{10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4}},
        {{3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    }},
    {{  // S5
        {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9}},
        {{14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6}},
        {{4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14}},
        {{11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    }},
    {{  // S6
        {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11}},
        {{10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8}},
        {{9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6}},
        {{4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    }},
    {{  // S7
        {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1}},
        {{13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6}},
        {{1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2}},
        {{6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    }},
    {{  // S8
        {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7}},
        {{1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2}},
        {{7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8}},
        {{2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}},
    }},
}};

namespace {

constexpr int kBlockBytes = 8;
constexpr int kBlockBits = 64;
constexpr int kHalfBits = 32;
constexpr int kKeyHalfBits = 28;
constexpr int kSubKeyBits = 48;
constexpr int kSBoxInputBits = 6;
constexpr int kSBoxCount = 8;
constexpr int kRounds = 16;
constexpr int kHexBlockChars = 16;
constexpr int kMarkWindow = 7;
constexpr int kMaxMessageChars = 4088;
constexpr int kMaxCiphertextChars = 8176;
constexpr char kPaddingMark = '$';
constexpr char kFileSuffix[] = ".DES";
constexpr std::size_t kFileSuffixLength = sizeof(kFileSuffix) - 1;
constexpr char kBadCiphertextText[] = "Please enter your correct cipertext!";

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

int lowerHexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string hexTextToBlockBits(const std::string& text)
{
    std::string bits;
    for (char c : text) {
        const int value = lowerHexDigitValue(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        if (value >= 0)
            bits += nibbleString(value);
    }
    // Fewer than 16 hex digits: the missing low-order bits are zero.
    bits.resize(kBlockBits, '0');
    return bits;
}

bool isWholeCiphertextLength(std::size_t length)
{
    // Longer texts would not fit the plaintext buffer, so they get the same answer as malformed ones.
    return length >= kHexBlockChars && length % kHexBlockChars == 0 && length <= kMaxCiphertextChars;
}

int trailingMarkCount(const char* window, int length)
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
std::string middleText(const char* plaintext, const char* lastBlock, std::size_t ciphertextLength)
{
    if (!isWholeCiphertextLength(ciphertextLength))
        return plaintext;
    const std::size_t decipheredChars = ciphertextLength / kHexBlockChars * kBlockBytes;
    const int marks = trailingMarkCount(lastBlock + kBlockBytes - kMarkWindow, kMarkWindow);
    return std::string(plaintext, decipheredChars - static_cast<std::size_t>(marks));
}

std::int64_t fileSize(std::ifstream& input)
{
    input.seekg(0, std::ios::end);
    const std::int64_t size = input.tellg();
    input.seekg(0, std::ios::beg);
    return size;
}

template <typename BlockCipher>
bool copyBlocks(std::ifstream& input, std::ofstream& output, std::int32_t size, BlockCipher cipherBlock)
{
    // A failed read or write stops the copy and makes the result false; what was written stays.
    char block[kBlockBytes];
    for (std::int32_t i = 0; i < size / kBlockBytes; ++i) {
        if (!input.read(block, kBlockBytes))
            return false;
        if (!output.write(cipherBlock(std::string(block, kBlockBytes)), kBlockBytes))
            return false;
    }
    for (std::int32_t i = 0; i < size % kBlockBytes; ++i) {
        char byte = 0;
        if (!input.get(byte) || !output.put(byte))
            return false;
    }
    return static_cast<bool>(output.flush());
}

template <typename BlockCipher>
bool transformFile(const std::string& inputPath, const std::string& outputPath, BlockCipher cipherBlock)
{
    std::ifstream input(inputPath, std::ios::binary);
    if (!input)
        return false;
    const std::int64_t size = fileSize(input);
    // A size that cannot be found or does not fit the signed 32-bit count (2 GiB and more) is refused
    // before the output file is created.
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max())
        return false;
    std::ofstream output(outputPath, std::ios::binary | std::ios::trunc);
    if (!output)
        return false;
    const bool copied = copyBlocks(input, output, static_cast<std::int32_t>(size), cipherBlock);
    input.close();
    output.close();
    return copied;
}

}  // namespace

// Clearing everything makes the accessors and an unloaded key slot well defined.
DES::DES()
    : m_cSubKey{}, m_cCiphertext{}, m_cPlaintext{}, m_cCiphertextAnyLength{}, m_cPlaintextAnyLength{}
{
}

DES::~DES() = default;

/* Bit strings */

std::string DES::HexCharToBinary(char c)
{
    const int value = lowerHexDigitValue(c);
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
    // A text shorter than a block is completed with zero bytes, as a 7-byte text is by its terminator.
    if (bytes.size() < static_cast<std::size_t>(kBlockBytes))
        bytes.resize(kBlockBytes, '\0');
    for (int k = 0; k < kBlockBits; ++k) {
        const auto byte = static_cast<unsigned char>(bytes[k / 8]);
        bits[k] = SingleBinaryToChar((byte >> (7 - k % 8)) & 1);
    }
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
    char* c = key56;
    char* d = key56 + kKeyHalfBits;
    for (int round = 0; round < kRounds; ++round) {
        std::rotate(c, c + Shift_Table[round], c + kKeyHalfBits);
        std::rotate(d, d + Shift_Table[round], d + kKeyHalfBits);
        permuteBits(PC2_Table, key56, subKeys[round]);
    }
}

/* Block cipher */

void DES::EncryptData(std::string data, bool slot, bool hexForm)
{
    char block[kBlockBits];
    InitialPermuteData(data, block, true);
    for (int round = 0; round < kRounds; ++round)
        FunctionF(block, block + kHalfBits, slot, round);
    // The halves stay as the last round left them (no exchange before the final permutation).
    char output[kBlockBits];
    permuteBits(IPR_Table, block, output);
    const std::string result = BinaryToString(output, kBlockBits, hexForm);
    if (hexForm) {
        std::copy_n(result.data(), kHexBlockChars, m_cCiphertext);
    } else {
        std::copy_n(result.data(), kBlockBytes, m_cCiphertext);
        // The unused second half is cleared rather than left holding an older result.
        std::fill_n(m_cCiphertext + kBlockBytes, kBlockBytes, '\0');
    }
}

void DES::DecryptData(std::string data, bool slot, bool hexForm)
{
    char block[kBlockBits];
    InitialPermuteData(data, block, !hexForm);
    char first[kHalfBits];
    char second[kHalfBits];
    std::copy_n(block + kHalfBits, kHalfBits, first);
    std::copy_n(block, kHalfBits, second);
    for (int round = kRounds - 1; round >= 0; --round)
        FunctionF(first, second, slot, round);
    std::copy_n(second, kHalfBits, block);
    std::copy_n(first, kHalfBits, block + kHalfBits);
    char output[kBlockBits];
    permuteBits(IPR_Table, block, output);
    std::copy_n(BinaryToString(output, kBlockBits, false).data(), kBlockBytes, m_cPlaintext);
}

void DES::InitialPermuteData(std::string data, char* bits, bool rawBytes)
{
    char block[kBlockBits];
    if (rawBytes)
        TranslateBytes2Bits(data, block);
    else
        std::copy_n(hexTextToBlockBits(data).data(), kBlockBits, block);
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
        text.append(kBlockBytes - text.size(), kPaddingMark);
    return text;
}

void DES::CleanPlaintextMark(int count)
{
    // Counts outside 0..4088 never come from a decipherment and are ignored; below 7 the window
    // starts at the beginning of the buffer. Either way nothing outside it is touched.
    if (count <= 0 || count > kMaxMessageChars)
        return;
    m_cPlaintextAnyLength[count] = '\0';
    const int windowLength = std::min(count, kMarkWindow);
    char* window = m_cPlaintextAnyLength + count - windowLength;
    const int marks = trailingMarkCount(window, windowLength);
    std::fill_n(window + windowLength - marks, marks, '\0');
}

void DES::EncryptAnyLength(std::string text, bool slot)
{
    // A message too long for the ciphertext buffer is refused with an empty result.
    if (text.size() > static_cast<std::size_t>(kMaxMessageChars)) {
        m_cCiphertextAnyLength[0] = '\0';
        return;
    }
    // The empty message is enciphered as eight NUL bytes, which decipher back to the empty text.
    if (text.empty())
        text.assign(kBlockBytes, '\0');
    const std::size_t blockCount = (text.size() + kBlockBytes - 1) / kBlockBytes;
    for (std::size_t i = 0; i < blockCount; ++i) {
        EncryptData(FillToEightBits(text.substr(i * kBlockBytes, kBlockBytes)), slot, true);
        std::copy_n(m_cCiphertext, kHexBlockChars, m_cCiphertextAnyLength + i * kHexBlockChars);
    }
    m_cCiphertextAnyLength[blockCount * kHexBlockChars] = '\0';
}

void DES::DecryptAnyLength(std::string text, bool slot)
{
    if (!isWholeCiphertextLength(text.size())) {
        std::copy_n(kBadCiphertextText, sizeof(kBadCiphertextText), m_cPlaintextAnyLength);
        return;
    }
    const std::size_t blockCount = text.size() / kHexBlockChars;
    for (std::size_t i = 0; i < blockCount; ++i) {
        DecryptData(text.substr(i * kHexBlockChars, kHexBlockChars), slot, true);
        std::copy_n(m_cPlaintext, kBlockBytes, m_cPlaintextAnyLength + i * kBlockBytes);
    }
    CleanPlaintextMark(static_cast<int>(blockCount) * kBlockBytes);
}

/* Triple DES: encipher with the first key, decipher with the second, encipher with the first */

void DES::TripleEncrypt(std::string block, bool hexForm)
{
    const std::size_t cipherLength = hexForm ? kHexBlockChars : kBlockBytes;
    EncryptData(block, false, hexForm);
    DecryptData(std::string(m_cCiphertext, cipherLength), true, hexForm);
    EncryptData(std::string(m_cPlaintext, kBlockBytes), false, hexForm);
}

void DES::TripleDecrypt(std::string block, bool hexForm)
{
    const std::size_t cipherLength = hexForm ? kHexBlockChars : kBlockBytes;
    DecryptData(block, false, hexForm);
    EncryptData(std::string(m_cPlaintext, kBlockBytes), true, hexForm);
    DecryptData(std::string(m_cCiphertext, cipherLength), false, hexForm);
}

void DES::TripleEncryptAnyLength(std::string text)
{
    EncryptAnyLength(text, false);
    if (m_cCiphertextAnyLength[0] == '\0')
        return;  // an over-long message stays refused
    const std::string firstCiphertext = m_cCiphertextAnyLength;
    DecryptAnyLength(firstCiphertext, true);
    EncryptAnyLength(middleText(m_cPlaintextAnyLength, m_cPlaintext, firstCiphertext.size()), false);
}

void DES::TripleDecryptAnyLength(std::string text)
{
    DecryptAnyLength(text, false);
    EncryptAnyLength(middleText(m_cPlaintextAnyLength, m_cPlaintext, text.size()), true);
    DecryptAnyLength(m_cCiphertextAnyLength, false);
}

/* Files */

bool DES::FileEncrypt(std::string path, bool triple)
{
    return transformFile(path, path + kFileSuffix, [this, triple](const std::string& block) {
        if (triple)
            TripleEncrypt(block, false);
        else
            EncryptData(block, false, false);
        return static_cast<const char*>(m_cCiphertext);
    });
}

bool DES::FileDecrypt(std::string path, bool triple)
{
    // Nothing would remain of a shorter path once the suffix is removed: refused before opening anything.
    if (path.size() < kFileSuffixLength)
        return false;
    const std::string outputPath = path.substr(0, path.size() - kFileSuffixLength);
    return transformFile(path, outputPath, [this, triple](const std::string& block) {
        if (triple)
            TripleDecrypt(block, false);
        else
            DecryptData(block, false, false);
        return static_cast<const char*>(m_cPlaintext);
    });
}
