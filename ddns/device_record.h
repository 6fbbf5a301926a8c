// Building the device record sent over the register channel, and reading the DIY DDNS
// server name from the host's configuration file.
#ifndef OZU_DDNS_DEVICE_RECORD_H
#define OZU_DDNS_DEVICE_RECORD_H

#include <cstdint>

namespace ozu::ddns {

// The configuration a record is built from, taken while m_lock is held.
struct DeviceSettings {
    const char* ip_address;
    const char* mac;
    const char* serial;  // null when no serial is configured
    std::int32_t device_id;
    int server_port;
};

// Fills buffer (capacity bytes) with the DIY DDNS server text; 0 or -1.
using DiyServerReader = int (*)(char* buffer, int capacity);
// Writes the ciphertext text of in to out (in place allowed); 0, or 1 for an empty result.
using TextEncryptor = int (*)(const char* in, char* out);

// Runs the shell command and keeps the first line of its output, without the line end.
int read_diy_ddns_server(const char* command, char* buffer, int capacity);

// A new 432-byte record for the command (the caller frees it), or null.
char* build_device_record(int command, const char* status, const DeviceSettings& settings,
                          DiyServerReader read_diy_server, TextEncryptor encrypt);

}  // namespace ozu::ddns

#endif
