#include "record_request.h"

#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "ddns/record_fields.h"
#include "log_text.h"
#include "query_cipher.h"

namespace ozu::server {
namespace {

// Deciphers one enciphered field; on failure keeps its raw text for the log and notes the first refusal.
template <std::size_t N>
std::string deciphered_field(const std::array<char, N>& field, const char* name, std::string& refusal)
{
    const std::string raw = ozu::ddns::field_text(field);
    std::optional<std::string> plain = decipher_text(raw);
    if (!plain && refusal.empty()) {
        refusal = std::string(name) + " is not a ciphertext";
    }
    return std::move(plain).value_or(raw);
}

std::string description(const DeviceMsg& msg, const DeviceCall& call)
{
    return "cmd=" + std::to_string(call.command) + " serial=" + printable(call.serial) +
           " ip=" + printable(call.reported_ip) + " mac=" + printable(call.mac) + " id=" + printable(call.device_code) +
           " domain=" + printable(ozu::ddns::field_text(msg.szDeviceDomain)) +
           " port=" + printable(ozu::ddns::field_text(msg.szServerPort)) +
           " time=" + printable(ozu::ddns::field_text(msg.szTime)) +
           " type=" + printable(ozu::ddns::field_text(msg.szType)) +
           " status=" + printable(ozu::ddns::field_text(msg.szStatus));
}

}  // namespace

ReadRequest read_record(const std::string& record)
{
    ReadRequest read;
    if (record.size() != ozu::ddns::kRecordSize) {
        read.logged = "short record (" + std::to_string(record.size()) + " of " +
                      std::to_string(ozu::ddns::kRecordSize) + " bytes)";
        read.refusal = "incomplete record";
        return read;
    }
    DeviceMsg msg;
    std::memcpy(&msg, record.data(), sizeof msg);
    DeviceCall call;
    call.command = ozu::ddns::load_le32(msg.nCommand);
    call.kind = call.command == DDNS_CMD_GET_DOMAIN ? CallKind::Lookup : CallKind::Update;
    call.serial = deciphered_field(msg.szSerial, "serial", read.refusal);
    call.reported_ip = deciphered_field(msg.szIpAddress, "ip", read.refusal);
    call.mac = deciphered_field(msg.szMac, "mac", read.refusal);
    call.device_code = deciphered_field(msg.szDeviceID, "id", read.refusal);
    call.server_port = parse_port_text(ozu::ddns::field_text(msg.szServerPort));
    const std::string status = ozu::ddns::field_text(msg.szStatus);
    call.online = status == "online";
    read.logged = description(msg, call);
    if (read.refusal.empty() && (call.command < DDNS_CMD_START || call.command > DDNS_CMD_GET_DOMAIN)) {
        read.refusal = "unknown command";
    }
    if (read.refusal.empty()) {
        read.refusal = status_problem(status);
    }
    if (read.refusal.empty()) {
        read.call = std::move(call);
    }
    return read;
}

std::string encode_reply(std::int32_t code, const std::string& domain)
{
    DeviceMsg reply{};
    ozu::ddns::store_le32(reply.nCommand, code);
    ozu::ddns::set_field_text(reply.szDeviceDomain, domain);
    std::string bytes(sizeof reply, '\0');
    std::memcpy(&bytes[0], &reply, sizeof reply);
    return bytes;
}

}  // namespace ozu::server
