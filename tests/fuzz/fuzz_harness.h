// What the fuzz targets share: a check that aborts, the input of the cipher targets and a byte image of a
// DES object.
#ifndef OZU_TESTS_FUZZ_HARNESS_H
#define OZU_TESTS_FUZZ_HARNESS_H

#include "des/DES.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace ozu::test {

inline void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

inline std::vector<char> object_bytes(const DES& des)
{
    const char* begin = reinterpret_cast<const char*>(&des);
    return std::vector<char>(begin, begin + sizeof(DES));
}

// One mode byte, two 8-byte keys, then the text. The mode (its value modulo 4) is single DES in the first or
// the second slot, or triple DES with two keys or with the first key twice. The keys go into an object on the
// heap at its exact size, where AddressSanitizer sees a write past it.
struct CipherInput {
    enum Mode { FirstSlot, SecondSlot, TripleTwoKeys, TripleOneKey };
    static constexpr std::size_t kHeaderBytes = 17;

    CipherInput(const std::uint8_t* data, std::size_t size)
        : mode(static_cast<Mode>(data[0] % 4)), text(data + kHeaderBytes, data + size)
    {
        const std::uint8_t* second_key = data + (mode == TripleOneKey ? 1 : 9);
        des->InitializeKey(std::string(data + 1, data + 9), false);
        des->InitializeKey(std::string(second_key, second_key + 8), true);
    }

    Mode mode;
    bool slot = mode == SecondSlot;
    bool triple = mode >= TripleTwoKeys;
    std::string text;
    std::unique_ptr<DES> des = std::make_unique<DES>();
};

}  // namespace ozu::test

#endif
