#include "codec/CodecBase64.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace CommonKit {
namespace {

constexpr char kAlphabet[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr char kLineBreak[3] = "\r\n";
constexpr int kGroupsPerLine = 19;  // 76 characters

// Indexed by character code up to 'z'; every character outside the alphabet reads as 0.
constexpr std::size_t kDecodeTableSize = 123;

constexpr std::array<std::uint8_t, kDecodeTableSize> make_decode_table()
{
    std::array<std::uint8_t, kDecodeTableSize> table{};
    for (std::uint8_t value = 0; value < 64; ++value) {
        table[static_cast<unsigned char>(kAlphabet[value])] = value;
    }
    return table;
}

constexpr std::array<std::uint8_t, kDecodeTableSize> kDecodeTable = make_decode_table();

std::uint8_t sextet_of(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code < kDecodeTableSize ? kDecodeTable[code] : 0;
}

bool is_line_break(char c)
{
    return c == '\n' || c == '\r';
}

void append_full_group(const unsigned char* b, std::string& out)
{
    out += kAlphabet[b[0] >> 2];
    out += kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)];
    out += kAlphabet[((b[1] & 15) << 2) | (b[2] >> 6)];
    out += kAlphabet[b[2] & 63];
}

void append_final_group(const unsigned char* b, int remainder, std::string& out)
{
    out += kAlphabet[b[0] >> 2];
    if (remainder == 1) {
        out += kAlphabet[(b[0] & 3) << 4];
        out += kPad;
        out += kPad;
        return;
    }
    out += kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)];
    out += kAlphabet[(b[1] & 15) << 2];
    out += kPad;
}

// A group cut short by the end of the text is decoded as if '=' filled its missing
// places; a lone last character (six bits, not a whole byte) writes nothing. So no
// character past the length is read and at most 3 bytes per 4 characters are written.
std::array<char, 4> take_group(const char* text, int available)
{
    std::array<char, 4> group{kPad, kPad, kPad, kPad};
    for (int k = 0; k < 4 && k < available; ++k) {
        group[k] = text[k];
    }
    return group;
}

struct GroupResult {
    int bytes_written;
    int characters_read;
};

GroupResult decode_group(const std::array<char, 4>& group, unsigned char* out)
{
    const std::uint8_t s0 = sextet_of(group[0]);
    const std::uint8_t s1 = sextet_of(group[1]);
    const std::uint8_t s2 = sextet_of(group[2]);
    const std::uint8_t s3 = sextet_of(group[3]);
    out[0] = static_cast<unsigned char>((s0 << 2) | (s1 >> 4));
    if (group[2] == kPad) {
        return {1, 2};
    }
    out[1] = static_cast<unsigned char>(((s1 & 15) << 4) | (s2 >> 2));
    if (group[3] == kPad) {
        return {2, 3};
    }
    out[2] = static_cast<unsigned char>(((s2 & 3) << 6) | s3);
    return {3, 4};
}

}  // namespace

CCodecBase64::CCodecBase64() = default;

CCodecBase64::~CCodecBase64() = default;

CCodecBase64::CCodecBase64(const CCodecBase64&) = default;

CCodecBase64& CCodecBase64::operator=(const CCodecBase64&) = default;

bool CCodecBase64::operator==(const CCodecBase64&)
{
    return true;
}

int CCodecBase64::Encode(const unsigned char* bytes, int count, std::string& out)
{
    if (count > 0) {
        const int full_groups = count / 3;
        out.reserve(out.size() + static_cast<std::size_t>(full_groups + 1) * 4 +
                    static_cast<std::size_t>(full_groups / kGroupsPerLine) * 2);
        for (int group = 1; group <= full_groups; ++group) {
            append_full_group(bytes + (group - 1) * 3, out);
            if (group % kGroupsPerLine == 0) {
                out += kLineBreak;
            }
        }
        const int remainder = count % 3;
        if (remainder != 0) {
            append_final_group(bytes + full_groups * 3, remainder, out);
        }
    }
    return static_cast<int>(out.size());
}

int CCodecBase64::Decode(const char* text, int length, unsigned char* out)
{
    int position = 0;
    int unconsumed = length;
    int written = 0;
    while (unconsumed > 0) {
        if (is_line_break(text[position])) {
            ++position;
            --unconsumed;
            continue;
        }
        const int available = length - position;
        if (available == 1) {
            break;
        }
        const GroupResult result = decode_group(take_group(text + position, available), out + written);
        written += result.bytes_written;
        position += result.characters_read;
        unconsumed -= 4;
    }
    return written;
}

}  // namespace CommonKit
