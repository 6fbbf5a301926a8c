/* Host interface of the DDNS client: configuration, one-shot updates and domain lookups.
 * Every entry point returns 0 on success and -1 on failure unless stated otherwise. */
#ifndef OZU_DNSUPDATE_H
#define OZU_DNSUPDATE_H

#include <stdint.h>

#include "ozu_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Interface type 0 (plain queries). Always returns 0. */
OZU_API int ozu_dnsupdate_init(const char* pServer, int nServerPort, const char* pMac, const char* pIpAddress,
                               int nTimeout);

/* Interface type 1 (encrypted "value=" queries). Always returns 0. */
OZU_API int ozu_dnsupdate_init_v1(int32_t nDeviceID, const char* pServer, int nServerPort, const char* pMac,
                                  const char* pIpAddress, int nHttpPort, int nTimeout);

/* Interface type 2 (encrypted "encrypt=" queries, prepared once here). Always returns 0. */
OZU_API int ozu_dnsupdate_init_v2(int32_t nDeviceID, const char* pServer, int nServerPort, const char* pSerial,
                                  const char* pMac, const char* pIpAddress, int nHttpPort, int nTimeout);

/* 0 suspends the update worker's periodic online reports, non-zero resumes them. Returns 0. */
OZU_API int ozu_dnsupdate_pause(int bRunning);

/* Starts the update worker, which announces the device, reports it online every interval and
 * offline when stopped. 0 also when a worker is already running. */
OZU_API int ozu_dnsupdate_start(void);

/* Asks the update worker to send its offline report and waits for it to end. */
OZU_API int ozu_dnsupdate_stop(void);

/* Starts a detached thread that asks the server for the device's domain name once a minute.
 * Returns 0 or the thread-creation error number. */
OZU_API int ozu_dnsupdate_init_rdn(void);

/* Copies the known domain name into pName, which must be large enough for it. */
OZU_API int ozu_dnsupdate_get_domainname(char* pName);

/* One registration update over HTTP: online when bOffline is 0, offline otherwise. */
OZU_API int ozu_dnsupdate_once(int bOffline);

/* The domain name into pName (nSize bytes), from the cache or else asked from the server. */
OZU_API int ozu_dnsupdate_getname(char* pName, unsigned int nSize);

/* Resolves a host name or dotted address to an IPv4 address in network byte order. Fails at once
 * while another thread is resolving. */
OZU_API int GetHostName(const char* pHostName, uint32_t* pAddress);

#ifdef __cplusplus
}
#endif

#endif
