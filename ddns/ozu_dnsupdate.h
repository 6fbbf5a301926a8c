/* The DDNS client as the host sees it. Call one of the three ozu_dnsupdate_init* first; any of
 * them may be called again later to change the configuration. Unless a comment says otherwise a
 * call returns 0 when it did its job and -1 when it did not. */
#ifndef OZU_DNSUPDATE_H
#define OZU_DNSUPDATE_H

#include <stdint.h>

#include "ozu_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* For a server that takes its queries in the clear. The init calls copy their texts, take a null
 * text as "not configured" and clamp out-of-range numbers, so they cannot fail: all three
 * return 0. */
OZU_API int ozu_dnsupdate_init(const char* pServer, int nServerPort, const char* pMac, const char* pIpAddress,
                               int nTimeout);

/* For a DIY server, which takes each query encrypted in a "value=" parameter. */
OZU_API int ozu_dnsupdate_init_v1(int32_t nDeviceID, const char* pServer, int nServerPort, const char* pMac,
                                  const char* pIpAddress, int nHttpPort, int nTimeout);

/* For a registration server, which also knows the device by its serial. The encrypted queries
 * are computed here, once, rather than on every request. */
OZU_API int ozu_dnsupdate_init_v2(int32_t nDeviceID, const char* pServer, int nServerPort, const char* pSerial,
                                  const char* pMac, const char* pIpAddress, int nHttpPort, int nTimeout);

/* bRunning 0 silences the worker's periodic online reports without stopping it; non-zero lets
 * them resume at the next interval. Returns 0. */
OZU_API int ozu_dnsupdate_pause(int bRunning);

/* Starts the background worker that keeps the device registered until ozu_dnsupdate_stop. A
 * second start while one runs is harmless and returns 0. */
OZU_API int ozu_dnsupdate_start(void);

/* Blocks until the worker has told the server the device is going offline and has ended. */
OZU_API int ozu_dnsupdate_stop(void);

/* Keeps the cached domain name fresh from a thread of its own, which runs until the process
 * ends: there is no call to stop it. Returns 0, or pthread_create's error number. */
OZU_API int ozu_dnsupdate_init_rdn(void);

/* The cached domain name, without asking the server. pName has no size, so it must hold any name
 * the server may give; ozu_dnsupdate_getname is the bounded call. */
OZU_API int ozu_dnsupdate_get_domainname(char* pName);

/* Tells the server over HTTP that the device is online (bOffline 0) or going offline, and blocks
 * for up to a minute for its answer. An update that is tried and fails also clears the cached
 * name. */
OZU_API int ozu_dnsupdate_once(int bOffline);

/* The domain name into pName (nSize bytes, NUL included). Only when none is cached does it ask
 * the server, blocking for up to a minute. -1 when the name does not fit. */
OZU_API int ozu_dnsupdate_getname(char* pName, unsigned int nSize);

/* The first IPv4 address of a host name or dotted address, in network byte order. Only one
 * thread resolves at a time and the others fail at once rather than queue behind a slow name
 * server, so the host should retry later. */
OZU_API int GetHostName(const char* pHostName, uint32_t* pAddress);

#ifdef __cplusplus
}
#endif

#endif
