// The input layout shared by the cipher fuzzers: one mode byte, two 8-byte keys, then the text.
#ifndef OZU_FUZZ_CIPHER_INPUT_H
#define OZU_FUZZ_CIPHER_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "des/DES.h"

namespace ozu::fuzz {

enum class CipherMode : std::uint8_t { FirstSlot, SecondSlot, TripleTwoKeys, TripleOneKey };

struct CipherInput {
    CipherMode mode;
    std::string firstKey;
    std::string secondKey;
    std::string text;
};

inline constexpr std::size_t kKeyBytes = 8;
inline constexpr std::size_t kHeaderBytes = 1 + 2 * kKeyBytes;
inline constexpr std::uint8_t kModeCount = 4;
inline constexpr std::size_t kPlaintextCapacity = 4096;
inline constexpr std::size_t kCiphertextCapacity = 8192;

inline std::optional<CipherInput> read_cipher_input(const std::uint8_t* data, std::size_t size)
{
    if (size < kHeaderBytes) {
        return std::nullopt;
    }
    const char* bytes = reinterpret_cast<const char*>(data);
    return CipherInput{static_cast<CipherMode>(data[0] % kModeCount), std::string(bytes + 1, kKeyBytes),
                       std::string(bytes + 1 + kKeyBytes, kKeyBytes),
                       std::string(bytes + kHeaderBytes, size - kHeaderBytes)};
}

inline bool is_triple(CipherMode mode)
{
    return mode == CipherMode::TripleTwoKeys || mode == CipherMode::TripleOneKey;
}

inline bool slot_of(CipherMode mode)
{
    return mode == CipherMode::SecondSlot;
}

// On the heap at its exact size, so that a write past the object trips AddressSanitizer.
inline std::unique_ptr<DES> keyed_des(const CipherInput& input)
{
    auto des = std::make_unique<DES>();
    des->InitializeKey(input.firstKey, false);
    des->InitializeKey(input.mode == CipherMode::TripleOneKey ? input.firstKey : input.secondKey, true);
    return des;
}

inline void decipher(DES& des, CipherMode mode, const std::string& ciphertext)
{
    if (is_triple(mode)) {
        des.TripleDecryptAnyLength(ciphertext);
    } else {
        des.DecryptAnyLength(ciphertext, slot_of(mode));
    }
}

inline void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace ozu::fuzz

#endif
