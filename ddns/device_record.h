// Building the device record sent over the register channel, and reading the DIY DDNS
// server name from the host's configuration file.
#ifndef OZU_DDNS_DEVICE_RECORD_H
#define OZU_DDNS_DEVICE_RECORD_H

#include <cstdint>
#include <memory>

#include "ddns/ozu_dnsupdate_module.h"
#include "ddns/scoped_resources.h"

namespace ozu::ddns {

// The configuration a record is built from, taken while m_lock is held.
struct DeviceSettings {
    const char* ip_address;
    const char* mac;
    const char* serial;  // null when no serial is configured
    std::int32_t device_id;
    int server_port;
};

// In malloc'ed memory, because Init_Device_Msg hands it on to be released with free.
using DeviceRecord = std::unique_ptr<DeviceMsg, FreeDeleter>;

// DDNS_GetDIYDDNSServer's and EncryptString's signatures.
using DiyServerReader = int (*)(char* buffer, int capacity);
using TextEncryptor = int (*)(const char* in, char* out);

// Runs the shell command and keeps the first line of its output, without the line end, in buffer
// (capacity bytes, at least 16). False once the failure is printed.
bool read_diy_ddns_server(const char* command, char* buffer, int capacity);

// The record for the command, or null once the failure is reported.
DeviceRecord build_device_record(int command, const char* status, const DeviceSettings& settings,
                                 DiyServerReader read_diy_server, TextEncryptor encrypt);

}  // namespace ozu::ddns

#endif
