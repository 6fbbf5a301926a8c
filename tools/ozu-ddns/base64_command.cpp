// base64 encode|decode [FILE]: CommonKit::CCodecBase64 between a file or standard input and
// standard output.
#include <ozu_dnsupdate/CodecBase64.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"

namespace ozu::tool {
namespace {

const char kHelp[] =
    "usage: ozu-ddns base64 encode|decode [FILE]\n"
    "Encodes the bytes of FILE, or of standard input without FILE, as Base64 text with CR LF after\n"
    "every 76 characters; or decodes such text (CR LF or LF line breaks) back into bytes.\n";

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string read_stream(std::FILE* stream, const std::string& name)
{
    std::string bytes;
    std::vector<char> chunk(1 << 16);
    std::size_t count = 0;
    while ((count = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) {
        bytes.append(chunk.data(), count);
    }
    if (std::ferror(stream) != 0) {
        throw Failure("cannot read " + name + ": " + std::strerror(errno));
    }
    return bytes;
}

std::string read_input(const Arguments& arguments)
{
    if (arguments.operands.size() < 2) {
        return read_stream(stdin, "standard input");
    }
    const std::string& path = file_operand(arguments, 1);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw Failure("cannot open " + path + ": " + std::strerror(errno));
    }
    try {
        std::string bytes = read_stream(file, path);
        std::fclose(file);
        return bytes;
    } catch (...) {
        std::fclose(file);
        throw;
    }
}

void write_output(const std::string& bytes)
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
        throw Failure(std::string("cannot write standard output: ") + std::strerror(errno));
    }
}

// The codec decodes anything, mapping stray characters to zero bits: the text is checked first,
// group by group as the decoder reads it, so that corrupt input is refused rather than decoded.
void check_base64_text(const std::string& text)
{
    bool padded = false;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '\r' || text[at] == '\n') {
            ++at;
            continue;
        }
        const std::string where = " at offset " + std::to_string(at);
        if (padded) {
            throw Failure("not Base64 text: data after the padding" + where);
        }
        if (text.size() - at < 4) {
            throw Failure("not Base64 text: incomplete group" + where);
        }
        for (std::size_t i = 0; i < 4; ++i) {
            const char c = text[at + i];
            const bool padding = c == '=' && (i == 3 || (i == 2 && text[at + 3] == '='));
            if (kAlphabet.find(c) == std::string::npos && !padding) {
                throw Failure("not Base64 text: unexpected character at offset " + std::to_string(at + i));
            }
            padded = padded || padding;
        }
        at += 4;
    }
}

std::string encode(const std::string& bytes)
{
    if (bytes.size() > static_cast<std::size_t>(INT_MAX / 2)) {
        throw Failure("input too large to encode");
    }
    std::string text;
    CommonKit::CCodecBase64 codec;
    codec.Encode(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), text);
    // The codec ends its full lines only; the last line is ended the same way.
    if (!text.empty() && text.back() != '\n') {
        text += "\r\n";
    }
    return text;
}

std::string decode(const std::string& text)
{
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        throw Failure("input too large to decode");
    }
    check_base64_text(text);
    // After a padded group the codec reads on from the '=', so a final line break would decode as
    // another group: the text ends at its last group.
    const std::size_t length = text.find_last_not_of("\r\n") + 1;
    std::string bytes(length / 4 * 3 + 3, '\0');
    CommonKit::CCodecBase64 codec;
    const int count =
        codec.Decode(text.data(), static_cast<int>(length), reinterpret_cast<unsigned char*>(bytes.data()));
    bytes.resize(static_cast<std::size_t>(count));
    return bytes;
}

}  // namespace

int base64(const Words& words)
{
    const std::optional<Arguments> arguments = parse_command(words, {}, 1, 2, kHelp);
    if (!arguments) {
        return kExitSuccess;
    }
    const std::string& direction = arguments->operands[0];
    if (direction != "encode" && direction != "decode") {
        throw UsageError("unknown direction '" + direction + "' (encode or decode)");
    }
    const std::string input = read_input(*arguments);
    write_output(direction == "encode" ? encode(input) : decode(input));
    return kExitSuccess;
}

}  // namespace ozu::tool
