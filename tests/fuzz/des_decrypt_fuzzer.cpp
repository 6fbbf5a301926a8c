// Arbitrary text deciphered, once or as triple DES: the object stays inside its buffers and leaves terminated
// texts; a text that is not whole 16-digit blocks, or longer than 8176, gets the error sentence.
#include "fuzz_harness.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using ozu::test::require;
    if (size < ozu::test::CipherInput::kHeaderBytes) {
        return 0;
    }
    const ozu::test::CipherInput input(data, size);
    DES& des = *input.des;
    input.triple ? des.TripleDecryptAnyLength(input.text) : des.DecryptAnyLength(input.text, input.slot);
    require(std::memchr(des.GetPlaintextAnyLength(), 0, 4096) && std::memchr(des.GetCiphertextAnyLength(), 0, 8192));
    const std::size_t length = input.text.size();
    // With two different keys a refused text is enciphered and deciphered again into noise.
    if ((length < 16 || length % 16 != 0 || length > 8176) && input.mode != input.TripleTwoKeys) {
        require(std::strcmp(des.GetPlaintextAnyLength(), "Please enter your correct cipertext!") == 0);
    }
    return 0;
}
