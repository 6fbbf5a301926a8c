// Host entry points of the DDNS client and the module state they share.
#include "ddns/ozu_dnsupdate.h"

#include <pthread.h>
#include <resolv.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "ddns/background_threads.h"
#include "ddns/device_record.h"
#include "ddns/host_config.h"
#include "ddns/http_operations.h"
#include "ddns/http_protocol.h"
#include "ddns/ozu_dnsupdate_module.h"
#include "ddns/register_channel.h"
#include "ddns/scoped_resources.h"
#include "ddns/transport.h"

namespace {

using ozu::ddns::InterfaceType;

using EncryptedQuery = std::array<char, 256>;

// Module state. The flags read outside m_lock are atomics.
std::atomic<int> m_bInit{0};
pthread_mutex_t m_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t m_getaddrinfoLock = PTHREAD_MUTEX_INITIALIZER;
char* m_pServer = nullptr;
int m_nServerPort = 80;
char* m_pMac = nullptr;
char* m_pIpAddress = nullptr;
int m_nHttpPort = 80;
std::int32_t m_nDeviceID = 0;
char* m_pSerial = nullptr;
int m_ntimeout = 300;
std::atomic<int> g_nInterfaceType{0};
EncryptedQuery g_cGetDomain{};
EncryptedQuery g_cUpdateOnline{};
EncryptedQuery g_cUpdateOffline{};
std::int32_t m_res_mtime = 0;
std::atomic<int> m_bRunning{0};
std::atomic<int> m_isExit{0};
pthread_t m_hupdate{};
char* m_pDNSName = nullptr;

constexpr int kDefaultPort = 80;
constexpr int kMinTimeout = 5;
constexpr int kMinRegistrationTimeout = 300;
constexpr const char* kResolvConfPath = "/etc/resolv.conf";

using ozu::ddns::copy_text;
using ozu::ddns::free_text;
using ozu::ddns::HeapText;

// m_lock held for the scope.
class ModuleLock : public ozu::ddns::MutexLock {
public:
    ModuleLock() : MutexLock(m_lock) {}
};

void store_copy(char*& setting, const char* value)
{
    setting = copy_text(value).release();
}

int port_or_default(int port)
{
    return port >= 1 ? port : kDefaultPort;
}

// Once configured, m_lock guards a re-initialisation; the first initialisation runs unlocked.
bool lock_if_configured()
{
    if (m_bInit == 0) {
        return false;
    }
    pthread_mutex_lock(&m_lock);
    return true;
}

// Both mutexes are initialised statically and never again: a domain-name thread started before
// the first initialisation may hold one of them from the moment m_bInit is set.
void finish_initialisation(bool was_configured, InterfaceType type)
{
    if (was_configured) {
        pthread_mutex_unlock(&m_lock);
    } else {
        m_bInit = 1;
    }
    g_nInterfaceType = static_cast<int>(type);
}

// The settings all three initialisations own; a null text leaves its setting absent.
void replace_network_settings(const char* server, int server_port, const char* mac, const char* ip_address)
{
    free_text(m_pServer);
    free_text(m_pMac);
    free_text(m_pIpAddress);
    store_copy(m_pServer, server);
    store_copy(m_pMac, mac);
    store_copy(m_pIpAddress, ip_address);
    m_nServerPort = port_or_default(server_port);
}

void store_registration_query(ozu::ddns::RegistrationQuery kind, EncryptedQuery& target)
{
    ozu::ddns::QueryBuffer query{};
    target.fill('\0');
    // A query too long for its ciphertext buffer is stored empty rather than cut.
    if (ozu::ddns::format_registration_query(query, kind, m_pSerial, m_pMac, m_nHttpPort, m_nDeviceID)) {
        EncryptString(query.data(), target.data());
    }
}

void store_registration_queries()
{
    store_registration_query(ozu::ddns::RegistrationQuery::GetDomain, g_cGetDomain);
    store_registration_query(ozu::ddns::RegistrationQuery::UpdateOnline, g_cUpdateOnline);
    store_registration_query(ozu::ddns::RegistrationQuery::UpdateOffline, g_cUpdateOffline);
}

void reload_system_resolver()
{
    res_init();
}

const ozu::ddns::ResolverContext kSystemResolver{&m_getaddrinfoLock, &m_res_mtime, kResolvConfPath,
                                                 reload_system_resolver};

InterfaceType interface_type()
{
    return static_cast<InterfaceType>(g_nInterfaceType.load());
}

void remember_domain_name(std::string_view name)
{
    const ModuleLock lock;
    if (m_pDNSName != nullptr && name == m_pDNSName) {
        return;
    }
    std::free(m_pDNSName);
    m_pDNSName = strndup(name.data(), name.size());
}

void forget_domain_name()
{
    const ModuleLock lock;
    free_text(m_pDNSName);
}

bool copy_if_fits(std::string_view name, char* buffer, unsigned int size)
{
    if (name.size() >= size) {
        return false;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    return true;
}

// Copies of what one HTTP operation needs, taken under m_lock and owned by the operation.
struct HttpSnapshot {
    HeapText server;
    HeapText mac;
    HeapText ip;
    int server_port = kDefaultPort;
    int http_port = kDefaultPort;
    std::int32_t device_id = 0;
    EncryptedQuery registration_query{};
};

// Called with m_lock held.
bool server_and_mac_configured()
{
    if (m_pServer == nullptr || m_pMac == nullptr) {
        std::perror("DNS server or MAC is null\n");
        return false;
    }
    return true;
}

// Called with m_lock held, once server_and_mac_configured().
std::optional<HttpSnapshot> snapshot_server_and_mac()
{
    HttpSnapshot snapshot;
    snapshot.server = copy_text(m_pServer);
    if (!snapshot.server) {
        std::perror("strdup failed\n");
        return std::nullopt;
    }
    snapshot.mac = copy_text(m_pMac);
    snapshot.server_port = m_nServerPort;
    return snapshot;
}

std::optional<HttpSnapshot> snapshot_for_update(bool offline)
{
    const ModuleLock lock;
    if (!server_and_mac_configured()) {
        return std::nullopt;
    }
    std::optional<HttpSnapshot> snapshot = snapshot_server_and_mac();
    if (snapshot) {
        snapshot->ip = copy_text(m_pIpAddress);
        snapshot->http_port = m_nHttpPort;
        snapshot->device_id = m_nDeviceID;
        // Copied under the lock, so that a re-initialisation cannot rewrite it while it is sent.
        snapshot->registration_query = offline ? g_cUpdateOffline : g_cUpdateOnline;
    }
    return snapshot;
}

// Called with m_lock held, once the cache has no name.
std::optional<HttpSnapshot> snapshot_for_lookup()
{
    if (!server_and_mac_configured() || m_pServer[0] == '\0') {
        return std::nullopt;
    }
    std::optional<HttpSnapshot> snapshot = snapshot_server_and_mac();
    if (snapshot) {
        snapshot->registration_query = g_cGetDomain;
    }
    return snapshot;
}

// A type-2 query too long at initialisation is stored empty, and a request without it cannot
// identify the device: refused before connecting, leaving the cached name alone like the other
// refusals before connecting.
bool registration_query_present(InterfaceType type, const HttpSnapshot& snapshot)
{
    if (type != InterfaceType::Registration || snapshot.registration_query[0] != '\0') {
        return true;
    }
    std::fputs("registration query over 120 characters: request not sent\n", stderr);
    return false;
}

ozu::ddns::ServerTarget target_of(const HttpSnapshot& snapshot)
{
    return {snapshot.server.get(), snapshot.server_port, GetHostName};
}

// Read at every reload of the worker's countdown, so a re-initialisation takes effect there.
int report_interval()
{
    const ModuleLock lock;
    return m_ntimeout;
}

// my_update takes what Init_Device_Msg and InitSock return into its own hands at once.
ozu::ddns::DeviceRecord register_record(int command, char* status)
{
    return ozu::ddns::DeviceRecord(reinterpret_cast<DeviceMsg*>(Init_Device_Msg(command, status)));
}

ozu::ddns::SocketHandle register_socket()
{
    return ozu::ddns::SocketHandle(InitSock());
}

const ozu::ddns::UpdateWorkerState kUpdateWorker{m_lock, m_bRunning, m_isExit, m_hupdate};

}  // namespace

// The register channel's module functions run with m_lock held by my_update.
OZU_API char* Init_Device_Msg(int nCommand, char* pStatus)
{
    const ozu::ddns::DeviceSettings settings{m_pIpAddress, m_pMac, m_pSerial, m_nDeviceID, m_nServerPort};
    ozu::ddns::DeviceRecord record =
        ozu::ddns::build_device_record(nCommand, pStatus, settings, DDNS_GetDIYDDNSServer, EncryptString);
    return reinterpret_cast<char*>(record.release());
}

OZU_API int DDNS_GetDIYDDNSServer(char* pBuf, int nLen)
{
    return ozu::ddns::read_diy_ddns_server(kDiyServerCommand, pBuf, nLen) ? 0 : -1;
}

OZU_API int InitSock()
{
    return ozu::ddns::open_register_channel(m_pServer, GetHostName).release();
}

OZU_API int my_update(int nCommand, char* pStatus)
{
    if (m_bInit == 0) {
        return -1;
    }
    const ModuleLock lock;
    const ozu::ddns::RegisterState state{m_pSerial, m_pServer, m_pDNSName};
    return ozu::ddns::run_register_exchange(nCommand, pStatus, {register_record, register_socket}, state) ? 0 : -1;
}

OZU_API void* DDNS_Update_Fun(void*)
{
    ozu::ddns::run_update_worker({m_bRunning, m_isExit, report_interval, my_update, sleep_ms});
    return nullptr;
}

OZU_API void* DDNS_update_get_domain_name_thrd(void*)
{
    ozu::ddns::run_domain_name_thread(my_update, sleep_ms);
}

extern "C" {

OZU_API int ozu_dnsupdate_init(const char* pServer, int nServerPort, const char* pMac, const char* pIpAddress,
                               int nTimeout)
{
    const bool was_configured = lock_if_configured();
    replace_network_settings(pServer, nServerPort, pMac, pIpAddress);
    m_ntimeout = std::max(nTimeout, kMinTimeout);
    finish_initialisation(was_configured, InterfaceType::Plain);
    return 0;
}

OZU_API int ozu_dnsupdate_init_v1(int32_t nDeviceID, const char* pServer, int nServerPort, const char* pMac,
                                  const char* pIpAddress, int nHttpPort, int nTimeout)
{
    const bool was_configured = lock_if_configured();
    replace_network_settings(pServer, nServerPort, pMac, pIpAddress);
    m_nDeviceID = nDeviceID;
    m_nHttpPort = port_or_default(nHttpPort);
    m_ntimeout = std::max(nTimeout, kMinTimeout);
    finish_initialisation(was_configured, InterfaceType::Diy);
    return 0;
}

OZU_API int ozu_dnsupdate_init_v2(int32_t nDeviceID, const char* pServer, int nServerPort, const char* pSerial,
                                  const char* pMac, const char* pIpAddress, int nHttpPort, int nTimeout)
{
    const bool was_configured = lock_if_configured();
    replace_network_settings(pServer, nServerPort, pMac, pIpAddress);
    free_text(m_pSerial);
    store_copy(m_pSerial, pSerial);
    m_nDeviceID = nDeviceID;
    m_nHttpPort = port_or_default(nHttpPort);
    m_ntimeout = std::max(nTimeout, kMinRegistrationTimeout);
    store_registration_queries();
    finish_initialisation(was_configured, InterfaceType::Registration);
    return 0;
}

OZU_API int ozu_dnsupdate_pause(int bRunning)
{
    m_bRunning = bRunning;
    return 0;
}

OZU_API int ozu_dnsupdate_start()
{
    if (m_bInit == 0) {
        return -1;
    }
    return ozu::ddns::start_update_worker(kUpdateWorker, DDNS_Update_Fun) ? 0 : -1;
}

OZU_API int ozu_dnsupdate_stop()
{
    if (m_bInit == 0) {
        return -1;
    }
    ozu::ddns::stop_update_worker(kUpdateWorker);
    return 0;
}

OZU_API int ozu_dnsupdate_init_rdn()
{
    return ozu::ddns::start_domain_name_thread(DDNS_update_get_domain_name_thrd);
}

OZU_API int ozu_dnsupdate_get_domainname(char* pName)
{
    const ModuleLock lock;
    if (m_pDNSName == nullptr) {
        std::perror("invalid Name\n");
        return -1;
    }
    // A null buffer cannot take the name.
    if (pName == nullptr) {
        return -1;
    }
    std::strcpy(pName, m_pDNSName);
    return 0;
}

OZU_API int ozu_dnsupdate_once(int bOffline)
{
    if (m_bInit == 0) {
        return -1;
    }
    const bool offline = bOffline != 0;
    const std::optional<HttpSnapshot> snapshot = snapshot_for_update(offline);
    const InterfaceType type = interface_type();
    if (!snapshot || !registration_query_present(type, *snapshot)) {
        return -1;
    }
    const ozu::ddns::UpdateParameters update{type,
                                             offline,
                                             snapshot->mac.get(),
                                             snapshot->ip.get(),
                                             snapshot->http_port,
                                             snapshot->device_id,
                                             snapshot->registration_query.data()};
    ozu::ddns::ExchangeBuffer exchange{};
    const ozu::ddns::UpdateVerdict verdict = ozu::ddns::send_update(target_of(*snapshot), update, exchange);
    if (!verdict.confirmed) {
        forget_domain_name();
        return -1;
    }
    if (verdict.domain) {
        remember_domain_name(*verdict.domain);
    }
    return 0;
}

OZU_API int ozu_dnsupdate_getname(char* pName, unsigned int nSize)
{
    if (m_bInit == 0) {
        return -1;
    }
    // A null buffer counts as a buffer of size 0: it is never written.
    const unsigned int size = pName != nullptr ? nSize : 0;
    std::optional<HttpSnapshot> snapshot;
    {
        const ModuleLock lock;
        if (m_pDNSName != nullptr) {
            if (copy_if_fits(m_pDNSName, pName, size)) {
                return 0;
            }
            std::perror("buff too short\n");
            return -1;
        }
        snapshot = snapshot_for_lookup();
    }
    const InterfaceType type = interface_type();
    if (!snapshot || !registration_query_present(type, *snapshot)) {
        return -1;
    }
    const ozu::ddns::LookupParameters lookup{type, snapshot->mac.get(), snapshot->registration_query.data()};
    ozu::ddns::ExchangeBuffer exchange{};
    const std::optional<std::string_view> name = ozu::ddns::look_up_domain(target_of(*snapshot), lookup, exchange);
    if (!name) {
        return -1;
    }
    remember_domain_name(*name);
    return copy_if_fits(*name, pName, size) ? 0 : -1;
}

OZU_API int GetHostName(const char* pHostName, uint32_t* pAddress)
{
    return ozu::ddns::resolve_ipv4(pHostName, pAddress, kSystemResolver) ? 0 : -1;
}

}  // extern "C"
