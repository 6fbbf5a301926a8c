#include "register_answer.h"

#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "ddns/record_fields.h"
#include "log_text.h"
#include "query_cipher.h"

namespace ozu::server {
namespace {

struct DecodedRecord {
    std::int32_t command = 0;
    std::string serial;
    std::string status;
    std::string description;
    std::string refusal;
};

// Deciphers one enciphered field; on failure keeps its raw text for the log and
// notes the first refusal.
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

DecodedRecord decode(const DeviceMsg& msg)
{
    DecodedRecord record;
    record.command = ozu::ddns::load_le32(msg.nCommand);
    record.serial = deciphered_field(msg.szSerial, "serial", record.refusal);
    const std::string ip = deciphered_field(msg.szIpAddress, "ip", record.refusal);
    const std::string mac = deciphered_field(msg.szMac, "mac", record.refusal);
    const std::string device_id = deciphered_field(msg.szDeviceID, "id", record.refusal);
    record.status = ozu::ddns::field_text(msg.szStatus);
    record.description = "cmd=" + std::to_string(record.command) + " serial=" + printable(record.serial) +
                         " ip=" + printable(ip) + " mac=" + printable(mac) + " id=" + printable(device_id) +
                         " domain=" + printable(ozu::ddns::field_text(msg.szDeviceDomain)) +
                         " port=" + printable(ozu::ddns::field_text(msg.szServerPort)) +
                         " time=" + printable(ozu::ddns::field_text(msg.szTime)) +
                         " type=" + printable(ozu::ddns::field_text(msg.szType)) +
                         " status=" + printable(record.status);
    if (record.refusal.empty() && (record.command < DDNS_CMD_START || record.command > DDNS_CMD_GET_DOMAIN)) {
        record.refusal = "unknown command";
    }
    return record;
}

}  // namespace

RegisterAnswer answer_record(const std::string& record, Registry& registry)
{
    RegisterAnswer answer;
    if (record.size() != ozu::ddns::kRecordSize) {
        answer.request = "short record (" + std::to_string(record.size()) + " of 432 bytes)";
        answer.refusal = "incomplete record";
        return answer;
    }
    DeviceMsg msg;
    std::memcpy(&msg, record.data(), sizeof msg);
    const DecodedRecord decoded = decode(msg);
    answer.request = decoded.description;
    answer.refusal = decoded.refusal;
    if (!answer.refusal.empty()) {
        return answer;
    }
    answer.answered = true;
    answer.code = decoded.command;
    // Without a serial the device has no name here: the empty domain tells it so.
    if (!decoded.serial.empty()) {
        registry.report(IdentityKind::Serial, decoded.serial);
        answer.domain = registry.zone();
    }
    return answer;
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
