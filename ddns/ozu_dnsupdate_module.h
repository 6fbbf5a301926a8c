// The module's own names, as the device's firmware knows them: the register record, its command
// codes and the module functions. The host never calls these functions, but the library exports
// all of them except EncryptString and sleep_ms under their C++ names, so their signatures are
// part of its ABI.
#ifndef OZU_DDNS_OZU_DNSUPDATE_MODULE_H
#define OZU_DDNS_OZU_DNSUPDATE_MODULE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "ozu_export.h"

constexpr std::int32_t DDNS_CMD_START = 101;
constexpr std::int32_t DDNS_CMD_UPDATE = 102;
constexpr std::int32_t DDNS_CMD_GET_DOMAIN = 103;

// Goes over port 8879 as raw bytes in both directions, so its layout is pinned below. Touch the
// integers and texts only through ddns/record_fields.h: the wire order is little-endian whatever
// the host's, and a text must never run into the next field.
struct DeviceMsg {
    std::int32_t nCommand;
    std::int32_t nSocket;
    std::array<char, 16> reserved;
    std::array<char, 32> szSerial;
    std::array<char, 64> szIpAddress;
    std::array<char, 64> szMac;
    std::array<char, 32> szDeviceID;
    std::array<char, 128> szDeviceDomain;
    std::array<char, 8> szServerPort;
    std::array<char, 16> szTime;
    std::array<char, 16> szType;
    std::array<char, 32> szReserved;
    std::array<char, 16> szStatus;
};

static_assert(std::is_standard_layout<DeviceMsg>::value, "DeviceMsg is sent as raw bytes");
static_assert(std::is_trivially_copyable<DeviceMsg>::value, "DeviceMsg is sent as raw bytes");
static_assert(sizeof(DeviceMsg) == 432, "DeviceMsg is 432 bytes on the wire");
static_assert(offsetof(DeviceMsg, nCommand) == 0, "nCommand offset");
static_assert(offsetof(DeviceMsg, nSocket) == 4, "nSocket offset");
static_assert(offsetof(DeviceMsg, reserved) == 8, "reserved offset");
static_assert(offsetof(DeviceMsg, szSerial) == 24, "szSerial offset");
static_assert(offsetof(DeviceMsg, szIpAddress) == 56, "szIpAddress offset");
static_assert(offsetof(DeviceMsg, szMac) == 120, "szMac offset");
static_assert(offsetof(DeviceMsg, szDeviceID) == 184, "szDeviceID offset");
static_assert(offsetof(DeviceMsg, szDeviceDomain) == 216, "szDeviceDomain offset");
static_assert(offsetof(DeviceMsg, szServerPort) == 344, "szServerPort offset");
static_assert(offsetof(DeviceMsg, szTime) == 352, "szTime offset");
static_assert(offsetof(DeviceMsg, szType) == 368, "szType offset");
static_assert(offsetof(DeviceMsg, szReserved) == 384, "szReserved offset");
static_assert(offsetof(DeviceMsg, szStatus) == 416, "szStatus offset");

// A malloc'ed DeviceMsg, returned as bytes; the caller frees it.
OZU_API char* Init_Device_Msg(int nCommand, char* pStatus);
OZU_API int DDNS_GetDIYDDNSServer(char* pBuf, int nLen);
// A connected register-channel socket, or -1.
OZU_API int InitSock();
// One register-channel exchange under m_lock: 0 or -1.
OZU_API int my_update(int nCommand, char* pStatus);
OZU_API void* DDNS_Update_Fun(void* pArg);
OZU_API void* DDNS_update_get_domain_name_thrd(void* pArg);

// Writes the hexadecimal ciphertext of in, and its NUL, to out (which may be in): 0, or 1 with out
// untouched when in is null or longer than the cipher's buffers.
int EncryptString(const char* in, char* out);

// select() as a sleep: a signal may end it early.
void sleep_ms(unsigned int nMilliseconds);

#endif
