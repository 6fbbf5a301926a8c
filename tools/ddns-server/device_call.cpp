#include "device_call.h"

#include <cctype>

namespace ozu::server {
namespace {

// A DNS label: the name <label>.<zone> must be publishable.
constexpr std::size_t kMaxLabelLength = 63;
constexpr std::size_t kMacHexDigits = 12;

std::string lower(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool is_host_label(const std::string& text)
{
    if (text.empty() || text.size() > kMaxLabelLength || text.front() == '-' || text.back() == '-') {
        return false;
    }
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-') {
            return false;
        }
    }
    return true;
}

// The MAC's twelve hex digits in lower case, whatever separates its bytes; none when it has another count.
std::optional<std::string> mac_digits(const std::string& mac)
{
    std::string digits;
    for (const char c : mac) {
        if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
            digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (c != ':' && c != '-' && c != '.') {
            return std::nullopt;
        }
    }
    if (digits.size() != kMacHexDigits) {
        return std::nullopt;
    }
    return digits;
}

}  // namespace

std::string registry_name(const std::string& serial)
{
    return lower(serial);
}

std::string status_problem(const std::string& status)
{
    return status == "online" || status == "offline" ? "" : "status is neither online nor offline";
}

const char* interface_name(Interface interface)
{
    switch (interface) {
    case Interface::Plain:
        return "type0";
    case Interface::Diy:
        return "type1";
    case Interface::Registration:
        return "type2";
    case Interface::RegisterChannel:
        break;
    }
    return "register";
}

IdentityResult identify(const DeviceCall& call)
{
    if (call.mac.empty()) {
        return {std::nullopt, "no MAC"};
    }
    if (call.interface == Interface::Plain || call.interface == Interface::Diy) {
        const std::optional<std::string> digits = mac_digits(call.mac);
        if (!digits) {
            return {std::nullopt, "MAC is not six hex bytes"};
        }
        return {Identity{*digits, lower(call.mac), *digits}, ""};
    }
    if (!is_host_label(call.serial)) {
        return {std::nullopt, "serial is not a host name label"};
    }
    return {Identity{registry_name(call.serial), lower(call.mac), call.serial}, ""};
}

std::optional<int> parse_port_text(const std::string& text)
{
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value > 65535) {
        return std::nullopt;
    }
    return value;
}

}  // namespace ozu::server
