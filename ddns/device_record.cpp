#include "ddns/device_record.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "ddns/record_fields.h"

namespace ozu::ddns {
namespace {

constexpr int kMinimumDiyServerCapacity = 16;
constexpr std::size_t kDiyServerCapacity = 128;

// 16 hexadecimal digits for each started 8-character block; an empty text still makes one block.
constexpr std::size_t ciphertext_length(std::size_t plain_length)
{
    return 16 * std::max<std::size_t>(1, (plain_length + 7) / 8);
}

// A text whose ciphertext would not fit its field leaves the field empty and unencrypted:
// the server never gets a cut value, and nothing is written past the field.
template <std::size_t N>
bool place_text_to_encrypt(std::array<char, N>& field, const char* text)
{
    const std::size_t length = std::strlen(text);
    if (ciphertext_length(length) >= N) {
        return false;
    }
    std::memcpy(field.data(), text, length);
    return true;
}

struct PlacedFields {
    bool ip_address;
    bool mac;
    bool device_id;
    bool serial;
};

PlacedFields place_identity(DeviceMsg& record, const DeviceSettings& settings)
{
    std::array<char, 32> device_id{};
    std::snprintf(device_id.data(), device_id.size(), "0x%x", static_cast<unsigned int>(settings.device_id));
    // No serial configured: the serial is the empty text, here and in the domain.
    const char* serial = settings.serial != nullptr ? settings.serial : "";
    return PlacedFields{place_text_to_encrypt(record.szIpAddress, settings.ip_address),
                        place_text_to_encrypt(record.szMac, settings.mac),
                        place_text_to_encrypt(record.szDeviceID, device_id.data()),
                        place_text_to_encrypt(record.szSerial, serial)};
}

template <std::size_t N>
void encrypt_field(std::array<char, N>& field, bool placed, TextEncryptor encrypt)
{
    if (placed) {
        encrypt(field.data(), field.data());
    }
}

void encrypt_identity(DeviceMsg& record, const PlacedFields& placed, TextEncryptor encrypt)
{
    encrypt_field(record.szIpAddress, placed.ip_address, encrypt);
    encrypt_field(record.szMac, placed.mac, encrypt);
    encrypt_field(record.szDeviceID, placed.device_id, encrypt);
    encrypt_field(record.szSerial, placed.serial, encrypt);
}

void fill_time(DeviceMsg& record)
{
    std::snprintf(record.szTime.data(), record.szTime.size(), "%ld", static_cast<long>(std::time(nullptr)));
}

void fill_port_type_status(DeviceMsg& record, int server_port, const char* status)
{
    std::snprintf(record.szServerPort.data(), record.szServerPort.size(), "%d", server_port);
    set_field_text(record.szType, "DDNS");
    set_field_text(record.szStatus, status != nullptr ? status : "");
}

void fill_device_domain(DeviceMsg& record, const char* serial, DiyServerReader read_diy_server)
{
    std::array<char, kDiyServerCapacity> diy_server{};
    // The result is not looked at: a host that reaps its own children makes pclose fail after the
    // entry was read, and the buffer stays empty only when nothing was read.
    read_diy_server(diy_server.data(), static_cast<int>(diy_server.size()));
    // A serial and server name longer than the field together are cut to its 127 characters.
    set_field_text(record.szDeviceDomain, device_domain(serial, diy_server.data()));
    std::printf("qor function(%s),szDeviceDomain(%s)!!!\n", "Init_Device_Msg", record.szDeviceDomain.data());
}

// Zero-filled, as the record is sent whole.
DeviceRecord allocate_record()
{
    void* memory = std::malloc(sizeof(DeviceMsg));
    return DeviceRecord(memory != nullptr ? new (memory) DeviceMsg{} : nullptr);
}

}  // namespace

bool read_diy_ddns_server(const char* command, char* buffer, int capacity)
{
    if (buffer == nullptr || capacity < kMinimumDiyServerCapacity) {
        std::printf("Param ERROR!");
        return false;
    }
    std::printf("%s", command);
    FILE* output = popen(command, "r");
    if (output == nullptr) {
        std::printf("fopen error!");
        return false;
    }
    if (std::fgets(buffer, capacity, output) == nullptr) {
        if (std::feof(output)) {
            std::printf("EOF!");
        } else if (std::ferror(output)) {
            std::printf("steam error!");
        }
        pclose(output);
        return false;
    }
    buffer[std::strcspn(buffer, "\n")] = '\0';
    if (pclose(output) == -1) {
        std::printf("pclose error!");
        return false;
    }
    return true;
}

DeviceRecord build_device_record(int command, const char* status, const DeviceSettings& settings,
                                 DiyServerReader read_diy_server, TextEncryptor encrypt)
{
    if (settings.ip_address == nullptr || settings.mac == nullptr) {
        std::perror("DNS server or MAC is null\n");
        return nullptr;
    }
    if (settings.ip_address[0] == '\0') {
        return nullptr;
    }
    DeviceRecord record = allocate_record();
    if (!record) {
        std::perror("create pdeviceMsg failed");
        return nullptr;
    }
    store_le32(record->nCommand, command);
    const PlacedFields placed = place_identity(*record, settings);
    fill_port_type_status(*record, settings.server_port, status);
    if (command != DDNS_CMD_GET_DOMAIN) {
        fill_time(*record);
        fill_device_domain(*record, settings.serial, read_diy_server);
    }
    encrypt_identity(*record, placed, encrypt);
    return record;
}

}  // namespace ozu::ddns
