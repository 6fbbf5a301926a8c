// The fast engine: S-box and P tables for single blocks and pairs, bit-sliced circuits for runs of blocks.
#include "des/fast_engine.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "des/DESTables.h"
#include "des/block_support.h"
#include "des/sbox_circuits.h"

namespace ozu::des {

namespace {

/* Single blocks: the S-boxes merged with P into one table per box. A round indexes a table with a
 * whole byte of a key-mixed word, whose top six bits are the box's input and whose two low bits,
 * from the neighbouring groups, are ignored: so a byte needs no shift or mask before the lookup. */
using SpTables = std::array<std::array<std::uint32_t, 256>, 8>;

SpTables make_sp_tables()
{
    SpTables tables{};
    for (int box = 0; box < 8; ++box) {
        for (int index = 0; index < 256; ++index) {
            const int input = index >> 2;
            const int row = ((input >> 4) & 2) | (input & 1);
            const int column = (input >> 1) & 15;
            const std::uint32_t substituted = static_cast<std::uint32_t>(S_Box[box][row][column]) << (28 - 4 * box);
            std::uint32_t permuted = 0;
            for (int k = 0; k < kHalfBits; ++k) {
                permuted |= ((substituted >> (32 - P_Table[k])) & 1U) << (31 - k);
            }
            tables[box][index] = permuted;
        }
    }
    return tables;
}

// Built on first use: 8 KiB that take no room in the library file.
const SpTables& sp_tables()
{
    static const SpTables kTables = make_sp_tables();
    return kTables;
}

std::uint32_t rotate_right(std::uint32_t value, int count)
{
    return (value >> count) | (value << (32 - count));
}

using SpreadSubKey = std::array<std::uint32_t, 2>;

/* E spreads R into eight overlapping six-bit groups. Rotated right by one, R holds the even groups
 * at bits 26, 18, 10 and 2; rotated left by three, the odd ones. */
[[gnu::always_inline]] inline std::uint32_t round_function(const SpTables& tables, std::uint32_t right,
                                                           const SpreadSubKey& sub_key)
{
    const std::uint32_t even = rotate_right(right, 1) ^ sub_key[0];
    const std::uint32_t odd = rotate_right(right, 29) ^ sub_key[1];
    return tables[0][even >> 24] | tables[2][(even >> 16) & 0xFF] | tables[4][(even >> 8) & 0xFF] |
           tables[6][even & 0xFF] | tables[1][odd >> 24] | tables[3][(odd >> 16) & 0xFF] |
           tables[5][(odd >> 8) & 0xFF] | tables[7][odd & 0xFF];
}

std::uint64_t join(std::uint32_t high, std::uint32_t low)
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

/* Deciphering starts from the exchanged halves and takes the sub-keys backwards: the same rounds
 * with the roles of the block's two words swapped, as the bit-string members do. */
template <bool Decrypting>
std::uint64_t cipher_single(const SubKeys& keys, std::uint64_t block)
{
    const SpTables& tables = sp_tables();
    auto high = static_cast<std::uint32_t>(block >> 32);
    auto low = static_cast<std::uint32_t>(block);
    initial_permutation(high, low);
    std::uint32_t& left = Decrypting ? low : high;
    std::uint32_t& right = Decrypting ? high : low;
    for (int round = 0; round < kRounds; ++round) {
        const SpreadSubKey& sub_key = keys.spread[Decrypting ? kRounds - 1 - round : round];
        left = std::exchange(right, left ^ round_function(tables, right, sub_key));
    }
    final_permutation(high, low);
    return join(high, low);
}

/* Independent blocks side by side keep the core busy while each waits on its table loads. */
template <bool Decrypting, std::size_t N>
void cipher_side_by_side(const SubKeys& keys, std::array<std::uint64_t, N>& blocks)
{
    const SpTables& tables = sp_tables();
    std::array<std::uint32_t, N> left;
    std::array<std::uint32_t, N> right;
    for (std::size_t i = 0; i < N; ++i) {
        auto high = static_cast<std::uint32_t>(blocks[i] >> 32);
        auto low = static_cast<std::uint32_t>(blocks[i]);
        initial_permutation(high, low);
        left[i] = Decrypting ? low : high;
        right[i] = Decrypting ? high : low;
    }
    for (int round = 0; round < kRounds; ++round) {
        const SpreadSubKey& sub_key = keys.spread[Decrypting ? kRounds - 1 - round : round];
        for (std::size_t i = 0; i < N; ++i) {
            left[i] = std::exchange(right[i], left[i] ^ round_function(tables, right[i], sub_key));
        }
    }
    for (std::size_t i = 0; i < N; ++i) {
        std::uint32_t high = Decrypting ? right[i] : left[i];
        std::uint32_t low = Decrypting ? left[i] : right[i];
        final_permutation(high, low);
        blocks[i] = join(high, low);
    }
}

/* Bit-sliced blocks: word j of a slice holds bit j of every block in the batch. SSE2 and NEON
 * give 128-bit words; elsewhere the native word. */

#if defined(__SSE2__) || defined(__ARM_NEON)
using Lane = std::uint64_t;
typedef Lane Slice __attribute__((vector_size(16)));
#elif UINTPTR_MAX > 0xFFFFFFFFu
using Lane = std::uint64_t;
using Slice = std::uint64_t;
#else
using Lane = std::uint32_t;
using Slice = std::uint32_t;
#endif

constexpr int kLaneBits = 8 * sizeof(Lane);
constexpr int kLanes = sizeof(Slice) / sizeof(Lane);
constexpr int kBatch = kLanes * kLaneBits;
constexpr int kLaneChunks = kBlockBits / kLaneBits;

using Planes = std::array<Slice, kBlockBits>;
using KeyMasks = std::array<std::array<Slice, kSubKeyBits>, kRounds>;
/* The low width bits of every 2 * width bits of a lane. */
constexpr Lane make_transpose_mask(int width)
{
    Lane mask = 0;
    for (int bit = 0; bit < kLaneBits; ++bit) {
        if (bit % (2 * width) < width) {
            mask |= Lane{1} << bit;
        }
    }
    return mask;
}

/* kLanes square bit matrices side by side, one in each lane: row r of every matrix in rows[r]. */
using SliceMatrix = std::array<Slice, kLaneBits>;

/* One step of the transpose: exchanges the off-diagonal blocks of side width in every block of
 * side 2 * width. */
template <int Width>
void transpose_step(SliceMatrix& rows)
{
    constexpr Lane kMask = make_transpose_mask(Width);
    for (int first = 0; first < kLaneBits; first += 2 * Width) {
        for (int k = first; k < first + Width; ++k) {
            const Slice t = (rows[k] ^ (rows[k + Width] >> Width)) & kMask;
            rows[k] ^= t;
            rows[k + Width] ^= t << Width;
        }
    }
}

/* Transposes every matrix of the slice, column 0 in the most significant bit of a lane. */
void transpose(SliceMatrix& rows)
{
    if constexpr (kLaneBits == 64) {
        transpose_step<32>(rows);
    }
    transpose_step<16>(rows);
    transpose_step<8>(rows);
    transpose_step<4>(rows);
    transpose_step<2>(rows);
    transpose_step<1>(rows);
}

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

Lane byte_swapped(Lane value)
{
    if constexpr (sizeof(Lane) == 8) {
        return __builtin_bswap64(value);
    } else {
        return __builtin_bswap32(value);
    }
}

/* Lanes are read and written most significant byte first. */
Lane load_lane(const unsigned char* bytes)
{
    Lane value;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (kLittleEndian) {
        value = byte_swapped(value);
    }
    return value;
}

void store_lane(Lane value, unsigned char* bytes)
{
    if constexpr (kLittleEndian) {
        value = byte_swapped(value);
    }
    std::memcpy(bytes, &value, sizeof value);
}

/* Where lane l, row r, chunk c lies in a batch: block l * kLaneBits + r, its c-th Lane-sized piece. */
std::size_t piece_offset(int lane, int row, int chunk)
{
    const std::size_t block = static_cast<std::size_t>(lane) * kLaneBits + static_cast<std::size_t>(row);
    return block * kBlockBytes + static_cast<std::size_t>(chunk) * sizeof(Lane);
}

void load_planes(const unsigned char* in, Planes& planes)
{
    for (int chunk = 0; chunk < kLaneChunks; ++chunk) {
        SliceMatrix rows;
        for (int row = 0; row < kLaneBits; ++row) {
            std::array<Lane, kLanes> lanes;
            for (int lane = 0; lane < kLanes; ++lane) {
                lanes[lane] = load_lane(in + piece_offset(lane, row, chunk));
            }
            std::memcpy(&rows[row], lanes.data(), sizeof(Slice));
        }
        transpose(rows);
        std::copy(rows.begin(), rows.end(), planes.begin() + chunk * kLaneBits);
    }
}

void store_planes(const Planes& planes, unsigned char* out)
{
    for (int chunk = 0; chunk < kLaneChunks; ++chunk) {
        SliceMatrix rows;
        std::copy_n(planes.begin() + chunk * kLaneBits, kLaneBits, rows.begin());
        transpose(rows);
        for (int row = 0; row < kLaneBits; ++row) {
            std::array<Lane, kLanes> lanes;
            std::memcpy(lanes.data(), &rows[row], sizeof(Slice));
            for (int lane = 0; lane < kLanes; ++lane) {
                store_lane(lanes[lane], out + piece_offset(lane, row, chunk));
            }
        }
    }
}

/* Where each bit of the S-box output lands after P, counted from 0. */
constexpr std::array<std::uint8_t, 32> make_inverse_p()
{
    std::array<std::uint8_t, 32> inverse{};
    for (int k = 0; k < kHalfBits; ++k) {
        inverse[P_Table[k] - 1] = static_cast<std::uint8_t>(k);
    }
    return inverse;
}

constexpr std::array<std::uint8_t, 32> kInverseP = make_inverse_p();

using SBoxCircuit = void (*)(Slice, Slice, Slice, Slice, Slice, Slice, Slice*);

template <int Box, SBoxCircuit Circuit>
void substitute(const Slice* right, const Slice* keys, Slice* left)
{
    constexpr int kFirst = 6 * Box;
    Slice out[4];
    Circuit(right[E_Table[kFirst] - 1] ^ keys[kFirst], right[E_Table[kFirst + 1] - 1] ^ keys[kFirst + 1],
            right[E_Table[kFirst + 2] - 1] ^ keys[kFirst + 2], right[E_Table[kFirst + 3] - 1] ^ keys[kFirst + 3],
            right[E_Table[kFirst + 4] - 1] ^ keys[kFirst + 4], right[E_Table[kFirst + 5] - 1] ^ keys[kFirst + 5], out);
    for (int bit = 0; bit < 4; ++bit) {
        left[kInverseP[4 * Box + bit]] ^= out[bit];
    }
}

void sliced_round(const Slice* right, const Slice* keys, Slice* left)
{
    substitute<0, sbox1<Slice>>(right, keys, left);
    substitute<1, sbox2<Slice>>(right, keys, left);
    substitute<2, sbox3<Slice>>(right, keys, left);
    substitute<3, sbox4<Slice>>(right, keys, left);
    substitute<4, sbox5<Slice>>(right, keys, left);
    substitute<5, sbox6<Slice>>(right, keys, left);
    substitute<6, sbox7<Slice>>(right, keys, left);
    substitute<7, sbox8<Slice>>(right, keys, left);
}

KeyMasks make_key_masks(const SubKeys& keys, bool decrypt)
{
    KeyMasks masks;
    for (int round = 0; round < kRounds; ++round) {
        const std::uint64_t sub_key = keys.bits[decrypt ? kRounds - 1 - round : round];
        for (int bit = 0; bit < kSubKeyBits; ++bit) {
            masks[round][bit] = Slice{} - static_cast<Lane>((sub_key >> (kSubKeyBits - 1 - bit)) & 1U);
        }
    }
    return masks;
}

/* One pass of the cipher over a batch after IP, leaving it as it stands before IP^-1. Decryption
 * starts from the exchanged halves and ends exchanged again, as the bit-string members do; after
 * the even number of rounds each half is back in its own words. */
void sliced_pass(const KeyMasks& masks, bool decrypt, Planes& block)
{
    Slice* left = block.data() + (decrypt ? kHalfBits : 0);
    Slice* right = block.data() + (decrypt ? 0 : kHalfBits);
    for (int round = 0; round < kRounds; ++round) {
        sliced_round(right, masks[round].data(), left);
        std::swap(left, right);
    }
}

struct Step {
    const SubKeys* keys;
    bool decrypt;
};

/* Single DES is one step, triple DES three, the third with the keys and direction of the first. */
struct Steps {
    std::array<Step, 3> steps;
    int count;
};

/* One batch through all steps. IP and IP^-1 only rename words, and the IP^-1 of one step and the
 * IP of the next cancel. */
void cipher_batch(const Steps& steps, const std::array<KeyMasks, 2>& masks, const unsigned char* in, unsigned char* out)
{
    Planes loaded;
    load_planes(in, loaded);
    Planes block;
    for (int k = 0; k < kBlockBits; ++k) {
        block[k] = loaded[IP_Table[k] - 1];
    }
    for (int step = 0; step < steps.count; ++step) {
        sliced_pass(masks[step == 1 ? 1 : 0], steps.steps[step].decrypt, block);
    }
    for (int k = 0; k < kBlockBits; ++k) {
        loaded[k] = block[IPR_Table[k] - 1];
    }
    store_planes(loaded, out);
}

std::uint64_t cipher_block(const Steps& steps, std::uint64_t block)
{
    for (int step = 0; step < steps.count; ++step) {
        const Step& s = steps.steps[step];
        block = s.decrypt ? decrypt_block(*s.keys, block) : encrypt_block(*s.keys, block);
    }
    return block;
}

void cipher_blocks(const Steps& steps, const unsigned char* in, unsigned char* out, std::size_t count)
{
    std::size_t done = 0;
    if (count >= static_cast<std::size_t>(kBatch)) {
        std::array<KeyMasks, 2> masks;
        for (int step = 0; step < std::min(steps.count, 2); ++step) {
            masks[step] = make_key_masks(*steps.steps[step].keys, steps.steps[step].decrypt);
        }
        for (; count - done >= static_cast<std::size_t>(kBatch); done += kBatch) {
            cipher_batch(steps, masks, in + 8 * done, out + 8 * done);
        }
    }
    for (; done < count; ++done) {
        store_block(cipher_block(steps, load_block(in + 8 * done)), out + 8 * done);
    }
}

/* Eight bit characters to one byte, the first character in the most significant bit: the '1'
 * bytes are found with a zero-byte test on the word, and one multiplication gathers them. */
std::uint32_t pack_eight_bits(const char* bits)
{
    std::uint64_t word = 0;
    std::memcpy(&word, bits, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);  // the first character in the lowest byte, as on little-endian
#endif
    constexpr std::uint64_t kOnes = 0x3131313131313131;
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
    const std::uint64_t differing = word ^ kOnes;
    const std::uint64_t is_one = ~(((differing & kLow7) + kLow7) | differing | kLow7);
    return static_cast<std::uint32_t>(((is_one >> 7) * 0x8040201008040201) >> 56);
}

/* The key schedule on words: C and D as 28-bit words, the first character of each in bit 27. */
constexpr int kKeyHalfBits = 28;
constexpr std::uint32_t kKeyHalfMask = (1U << kKeyHalfBits) - 1;
constexpr int kKeyNibbles = 16;
constexpr int kChunkBits = 7;
constexpr int kChunks = 2 * kKeyHalfBits / kChunkBits;

/* Both permuted choices a few bits at a time, and the sub-keys' characters a byte at a time. */
struct KeyTables {
    // Entry v of table i: the bits of C and D that nibble i of the key (0 the top one) sets when it reads v.
    std::array<std::array<std::uint64_t, 16>, kKeyNibbles> pc1;
    // Entry v of table j: the sub-key bits that characters 7j to 7j + 6 of C and D set when they read v, the first
    // of them in bit 6 of v.
    std::array<std::array<std::uint64_t, 1U << kChunkBits>, kChunks> pc2;
    // The eight bit characters of every byte value, its top bit first.
    std::array<std::array<char, 8>, 256> characters;
};

/* Sets bit in the entries of table whose value has bit (counted from the top of width bits) set. */
template <std::size_t N>
void mark_entries(std::array<std::uint64_t, N>& table, int width, int bit_from_top, std::uint64_t bit)
{
    for (std::uint32_t value = 0; value < N; ++value) {
        if (((value >> (width - 1 - bit_from_top)) & 1U) != 0) {
            table[value] |= bit;
        }
    }
}

KeyTables make_key_tables()
{
    KeyTables tables{};
    for (int k = 0; k < 2 * kKeyHalfBits; ++k) {
        const int source = PC1_Table[k] - 1;
        mark_entries(tables.pc1[source / 4], 4, source % 4, std::uint64_t{1} << (2 * kKeyHalfBits - 1 - k));
    }
    for (int k = 0; k < kSubKeyBits; ++k) {
        const int source = PC2_Table[k] - 1;
        mark_entries(tables.pc2[source / kChunkBits], kChunkBits, source % kChunkBits,
                     std::uint64_t{1} << (kSubKeyBits - 1 - k));
    }
    for (int value = 0; value < 256; ++value) {
        for (int k = 0; k < 8; ++k) {
            tables.characters[value][k] = static_cast<char>('0' + ((value >> (7 - k)) & 1));
        }
    }
    return tables;
}

// Built on first use: 12 KiB that take no room in the library file.
const KeyTables& key_tables()
{
    static const KeyTables kTables = make_key_tables();
    return kTables;
}

std::uint64_t permuted_choice_1(const KeyTables& tables, std::uint64_t key)
{
    std::uint64_t halves = 0;
    for (int nibble = 0; nibble < kKeyNibbles; ++nibble) {
        halves |= tables.pc1[nibble][(key >> (kBlockBits - 4 * (nibble + 1))) & 0xF];
    }
    return halves;
}

std::uint32_t rotate_key_half(std::uint32_t half, int count)
{
    return ((half << count) | (half >> (kKeyHalfBits - count))) & kKeyHalfMask;
}

std::uint64_t permuted_choice_2(const KeyTables& tables, std::uint64_t halves)
{
    std::uint64_t sub_key = 0;
    for (int chunk = 0; chunk < kChunks; ++chunk) {
        const int shift = 2 * kKeyHalfBits - kChunkBits * (chunk + 1);
        sub_key |= tables.pc2[chunk][(halves >> shift) & ((1U << kChunkBits) - 1)];
    }
    return sub_key;
}

void write_characters(const KeyTables& tables, std::uint64_t sub_key, char* bits)
{
    for (int byte = 0; byte < kSubKeyBits / 8; ++byte) {
        const std::array<char, 8>& characters = tables.characters[(sub_key >> (kSubKeyBits - 8 * (byte + 1))) & 0xFF];
        std::memcpy(bits + 8 * byte, characters.data(), characters.size());
    }
}

}  // namespace

void write_sub_key_bits(std::uint64_t key, char (*sub_keys)[48])
{
    const KeyTables& tables = key_tables();
    const std::uint64_t halves = permuted_choice_1(tables, key);
    auto c = static_cast<std::uint32_t>(halves >> kKeyHalfBits);
    auto d = static_cast<std::uint32_t>(halves) & kKeyHalfMask;
    for (int round = 0; round < kRounds; ++round) {
        c = rotate_key_half(c, Shift_Table[round]);
        d = rotate_key_half(d, Shift_Table[round]);
        write_characters(tables, permuted_choice_2(tables, (std::uint64_t{c} << kKeyHalfBits) | d), sub_keys[round]);
    }
}

SubKeys pack_sub_keys(const char (*sub_keys)[48])
{
    SubKeys packed{};
    for (int round = 0; round < kRounds; ++round) {
        std::uint64_t& bits = packed.bits[round];
        for (int byte = 0; byte < kSubKeyBits / 8; ++byte) {
            bits = (bits << 8) | pack_eight_bits(sub_keys[round] + 8 * byte);
        }
        for (int group = 0; group < 8; ++group) {
            packed.spread[round][group % 2] |= static_cast<std::uint32_t>((bits >> (42 - 6 * group)) & 0x3F)
                                               << (26 - 8 * (group / 2));
        }
    }
    return packed;
}

std::uint64_t encrypt_block(const SubKeys& keys, std::uint64_t block)
{
    return cipher_single<false>(keys, block);
}

std::uint64_t decrypt_block(const SubKeys& keys, std::uint64_t block)
{
    return cipher_single<true>(keys, block);
}

void encrypt_block_pair(const SubKeys& keys, std::array<std::uint64_t, 2>& blocks)
{
    cipher_side_by_side<false>(keys, blocks);
}

void decrypt_block_pair(const SubKeys& keys, std::array<std::uint64_t, 2>& blocks)
{
    cipher_side_by_side<true>(keys, blocks);
}

void encrypt_block_triple(const SubKeys& keys, std::array<std::uint64_t, 3>& blocks)
{
    cipher_side_by_side<false>(keys, blocks);
}

void decrypt_block_triple(const SubKeys& keys, std::array<std::uint64_t, 3>& blocks)
{
    cipher_side_by_side<true>(keys, blocks);
}

void encrypt_blocks(const SubKeys& keys, const unsigned char* in, unsigned char* out, std::size_t count)
{
    cipher_blocks({{{{&keys, false}}}, 1}, in, out, count);
}

void decrypt_blocks(const SubKeys& keys, const unsigned char* in, unsigned char* out, std::size_t count)
{
    cipher_blocks({{{{&keys, true}}}, 1}, in, out, count);
}

void triple_encrypt_blocks(const SubKeys& first, const SubKeys& second, const unsigned char* in, unsigned char* out,
                           std::size_t count)
{
    cipher_blocks({{{{&first, false}, {&second, true}, {&first, false}}}, 3}, in, out, count);
}

void triple_decrypt_blocks(const SubKeys& first, const SubKeys& second, const unsigned char* in, unsigned char* out,
                           std::size_t count)
{
    cipher_blocks({{{{&first, true}, {&second, false}, {&first, true}}}, 3}, in, out, count);
}

}  // namespace ozu::des
