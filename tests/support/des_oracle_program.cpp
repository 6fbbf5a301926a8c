// The oracle as a program of the build machine, for tests built for a target without OpenSSL: each line
// "e KEY BLOCK" or "d KEY BLOCK" (hexadecimal) is answered with oracle_encrypt's or oracle_decrypt's block, in
// hexadecimal, on a line of its own.
#include <cstdint>
#include <iostream>

#include "support/des_oracle.h"

int main()
{
    char direction = 0;
    std::uint64_t key = 0;
    std::uint64_t block = 0;
    while (std::cin >> direction >> std::hex >> key >> block) {
        const std::string key_bytes = ozu::test::bytes_of(key);
        std::cout << std::hex
                  << (direction == 'e' ? ozu::test::oracle_encrypt(key_bytes, block)
                                       : ozu::test::oracle_decrypt(key_bytes, block))
                  << std::endl;
    }
}
