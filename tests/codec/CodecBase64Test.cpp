#include "codec/CodecBase64.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using CommonKit::CCodecBase64;

constexpr unsigned char kUntouched = 0xA5;
const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string Repeat(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

std::string Encoded(const Bytes& bytes)
{
    std::string out;
    CCodecBase64().Encode(bytes.data(), static_cast<int>(bytes.size()), out);
    return out;
}

// Room for the decoder's worst case plus a tail that must stay untouched.
struct DecodeResult {
    int count;
    Bytes bytes;
};

DecodeResult Decoded(const std::string& text, std::size_t declaredLength)
{
    Bytes out(declaredLength + 16, kUntouched);
    const int count = CCodecBase64().Decode(text.data(), static_cast<int>(declaredLength), out.data());
    for (std::size_t k = count < 0 ? 0 : static_cast<std::size_t>(count); k < out.size(); ++k) {
        EXPECT_EQ(out[k], kUntouched) << "byte " << k << " written beyond the count";
    }
    out.resize(count < 0 ? 0 : static_cast<std::size_t>(count));
    return {count, out};
}

DecodeResult Decoded(const std::string& text)
{
    return Decoded(text, text.size());
}

// Memory whose last usable byte is followed by an inaccessible page, so any access
// past the end faults, in every build and under the emulator as well.
class GuardedRegion {
public:
    explicit GuardedRegion(std::size_t size) : m_size(size)
    {
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        m_usable = (size / page + 1) * page;
        m_mapping = mmap(nullptr, m_usable + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_mapping == MAP_FAILED) {
            m_mapping = nullptr;
            return;
        }
        m_ok = mprotect(static_cast<char*>(m_mapping) + m_usable, page, PROT_NONE) == 0;
        m_mappedSize = m_usable + page;
    }
    ~GuardedRegion()
    {
        if (m_mapping != nullptr) {
            munmap(m_mapping, m_mappedSize);
        }
    }
    GuardedRegion(const GuardedRegion&) = delete;
    GuardedRegion& operator=(const GuardedRegion&) = delete;

    bool ok() const { return m_ok; }
    unsigned char* data() { return static_cast<unsigned char*>(m_mapping) + (m_usable - m_size); }

private:
    std::size_t m_size;
    std::size_t m_usable = 0;
    std::size_t m_mappedSize = 0;
    void* m_mapping = nullptr;
    bool m_ok = false;
};

struct EncodeCase {
    const char* name;
    Bytes input;
    std::string expected;
};

const std::string kLine = Repeat("Zm9v", 19);  // "foo" x 19: one full 76-character line

const std::vector<EncodeCase> kEncodeCases = {
    {"empty", {}, ""},
    {"one byte", BytesOf("f"), "Zg=="},
    {"two bytes", BytesOf("fo"), "Zm8="},
    {"three bytes", BytesOf("foo"), "Zm9v"},
    {"four bytes", BytesOf("foob"), "Zm9vYg=="},
    {"five bytes", BytesOf("fooba"), "Zm9vYmE="},
    {"six bytes", BytesOf("foobar"), "Zm9vYmFy"},
    {"high bits", {0xFF, 0xFF, 0xFF, 0xFE}, "/////g=="},
    {"whole alphabet",
     {0x00, 0x10, 0x83, 0x10, 0x51, 0x87, 0x20, 0x92, 0x8B, 0x30, 0xD3, 0x8F, 0x41, 0x14, 0x93, 0x51,
      0x55, 0x97, 0x61, 0x96, 0x9B, 0x71, 0xD7, 0x9F, 0x82, 0x18, 0xA3, 0x92, 0x59, 0xA7, 0xA2, 0x9A,
      0xAB, 0xB2, 0xDB, 0xAF, 0xC3, 0x1C, 0xB3, 0xD3, 0x5D, 0xB7, 0xE3, 0x9E, 0xBB, 0xF3, 0xDF, 0xBF},
     kAlphabet},
    {"56 bytes", BytesOf(Repeat("foo", 18) + "fo"), Repeat("Zm9v", 18) + "Zm8="},
    {"57 bytes", BytesOf(Repeat("foo", 19)), kLine + "\r\n"},
    {"58 bytes", BytesOf(Repeat("foo", 19) + "f"), kLine + "\r\nZg=="},
    {"59 bytes", BytesOf(Repeat("foo", 19) + "fo"), kLine + "\r\nZm8="},
    {"60 bytes", BytesOf(Repeat("foo", 19) + "bar"), kLine + "\r\nYmFy"},
    {"114 bytes", BytesOf(Repeat("foo", 38)), kLine + "\r\n" + kLine + "\r\n"},
    {"115 bytes", BytesOf(Repeat("foo", 38) + "f"), kLine + "\r\n" + kLine + "\r\nZg=="},
};

TEST(CodecBase64Encode, ProducesExactText)
{
    for (const EncodeCase& c : kEncodeCases) {
        std::string out;
        const int result = CCodecBase64().Encode(c.input.data(), static_cast<int>(c.input.size()), out);
        EXPECT_EQ(out, c.expected) << c.name;
        EXPECT_EQ(result, static_cast<int>(c.expected.size())) << c.name;
    }
}

TEST(CodecBase64Encode, AppendsAndCountsWhatTheStringHeld)
{
    std::string out = "hello";
    const Bytes foo = BytesOf("foo");
    EXPECT_EQ(CCodecBase64().Encode(foo.data(), 3, out), 9);
    EXPECT_EQ(out, "helloZm9v");

    // Lines are counted from the start of this encoding, not of the string.
    std::string line = "hello";
    const Bytes full = BytesOf(Repeat("foo", 19));
    EXPECT_EQ(CCodecBase64().Encode(full.data(), 57, line), 5 + 78);
    EXPECT_EQ(line, "hello" + kLine + "\r\n");
}

TEST(CodecBase64Encode, NonPositiveCountAppendsNothing)
{
    const Bytes foo = BytesOf("foo");
    for (int count : {0, -1, -3, -2147483647 - 1}) {
        std::string out = "abc";
        EXPECT_EQ(CCodecBase64().Encode(foo.data(), count, out), 3) << count;
        EXPECT_EQ(out, "abc") << count;
    }
}

TEST(CodecBase64Encode, BreaksEveryFullLineOfEveryLength)
{
    for (int n = 0; n <= 300; ++n) {
        const std::string text = Encoded(Bytes(static_cast<std::size_t>(n), 0x5A));
        std::size_t start = 0;
        std::size_t breaks = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
            EXPECT_EQ(at - start, 76u) << "length " << n;
            start = at + 2;
            ++breaks;
        }
        EXPECT_EQ(breaks, static_cast<std::size_t>(n / 57)) << "length " << n;
        EXPECT_LE(text.size() - start, 76u) << "length " << n;
        EXPECT_EQ(text.size(), static_cast<std::size_t>((n + 2) / 3 * 4 + n / 57 * 2)) << "length " << n;
    }
}

TEST(CodecBase64RoundTrip, RestoresRandomBytesOfEveryLength)
{
    std::mt19937 generator(20240517);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int n = 0; n <= 300; ++n) {
        Bytes input(static_cast<std::size_t>(n));
        for (unsigned char& b : input) {
            b = static_cast<unsigned char>(byte(generator));
        }
        const DecodeResult result = Decoded(Encoded(input));
        EXPECT_EQ(result.count, n);
        EXPECT_EQ(result.bytes, input) << "length " << n;
    }
}

struct DecodeCase {
    const char* name;
    std::string text;
    Bytes expected;
};

const std::vector<DecodeCase> kDecodeCases = {
    {"full group", "QUJD", BytesOf("ABC")},
    {"two pads", "QQ==", BytesOf("A")},
    {"one pad", "QUI=", BytesOf("AB")},
    {"pad in third place ends the group", "QQ=Q", BytesOf("A")},
    {"whole alphabet", kAlphabet,
     {0x00, 0x10, 0x83, 0x10, 0x51, 0x87, 0x20, 0x92, 0x8B, 0x30, 0xD3, 0x8F, 0x41, 0x14, 0x93, 0x51,
      0x55, 0x97, 0x61, 0x96, 0x9B, 0x71, 0xD7, 0x9F, 0x82, 0x18, 0xA3, 0x92, 0x59, 0xA7, 0xA2, 0x9A,
      0xAB, 0xB2, 0xDB, 0xAF, 0xC3, 0x1C, 0xB3, 0xD3, 0x5D, 0xB7, 0xE3, 0x9E, 0xBB, 0xF3, 0xDF, 0xBF}},
    {"CR LF between groups", "QUJD\r\nQUJD", BytesOf("ABCABC")},
    {"lone LF and CR between groups", "\nQUJD\r\r\nQUI=", BytesOf("ABCAB")},
    {"CR inside a group is 0", "QU\rD", {0x41, 0x40, 0x03}},
    {"LF inside a group is 0", "Q\nJD", {0x40, 0x02, 0x43}},
    {"space and tab are 0", " \tJD", {0x00, 0x02, 0x43}},
    // The read position stops at the first '=' of a padded group, so what follows
    // is read from there while the consumed count moves on by four.
    {"group after padding starts at the first pad", "QQ==QUJD", {0x41, 0x00, 0x04, 0x14}},
};

TEST(CodecBase64Decode, ProducesExactBytes)
{
    for (const DecodeCase& c : kDecodeCases) {
        const DecodeResult result = Decoded(c.text);
        EXPECT_EQ(result.count, static_cast<int>(c.expected.size())) << c.name;
        EXPECT_EQ(result.bytes, c.expected) << c.name;
    }
}

TEST(CodecBase64Decode, MapsEveryCharacterCode)
{
    for (int code = 0; code <= 255; ++code) {
        const auto c = static_cast<char>(code);
        const std::size_t index = kAlphabet.find(c);
        const int value = index == std::string::npos ? 0 : static_cast<int>(index);
        const DecodeResult result = Decoded(std::string{'A', c, 'A', 'A'});
        const Bytes expected = {static_cast<unsigned char>(value >> 4),
                                static_cast<unsigned char>((value & 15) << 4), 0x00};
        EXPECT_EQ(result.count, 3) << "code " << code;
        EXPECT_EQ(result.bytes, expected) << "code " << code;
    }
}

TEST(CodecBase64Decode, NonPositiveLengthWritesNothing)
{
    for (int length : {0, -1, -4, -2147483647 - 1}) {
        unsigned char out[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
        EXPECT_EQ(CCodecBase64().Decode("QUJD", length, out), 0) << length;
        for (unsigned char b : out) {
            EXPECT_EQ(b, kUntouched) << length;
        }
    }
}

struct ShortGroupCase {
    const char* name;
    std::string text;
    std::string poison;  // follows the text; reading any of it would change the result
    Bytes expected;
};

const std::vector<ShortGroupCase> kShortGroupCases = {
    {"three characters", "QUI", "D", BytesOf("AB")},
    {"two characters", "QQ", "UJ", BytesOf("A")},
    {"one character", "Q", "UJD", {}},
    {"three after a group", "QUJDQUI", "D", BytesOf("ABCAB")},
    {"two after a group", "QUJDQU", "JD", BytesOf("ABCA")},
    {"one after a group", "QUJDQ", "UJD", BytesOf("ABC")},
    {"three after a line break", "\r\nQUJ", "D", BytesOf("AB")},
    {"one after a line break", "QUJD\r\nQ", "UJD", BytesOf("ABC")},
};

TEST(CodecBase64Decode, ShortFinalGroupIgnoresWhatFollowsTheLength)
{
    for (const ShortGroupCase& c : kShortGroupCases) {
        const DecodeResult result = Decoded(c.text + c.poison, c.text.size());
        EXPECT_EQ(result.count, static_cast<int>(c.expected.size())) << c.name;
        EXPECT_EQ(result.bytes, c.expected) << c.name;
    }
}

TEST(CodecBase64Decode, ShortFinalGroupNeverTouchesMemoryPastTheEnds)
{
    for (const ShortGroupCase& c : kShortGroupCases) {
        GuardedRegion text(c.text.size());
        GuardedRegion out(c.expected.size());
        ASSERT_TRUE(text.ok() && out.ok());
        std::memcpy(text.data(), c.text.data(), c.text.size());
        const int count = CCodecBase64().Decode(reinterpret_cast<const char*>(text.data()),
                                                static_cast<int>(c.text.size()), out.data());
        ASSERT_EQ(count, static_cast<int>(c.expected.size())) << c.name;
        EXPECT_EQ(Bytes(out.data(), out.data() + count), c.expected) << c.name;
    }
}

TEST(CodecBase64Decode, WritesAtMostThreeBytesPerFourCharacters)
{
    const std::string text = "QUJDRUZH\r\nSUpL";
    for (std::size_t length = 0; length <= text.size(); ++length) {
        GuardedRegion out(length * 3 / 4);
        ASSERT_TRUE(out.ok());
        const int count = CCodecBase64().Decode(text.data(), static_cast<int>(length), out.data());
        EXPECT_LE(count, static_cast<int>(length * 3 / 4)) << "length " << length;
    }
}

TEST(CodecBase64Object, CopiesAssignsAndAlwaysComparesEqual)
{
    CCodecBase64 first;
    const CCodecBase64 copy(first);
    CCodecBase64 other;
    EXPECT_EQ(&(other = copy), &other);
    EXPECT_TRUE(first == copy);
    EXPECT_TRUE(other == first);
}

}  // namespace
