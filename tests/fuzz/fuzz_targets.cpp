// The libFuzzer targets, one function each over code that takes bytes from the server or the host; the build
// makes the one named by OZU_FUZZ_TARGET a fuzzer's entry point. A broken expectation aborts.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codec/CodecBase64.h"
#include "ddns/http_protocol.h"
#include "ddns/ozu_dnsupdate_module.h"
#include "ddns/register_channel.h"
#include "ddns/transport.h"
#include "des/DES.h"
#include "http_request.h"
#include "record_request.h"

namespace ozu::test {
namespace {

using ozu::ddns::InterfaceType;
using ozu::ddns::ReplyVerdict;

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

std::vector<char> object_bytes(const DES& des)
{
    const char* begin = reinterpret_cast<const char*>(&des);
    return std::vector<char>(begin, begin + sizeof(DES));
}

// One mode byte, two 8-byte keys, then the text; zero bytes stand for the header bytes a short input lacks. The
// mode (its value modulo 4) is single DES in the first or the second slot, or triple DES with two keys or with the
// first key twice. The keys go into an object on the heap at its exact size, where AddressSanitizer sees a write
// past it.
struct CipherInput {
    enum Mode { FirstSlot, SecondSlot, TripleTwoKeys, TripleOneKey };

    CipherInput(const std::uint8_t* data, std::size_t size)
        : header(data, data + std::min<std::size_t>(size, 17)), text(data + header.size(), data + size)
    {
        header.resize(17, '\0');
        mode = static_cast<Mode>(static_cast<unsigned char>(header[0]) % 4);
        slot = mode == SecondSlot;
        triple = mode >= TripleTwoKeys;
        des->InitializeKey(header.substr(1, 8), false);
        des->InitializeKey(header.substr(mode == TripleOneKey ? 1 : 9, 8), true);
    }

    std::string header;
    std::string text;
    Mode mode = FirstSlot;
    bool slot = false;
    bool triple = false;
    std::unique_ptr<DES> des = std::make_unique<DES>();
};

// A name is a view into the reply: a ':'-field name fits its 100-byte buffer and holds no ':'; a registration
// lookup's name follows "domain=" and runs to the end of the reply.
void check_name(std::string_view name, std::string_view reply, bool after_marker)
{
    require(name.data() >= reply.data() && name.data() + name.size() <= reply.data() + reply.size());
    const std::size_t offset = static_cast<std::size_t>(name.data() - reply.data());
    if (after_marker) {
        require(offset >= 7 && reply.substr(offset - 7, 7) == "domain=" && offset + name.size() == reply.size());
    } else {
        require(!name.empty() && name.size() <= ozu::ddns::kMaxFieldNameLength);
        require(name.find(':') == std::string_view::npos);
    }
}

// The serial, a dot and the domain, cut to the 128-byte name buffer; bytes after the record serve as the serial
// (none when the input ends with the record).
void check_device_name(const std::uint8_t* data, std::size_t size, const std::string& domain)
{
    const bool has_serial = size > sizeof(DeviceMsg);
    const char* after_record = reinterpret_cast<const char*>(data) + sizeof(DeviceMsg);
    const std::string serial = has_serial ? std::string(after_record, size - sizeof(DeviceMsg)).c_str() : "";
    const ozu::ddns::HeapText name = ozu::ddns::compose_device_name(has_serial ? serial.c_str() : nullptr, domain);
    require(name && std::memchr(name.get(), '\0', ozu::ddns::kDeviceNameCapacity) != nullptr);
    require((serial + "." + domain).substr(0, ozu::ddns::kDeviceNameCapacity - 1) == name.get());
}

// CleanPlaintextMark's rule, on a copy of the buffer. Counts that no decipherment produces change nothing;
// otherwise the character after the text becomes NUL, and so do the trailing marks of the last 7 unless a NUL is
// among them.
void clean_as_expected(char* buffer, std::int32_t count)
{
    if (count <= 0 || count > 4088) {
        return;
    }
    buffer[count] = '\0';
    const int window = std::max(0, count - 7);
    if (std::find(buffer + window, buffer + count, '\0') != buffer + count) {
        return;
    }
    for (int position = count - 1; position >= window && buffer[position] == '$'; --position) {
        buffer[position] = '\0';
    }
}

// The block a decipherment read: the first 16 hex digits of the text in lower case, zeros after fewer; or its
// first 8 bytes, zero bytes after fewer.
std::string block_read(const std::string& text, bool hex_form)
{
    std::string block;
    for (const char c : text) {
        if (!hex_form || std::isxdigit(static_cast<unsigned char>(c))) {
            block += static_cast<char>(hex_form ? std::tolower(static_cast<unsigned char>(c)) : c);
        }
    }
    block.resize(hex_form ? 16 : 8, hex_form ? '0' : '\0');
    return block;
}

// The object's bytes with its two block buffers blanked out.
std::vector<char> outside_block_buffers(DES& des)
{
    std::vector<char> bytes = object_bytes(des);
    const char* base = reinterpret_cast<const char*>(&des);
    std::fill_n(bytes.begin() + (des.GetCiphertext() - base), 16, '\0');
    std::fill_n(bytes.begin() + (des.GetPlaintext() - base), 8, '\0');
    return bytes;
}

}  // namespace

// Arbitrary replies to the HTTP reply judges of every interface type.
int http_reply(const std::uint8_t* data, std::size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    for (const InterfaceType type : {InterfaceType::Plain, InterfaceType::Diy, InterfaceType::Registration}) {
        const bool registration = type == InterfaceType::Registration;
        // An update of type 2 learns no name; types 0 and 1 confirm exactly when they learn one.
        const ozu::ddns::UpdateVerdict verdict = ozu::ddns::judge_update_reply(type, reply);
        require(registration ? !verdict.domain : verdict.confirmed == verdict.domain.has_value());
        if (verdict.domain) {
            check_name(*verdict.domain, reply, false);
        }
        if (const auto name = ozu::ddns::judge_lookup_reply(type, reply)) {
            check_name(*name, reply, registration);
        }
    }
    return 0;
}

// The status-line test reads only the NUL-terminated reply and agrees with the scan it is defined by.
int status_line(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    int code = 0;
    const bool expected = std::sscanf(reply.c_str(), " HTTP/1.%*c %3d", &code) == 1 && code == 200;
    require(ozu::ddns::http_status_is_ok(reply.c_str()) == expected);
    return 0;
}

// Replies on the register channel come with any length. The judge reads only the bytes received and agrees with
// a byte-wise reading of the record, whose missing bytes count as zero. A learned domain is then composed with a
// serial into the device name.
int register_reply(const std::uint8_t* data, std::size_t size)
{
    const ozu::ddns::RegisterReply reply = ozu::ddns::judge_register_reply(reinterpret_cast<const char*>(data), size);
    std::int32_t command = 0;
    std::memcpy(&command, data, std::min(size, sizeof command));
    const std::size_t at = offsetof(DeviceMsg, szDeviceDomain);
    const std::size_t width = size <= at ? 0 : std::min(size - at, sizeof(DeviceMsg::szDeviceDomain));
    const char* field = reinterpret_cast<const char*>(data) + std::min(size, at);
    const std::string domain(field, strnlen(field, width));
    require(reply.command == command && reply.domain == domain);
    if (command == DDNS_CMD_GET_DOMAIN) {
        require(reply.verdict == (domain.empty() ? ReplyVerdict::NameMissing : ReplyVerdict::NameLearned));
    } else {
        require(reply.verdict == (domain.empty() ? ReplyVerdict::Refused : ReplyVerdict::Confirmed));
    }
    if (reply.verdict == ReplyVerdict::NameLearned) {
        check_device_name(data, size, reply.domain);
    }
    return 0;
}

// Arbitrary text decoded into a buffer of exactly the size the caller is told to provide (3 bytes per 4
// characters, and 3 for a short last group): nothing may be read past the text or written past the buffer.
int base64_decode(const std::uint8_t* data, std::size_t size)
{
    const std::size_t capacity = size / 4 * 3 + 3;
    const auto out = std::make_unique<unsigned char[]>(capacity);
    const int written =
        CommonKit::CCodecBase64().Decode(reinterpret_cast<const char*>(data), static_cast<int>(size), out.get());
    require(written >= 0 && static_cast<std::size_t>(written) <= capacity);
    return 0;
}

// Arbitrary bytes encoded, 4 characters per started group of 3 and CR LF after every 57 bytes, and decoded
// back, line breaks included, into a buffer of exactly their size.
int base64_round_trip(const std::uint8_t* data, std::size_t size)
{
    CommonKit::CCodecBase64 codec;
    std::string text;
    const int length = codec.Encode(data, static_cast<int>(size), text);
    require(static_cast<std::size_t>(length) == text.size());
    require(text.size() == (size + 2) / 3 * 4 + size / 57 * 2);
    const auto decoded = std::make_unique<unsigned char[]>(size);
    require(codec.Decode(text.data(), length, decoded.get()) == static_cast<int>(size));
    require(std::memcmp(decoded.get(), data, size) == 0);
    return 0;
}

// Arbitrary text deciphered, once or as triple DES: the object stays inside its buffers and leaves terminated
// texts; a text that is not whole 16-digit blocks, or longer than 8176, gets the error sentence.
int des_decrypt(const std::uint8_t* data, std::size_t size)
{
    const CipherInput input(data, size);
    DES& des = *input.des;
    input.triple ? des.TripleDecryptAnyLength(input.text) : des.DecryptAnyLength(input.text, input.slot);
    require(std::memchr(des.GetPlaintextAnyLength(), 0, 4096) && std::memchr(des.GetCiphertextAnyLength(), 0, 8192));
    const std::size_t length = input.text.size();
    // With two different keys a refused text is enciphered and deciphered again into noise.
    if ((length < 16 || length % 16 != 0 || length > 8176) && input.mode != input.TripleTwoKeys) {
        require(std::strcmp(des.GetPlaintextAnyLength(), "Please enter your correct cipertext!") == 0);
    }
    return 0;
}

// Arbitrary text enciphered, once or as triple DES, leaves a terminated ciphertext inside the object. A text
// message (no NUL, not ending in '$', at most 4088 characters) gives 16 lower-case hex digits per started
// block (one block when empty), the same as single DES when triple DES has one key, and comes back when
// deciphered, with two different keys too, since triple DES carries its middle texts whole.
int des_round_trip(const std::uint8_t* data, std::size_t size)
{
    const CipherInput input(data, size);
    const std::string& text = input.text;
    DES& des = *input.des;
    input.triple ? des.TripleEncryptAnyLength(text) : des.EncryptAnyLength(text, input.slot);
    require(std::memchr(des.GetCiphertextAnyLength(), '\0', 8192) != nullptr);
    if (text.size() > 4088 || text.find('\0') != std::string::npos || (!text.empty() && text.back() == '$')) {
        return 0;
    }
    const std::string ciphertext = des.GetCiphertextAnyLength();
    require(ciphertext.size() == std::max<std::size_t>(1, (text.size() + 7) / 8) * 16);
    require(ciphertext.find_first_not_of("0123456789abcdef") == std::string::npos);
    if (input.mode == input.TripleOneKey) {
        des.EncryptAnyLength(text, false);
        require(ciphertext == des.GetCiphertextAnyLength());
    }
    input.triple ? des.TripleDecryptAnyLength(ciphertext) : des.DecryptAnyLength(ciphertext, input.slot);
    require(text == des.GetPlaintextAnyLength());
    return 0;
}

// One block deciphered from arbitrary input, as hex text or raw bytes (bit 2 of the mode byte), in either slot
// or as triple DES. Only the block buffers may change, and enciphering the result again gives back the block
// that was read.
int des_block_decrypt(const std::uint8_t* data, std::size_t size)
{
    const CipherInput input(data, size);
    const bool hex_form = (input.header[0] & 4) != 0;
    DES& des = *input.des;
    const std::vector<char> before = outside_block_buffers(des);
    input.triple ? des.TripleDecrypt(input.text, hex_form) : des.DecryptData(input.text, input.slot, hex_form);
    require(outside_block_buffers(des) == before);
    const std::string plaintext(des.GetPlaintext(), 8);
    input.triple ? des.TripleEncrypt(plaintext, hex_form) : des.EncryptData(plaintext, input.slot, hex_form);
    require(std::string(des.GetCiphertext(), hex_form ? 16 : 8) == block_read(input.text, hex_form));
    return 0;
}

// CleanPlaintextMark with any count on any state of the plaintext buffer: the count (4 bytes, in the machine's
// order), a fill byte for the whole buffer, then its first bytes. The object must end as the rule says, and
// nothing outside the buffer may change.
int clean_plaintext_mark(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) {
        return 0;
    }
    std::int32_t count = 0;
    std::memcpy(&count, data, sizeof count);
    const auto des = std::make_unique<DES>();
    char* buffer = des->GetPlaintextAnyLength();
    std::memset(buffer, data[4], 4096);
    std::memcpy(buffer, data + 5, std::min<std::size_t>(size - 5, 4096));
    std::vector<char> expected = object_bytes(*des);
    clean_as_expected(expected.data() + (buffer - reinterpret_cast<char*>(des.get())), count);
    des->CleanPlaintextMark(count);
    require(object_bytes(*des) == expected);
    return 0;
}

// A device request as the server reads it: a call or a refusal, never both, and a log text on one printable line.
void check_request(const ozu::server::ReadRequest& read)
{
    require(read.call.has_value() == read.refusal.empty());
    require(std::all_of(read.logged.begin(), read.logged.end(), [](char c) { return c >= 0x20 && c < 0x7F; }));
    if (read.call) {
        ozu::server::identify(*read.call);
    }
}

// The server's HTTP request reader over any head it may receive (it reads at most kMaxHttpHead bytes).
int server_http_request(const std::uint8_t* data, std::size_t size)
{
    const std::string head(reinterpret_cast<const char*>(data), std::min(size, ozu::server::kMaxHttpHead));
    ozu::server::http_head_complete(head);
    const ozu::server::ReadRequest read = ozu::server::read_http_request(head);
    check_request(read);
    require(read.status == 400 || read.status == 404);
    return 0;
}

// The server's record reader over any bytes received on the register channel: only a whole record makes a call.
int server_record(const std::uint8_t* data, std::size_t size)
{
    const ozu::server::ReadRequest read =
        ozu::server::read_record(std::string(reinterpret_cast<const char*>(data), size));
    check_request(read);
    require(!read.call || (size == sizeof(DeviceMsg) && read.call->command >= DDNS_CMD_START &&
                           read.call->command <= DDNS_CMD_GET_DOMAIN));
    return 0;
}

}  // namespace ozu::test

// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return ozu::test::OZU_FUZZ_TARGET(data, size);
}
