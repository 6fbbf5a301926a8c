// A decimal number from an option's text, within bounds.
#ifndef OZU_SERVER_DECIMAL_TEXT_H
#define OZU_SERVER_DECIMAL_TEXT_H

#include <cstdlib>
#include <optional>
#include <string>

namespace ozu::server {

// The whole text as a number from lowest to highest; none otherwise.
inline std::optional<long> parse_decimal(const std::string& text, long lowest, long highest)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

}  // namespace ozu::server

#endif
