// CleanPlaintextMark with any count on any state of the plaintext buffer: the input is the count
// (4 bytes, little-endian), a fill byte for the whole buffer, then the buffer's first bytes. The
// object must end exactly as the rule says and nothing outside the buffer may change.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "cipher_input.h"
#include "des/DES.h"
#include "object_bytes.h"

namespace {

using namespace ozu::fuzz;

constexpr std::size_t kCountBytes = 4;
constexpr std::size_t kStateOffset = kCountBytes + 1;
constexpr int kMaxDecipheredChars = 4088;
constexpr int kMarkWindow = 7;
constexpr char kPaddingMark = '$';

std::int32_t read_count(const std::uint8_t* data)
{
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < kCountBytes; ++k) {
        bits |= static_cast<std::uint32_t>(data[k]) << (8 * k);
    }
    return static_cast<std::int32_t>(bits);
}

// The rule, on a copy of the buffer. Counts that no decipherment produces change nothing.
void clean_as_expected(char* buffer, std::int32_t count)
{
    if (count <= 0 || count > kMaxDecipheredChars) {
        return;
    }
    buffer[count] = '\0';
    const int windowStart = std::max(0, count - kMarkWindow);
    if (std::find(buffer + windowStart, buffer + count, '\0') != buffer + count) {
        return;
    }
    for (int position = count - 1; position >= windowStart && buffer[position] == kPaddingMark; --position) {
        buffer[position] = '\0';
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kStateOffset) {
        return 0;
    }
    const std::int32_t count = read_count(data);
    const auto des = std::make_unique<DES>();
    char* buffer = des->GetPlaintextAnyLength();
    std::memset(buffer, data[kCountBytes], kPlaintextCapacity);
    std::memcpy(buffer, data + kStateOffset, std::min(size - kStateOffset, kPlaintextCapacity));

    std::vector<char> expected = object_bytes(*des);
    clean_as_expected(expected.data() + offset_in(*des, buffer), count);
    des->CleanPlaintextMark(count);
    require(object_bytes(*des) == expected);
    return 0;
}
