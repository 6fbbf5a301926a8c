// A byte copy of a DES object, to show that an operation changed nothing but its result buffer.
#ifndef OZU_FUZZ_OBJECT_BYTES_H
#define OZU_FUZZ_OBJECT_BYTES_H

#include <cstddef>
#include <vector>

#include "des/DES.h"

namespace ozu::fuzz {

inline std::vector<char> object_bytes(const DES& des)
{
    const char* begin = reinterpret_cast<const char*>(&des);
    return std::vector<char>(begin, begin + sizeof(DES));
}

inline std::size_t offset_in(const DES& des, const char* member)
{
    return static_cast<std::size_t>(member - reinterpret_cast<const char*>(&des));
}

}  // namespace ozu::fuzz

#endif
