// CommonKit::CCodecBase64: whole groups and full lines through tables, everything else through the exact loop.
#include "codec/CodecBase64.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace CommonKit {
namespace {

constexpr char kAlphabet[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr char kLineBreak[3] = "\r\n";

// A full line: 19 groups, 57 bytes, 76 characters and the line break.
constexpr int kGroupsPerLine = 19;
constexpr int kLineBytes = 3 * kGroupsPerLine;
constexpr int kLineChars = 4 * kGroupsPerLine;
constexpr int kLineWithBreakChars = kLineChars + 2;

// Eight bytes as one number, the first most significant.
std::uint64_t load_big_endian_64(const unsigned char* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
}

// The Count low bytes of value, the lowest first.
template <std::size_t Count>
void store_low_bytes(std::uint64_t value, void* out)
{
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    std::memcpy(out, &value, Count);
}

/* Encoding: the two characters of every 12-bit value, the first in the low byte. The tables are
 * built on first use, so that they take no room in the library file. */
using PairTable = std::array<std::uint16_t, 4096>;

PairTable make_pair_table()
{
    PairTable table;
    for (std::size_t value = 0; value < table.size(); ++value) {
        const auto first = static_cast<unsigned char>(kAlphabet[value >> 6]);
        const auto second = static_cast<unsigned char>(kAlphabet[value & 63]);
        table[value] = static_cast<std::uint16_t>(first | (second << 8));
    }
    return table;
}

const PairTable& pair_table()
{
    static const PairTable kTable = make_pair_table();
    return kTable;
}

std::uint32_t load_big_endian_24(const unsigned char* bytes)
{
    return (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | bytes[2];
}

// Three bytes to four characters.
void encode_group(const PairTable& pairs, const unsigned char* bytes, char* text)
{
    const std::uint32_t value = load_big_endian_24(bytes);
    store_low_bytes<4>(pairs[value >> 12] | (std::uint32_t{pairs[value & 0xFFF]} << 16), text);
}

// Six bytes to eight characters, read as one word: the caller has 8 bytes to read.
void encode_two_groups(const PairTable& pairs, const unsigned char* bytes, char* text)
{
    const std::uint64_t word = load_big_endian_64(bytes);
    store_low_bytes<8>(pairs[word >> 52] | (std::uint64_t{pairs[(word >> 40) & 0xFFF]} << 16) |
                           (std::uint64_t{pairs[(word >> 28) & 0xFFF]} << 32) |
                           (std::uint64_t{pairs[(word >> 16) & 0xFFF]} << 48),
                       text);
}

// The whole groups of count bytes, two at a time while 8 bytes remain to be read.
char* encode_groups(const PairTable& pairs, const unsigned char* bytes, int count, char* text)
{
    int done = 0;
    for (; done + 8 <= count; done += 6, text += 8) {
        encode_two_groups(pairs, bytes + done, text);
    }
    for (; done + 3 <= count; done += 3, text += 4) {
        encode_group(pairs, bytes + done, text);
    }
    return text;
}

void encode_final_group(const unsigned char* b, int remainder, char* text)
{
    text[0] = kAlphabet[b[0] >> 2];
    if (remainder == 1) {
        text[1] = kAlphabet[(b[0] & 3) << 4];
        text[2] = kPad;
    } else {
        text[1] = kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)];
        text[2] = kAlphabet[(b[1] & 15) << 2];
    }
    text[3] = kPad;
}

std::size_t encoded_length(int count)
{
    const auto bytes = static_cast<std::size_t>(count);
    return (bytes + 2) / 3 * 4 + bytes / kLineBytes * 2;
}

// Full lines with their breaks, then the rest: the text has room for exactly encoded_length(count).
void encode_into(const unsigned char* bytes, int count, char* text)
{
    const PairTable& pairs = pair_table();
    const int line_bytes = count / kLineBytes * kLineBytes;
    for (int done = 0; done < line_bytes; done += kLineBytes) {
        text = encode_groups(pairs, bytes + done, kLineBytes, text);
        text = std::copy_n(kLineBreak, 2, text);
    }
    text = encode_groups(pairs, bytes + line_bytes, count - line_bytes, text);
    const int remainder = count % 3;
    if (remainder != 0) {
        encode_final_group(bytes + count - remainder, remainder, text);
    }
}

/* Decoding. A group of four characters goes through one table per place, whose entries hold the
 * character's bits already where they land among the three bytes, the first byte lowest, so that
 * the four entries OR-ed together are the bytes. Bit 31 marks characters outside the alphabet. */
using PlaceTables = std::array<std::array<std::uint32_t, 256>, 4>;

constexpr std::uint32_t kOutsideMark = 0x80000000;

std::uint32_t low_first(std::uint32_t b0, std::uint32_t b1, std::uint32_t b2)
{
    return b0 | (b1 << 8) | (b2 << 16);
}

PlaceTables make_place_tables()
{
    PlaceTables tables;
    for (auto& table : tables) {
        table.fill(kOutsideMark);
    }
    for (std::uint32_t value = 0; value < 64; ++value) {
        const auto code = static_cast<unsigned char>(kAlphabet[value]);
        tables[0][code] = low_first(value << 2, 0, 0);
        tables[1][code] = low_first(value >> 4, (value & 15) << 4, 0);
        tables[2][code] = low_first(0, value >> 2, (value & 3) << 6);
        tables[3][code] = low_first(0, 0, value);
    }
    return tables;
}

const PlaceTables& place_tables()
{
    static const PlaceTables kTables = make_place_tables();
    return kTables;
}

std::uint32_t group_bytes(const PlaceTables& tables, const char* text)
{
    const auto* codes = reinterpret_cast<const unsigned char*>(text);
    return tables[0][codes[0]] | tables[1][codes[1]] | tables[2][codes[2]] | tables[3][codes[3]];
}

/* Up to a line's whole groups, as long as they hold only characters of the alphabet; returns how
 * many. Those decode exactly as the general loop below decodes them, and a pair of groups is
 * written only once both are known to be whole, so nothing is written beyond them. */
int decode_whole_groups(const PlaceTables& tables, const char* text, unsigned char* out)
{
    int done = 0;
    for (; done + 2 <= kGroupsPerLine; done += 2) {
        const std::uint32_t first = group_bytes(tables, text + 4 * done);
        const std::uint32_t second = group_bytes(tables, text + 4 * done + 4);
        if (((first | second) & kOutsideMark) != 0) {
            return done;
        }
        store_low_bytes<6>(first | (std::uint64_t{second} << 24), out + 3 * done);
    }
    const std::uint32_t last = group_bytes(tables, text + 4 * done);
    if ((last & kOutsideMark) != 0) {
        return done;
    }
    store_low_bytes<3>(last, out + 3 * done);
    return kGroupsPerLine;
}

bool is_line_break(char c)
{
    return c == '\n' || c == '\r';
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

// Characters outside the alphabet, '=' among them, count as 0 here: the place tables hold only the mark for them.
GroupResult decode_group(const PlaceTables& tables, const std::array<char, 4>& group, unsigned char* out)
{
    const std::uint32_t bytes = group_bytes(tables, group.data());
    out[0] = static_cast<unsigned char>(bytes);
    if (group[2] == kPad) {
        return {1, 2};
    }
    out[1] = static_cast<unsigned char>(bytes >> 8);
    if (group[3] == kPad) {
        return {2, 3};
    }
    out[2] = static_cast<unsigned char>(bytes >> 16);
    return {3, 4};
}

struct Cursor {
    int position;
    // Runs ahead of the position after a padded group, whose characters from its first '=' on are
    // read again as the next group's.
    int unconsumed;
    int written;
};

/* Whole groups from the cursor on, and the break after a full line of them; false when the next
 * group is not whole. Only with a line and its break unconsumed, so that the general loop would
 * take every one of these steps too. */
bool take_whole_groups(const PlaceTables& tables, const char* text, unsigned char* out, Cursor& cursor)
{
    if (cursor.unconsumed < kLineWithBreakChars) {
        return false;
    }
    const char* line = text + cursor.position;
    const int groups = decode_whole_groups(tables, line, out + cursor.written);
    const bool line_break = groups == kGroupsPerLine && line[kLineChars] == '\r' && line[kLineChars + 1] == '\n';
    const int characters = 4 * groups + (line_break ? 2 : 0);
    cursor.position += characters;
    cursor.unconsumed -= characters;
    cursor.written += 3 * groups;
    return groups > 0;
}

// One step of the general loop: a line break skipped or a group decoded; false at a lone last character.
bool take_step(const PlaceTables& tables, const char* text, int length, unsigned char* out, Cursor& cursor)
{
    if (is_line_break(text[cursor.position])) {
        ++cursor.position;
        --cursor.unconsumed;
        return true;
    }
    const int available = length - cursor.position;
    if (available == 1) {
        return false;
    }
    const GroupResult result =
        decode_group(tables, take_group(text + cursor.position, available), out + cursor.written);
    cursor.written += result.bytes_written;
    cursor.position += result.characters_read;
    cursor.unconsumed -= 4;
    return true;
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
        const std::size_t start = out.size();
        out.resize(start + encoded_length(count));
        encode_into(bytes, count, &out[start]);
    }
    return static_cast<int>(out.size());
}

int CCodecBase64::Decode(const char* text, int length, unsigned char* out)
{
    const PlaceTables& tables = place_tables();
    Cursor cursor{0, length, 0};
    while (cursor.unconsumed > 0) {
        if (!take_whole_groups(tables, text, out, cursor) && !take_step(tables, text, length, out, cursor)) {
            break;
        }
    }
    return cursor.written;
}

}  // namespace CommonKit
