#include "support/client_calls.h"

#include <array>

#include "ddns/ozu_dnsupdate.h"
#include "des/DES.h"
#include "support/output_capture.h"

namespace ozu_test {

namespace {

template <typename Call>
CallOutcome captured(Call call)
{
    OutputCapture capture;
    const int result = call();
    const CapturedOutput output = capture.finish();
    return CallOutcome{result, output.out, output.err};
}

}  // namespace

bool operator==(const CallOutcome& left, const CallOutcome& right)
{
    return left.result == right.result && left.out == right.out && left.err == right.err;
}

std::ostream& operator<<(std::ostream& stream, const CallOutcome& outcome)
{
    return stream << "{result " << outcome.result << ", out \"" << outcome.out << "\", err \"" << outcome.err
                  << "\"}";
}

CallOutcome captured_once(int offline)
{
    return captured([offline] { return ozu_dnsupdate_once(offline); });
}

CallOutcome captured_getname(char* buffer, unsigned int size)
{
    return captured([buffer, size] { return ozu_dnsupdate_getname(buffer, size); });
}

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

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string expected_ciphertext(const std::string& plain)
{
    // With one key in both slots, triple encryption reduces to one pass under that key.
    DES cipher;
    cipher.InitializeKey(OZU_TEST_DDNS_KEY, false);
    cipher.EncryptAnyLength(plain, false);
    return cipher.GetCiphertextAnyLength();
}

}  // namespace ozu_test
