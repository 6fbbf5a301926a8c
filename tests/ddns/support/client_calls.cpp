#include "support/client_calls.h"

#include <array>

#include "ddns/ozu_dnsupdate.h"
#include "support/output_capture.h"

namespace ozu_test {

std::optional<std::string> cached_domain_name()
{
    std::array<char, 4096> name{};
    OutputCapture capture;
    const int result = ozu_dnsupdate_get_domainname(name.data());
    capture.finish();
    if (result != 0) {
        return std::nullopt;
    }
    return std::string(name.data());
}

std::string request_head(const std::string& server)
{
    return " HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:" + server + "\r\n\r\n";
}

}  // namespace ozu_test
