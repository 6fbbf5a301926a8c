// Small helpers for tests that drive the host entry points.
#ifndef OZU_TEST_CLIENT_CALLS_H
#define OZU_TEST_CLIENT_CALLS_H

#include <optional>
#include <string>

namespace ozu_test {

// The name the client has cached, read through ozu_dnsupdate_get_domainname (its message for
// "no name" is swallowed).
std::optional<std::string> cached_domain_name();

// The part of every HTTP request after the path and query.
std::string request_head(const std::string& server);

}  // namespace ozu_test

#endif
