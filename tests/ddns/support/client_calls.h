// Small helpers for tests that drive the host entry points.
#ifndef OZU_TEST_CLIENT_CALLS_H
#define OZU_TEST_CLIENT_CALLS_H

#include <optional>
#include <ostream>
#include <string>

namespace ozu_test {

// The device every client test configures, and the head of a 200 reply.
inline const std::string kMac = "00:11:22:33:44:55";
inline const std::string kIp = "10.0.0.5";
inline const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

// What one host call returned and wrote on each stream.
struct CallOutcome {
    int result;
    std::string out;
    std::string err;
};

bool operator==(const CallOutcome& left, const CallOutcome& right);
std::ostream& operator<<(std::ostream& stream, const CallOutcome& outcome);

// A failure that writes nothing on either stream.
inline const CallOutcome kQuietFailure{-1, "", ""};

CallOutcome captured_once(int offline);
CallOutcome captured_getname(char* buffer, unsigned int size);

// The name the client has cached, read through ozu_dnsupdate_get_domainname (its message for
// "no name" is swallowed).
std::optional<std::string> cached_domain_name();

// The part of every HTTP request after the path and query.
std::string request_head(const std::string& server);

bool starts_with(const std::string& text, const std::string& prefix);

// The ciphertext text the client must send for a query, made with the exported DES class and
// the built-in key's text (a compile definition of the tests only).
std::string expected_ciphertext(const std::string& plain);

}  // namespace ozu_test

#endif
