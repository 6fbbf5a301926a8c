// CleanPlaintextMark with any count on any state of the plaintext buffer: the count (4 bytes, in the machine's
// order), a fill byte for the whole buffer, then its first bytes. The object must end as the rule says, and
// nothing outside the buffer may change.
#include "fuzz_harness.h"

#include <algorithm>
#include <cstring>

namespace {

// The rule, on a copy of the buffer. Counts that no decipherment produces change nothing; otherwise the
// character after the text becomes NUL, and so do the trailing marks of the last 7 unless a NUL is among them.
void clean_as_expected(char* buffer, std::int32_t count)
{
    if (count <= 0 || count > 4088) {
        return;
    }
    buffer[count] = '\0';
    const int window = std::max(0, count - 7);
    if (std::find(buffer + window, buffer + count, '\0') != buffer + count) {
        return;
    }
    for (int position = count - 1; position >= window && buffer[position] == '$'; --position) {
        buffer[position] = '\0';
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) {
        return 0;
    }
    std::int32_t count = 0;
    std::memcpy(&count, data, sizeof count);
    const auto des = std::make_unique<DES>();
    char* buffer = des->GetPlaintextAnyLength();
    std::memset(buffer, data[4], 4096);
    std::memcpy(buffer, data + 5, std::min<std::size_t>(size - 5, 4096));
    std::vector<char> expected = ozu::test::object_bytes(*des);
    clean_as_expected(expected.data() + (buffer - reinterpret_cast<char*>(des.get())), count);
    des->CleanPlaintextMark(count);
    ozu::test::require(ozu::test::object_bytes(*des) == expected);
    return 0;
}
