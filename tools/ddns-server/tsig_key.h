// The TSIG key that signs the server's DNS updates, read from a file in BIND's key syntax
// (what tsig-keygen writes).
#ifndef OZU_SERVER_TSIG_KEY_H
#define OZU_SERVER_TSIG_KEY_H

#include <optional>
#include <string>

namespace ozu::server {

struct TsigKey {
    std::string name;       // the key's domain name, as the DNS server knows it
    std::string algorithm;  // the algorithm's domain name on the wire, "hmac-sha256." for example
    std::string secret;     // Base64, as in the file
};

// The one key statement of a key file's text; nullopt and the reason in *error otherwise.
std::optional<TsigKey> parse_tsig_key(const std::string& text, std::string* error);

// The same for the file at path.
std::optional<TsigKey> read_tsig_key(const std::string& path, std::string* error);

}  // namespace ozu::server

#endif
