// CommonKit::CCodecBase64, the Base64 codec exported to the host.
#ifndef OZU_CODEC_BASE64_H
#define OZU_CODEC_BASE64_H

#include <string>

#include "ozu_export.h"

namespace CommonKit {

/* Base64 (RFC 4648 alphabet, '=' padding) with 76-character lines ending in CR LF. */
class OZU_API CCodecBase64 {
public:
    CCodecBase64();
    ~CCodecBase64();
    CCodecBase64(const CCodecBase64& other);
    CCodecBase64& operator=(const CCodecBase64& other);
    bool operator==(const CCodecBase64& other);

    /* Appends the encoding of count bytes to out; returns out's new length. */
    int Encode(const unsigned char* bytes, int count, std::string& out);
    /* Writes the decoded bytes to out (3 per 4 characters at most); returns their count. */
    int Decode(const char* text, int length, unsigned char* out);
};

}  // namespace CommonKit

#endif
