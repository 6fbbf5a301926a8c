// The Base64 codec as it was before its table-driven rewrite: one group at a time, one character at a time.
#include <string>

namespace ozu::test::reference {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet_of(char c)
{
    const char* found = std::char_traits<char>::find(kAlphabet, 64, c);
    return found == nullptr ? 0 : static_cast<int>(found - kAlphabet);
}

}  // namespace

int base64_encode(const unsigned char* bytes, int count, std::string& out)
{
    for (int group = 1; group <= count / 3; ++group) {
        const unsigned char* b = bytes + (group - 1) * 3;
        out += {kAlphabet[b[0] >> 2], kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)],
                kAlphabet[((b[1] & 15) << 2) | (b[2] >> 6)], kAlphabet[b[2] & 63]};
        if (group % 19 == 0) {
            out += "\r\n";
        }
    }
    const unsigned char* b = bytes + count / 3 * 3;
    if (count > 0 && count % 3 == 1) {
        out += {kAlphabet[b[0] >> 2], kAlphabet[(b[0] & 3) << 4], '=', '='};
    } else if (count > 0 && count % 3 == 2) {
        out += {kAlphabet[b[0] >> 2], kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)], kAlphabet[(b[1] & 15) << 2], '='};
    }
    return static_cast<int>(out.size());
}

// A group cut short by the end of the text reads '=' in its missing places; a lone last character writes nothing.
int base64_decode(const char* text, int length, unsigned char* out)
{
    int position = 0;
    int written = 0;
    for (int unconsumed = length; unconsumed > 0;) {
        if (text[position] == '\n' || text[position] == '\r') {
            ++position;
            --unconsumed;
            continue;
        }
        if (length - position == 1) {
            break;
        }
        char g[4] = {'=', '=', '=', '='};
        for (int k = 0; k < 4 && position + k < length; ++k) {
            g[k] = text[position + k];
        }
        out[written++] = static_cast<unsigned char>((sextet_of(g[0]) << 2) | (sextet_of(g[1]) >> 4));
        if (g[2] != '=') {
            out[written++] = static_cast<unsigned char>(((sextet_of(g[1]) & 15) << 4) | (sextet_of(g[2]) >> 2));
        }
        if (g[2] != '=' && g[3] != '=') {
            out[written++] = static_cast<unsigned char>(((sextet_of(g[2]) & 3) << 6) | sextet_of(g[3]));
        }
        position += g[2] == '=' ? 2 : g[3] == '=' ? 3 : 4;
        unconsumed -= 4;
    }
    return written;
}

}  // namespace ozu::test::reference
