/* The host header compiles as C, with the argument types the host expects, and its entry
 * points link under their plain names. */
#include "ddns/ozu_dnsupdate.h"

#include <stdio.h>

int main(void)
{
    int (*const init)(const char*, int, const char*, const char*, int) = ozu_dnsupdate_init;
    int (*const init_v1)(int32_t, const char*, int, const char*, const char*, int, int) = ozu_dnsupdate_init_v1;
    int (*const init_v2)(int32_t, const char*, int, const char*, const char*, const char*, int, int) =
        ozu_dnsupdate_init_v2;
    int (*const pause_reports)(int) = ozu_dnsupdate_pause;
    int (*const start)(void) = ozu_dnsupdate_start;
    int (*const stop)(void) = ozu_dnsupdate_stop;
    int (*const init_rdn)(void) = ozu_dnsupdate_init_rdn;
    int (*const get_domainname)(char*) = ozu_dnsupdate_get_domainname;
    int (*const once)(int) = ozu_dnsupdate_once;
    int (*const getname)(char*, unsigned int) = ozu_dnsupdate_getname;
    int (*const resolve)(const char*, uint32_t*) = GetHostName;
    char name[128];
    uint32_t address = 0;

    (void)init;
    (void)init_v1;
    (void)init_v2;
    (void)pause_reports;
    (void)init_rdn;
    (void)get_domainname;
    (void)once;
    /* Before any initialisation these fail quietly; resolving a dotted address needs no network. */
    if (getname(name, sizeof name) != -1 || start() != -1 || stop() != -1 ||
        resolve("127.0.0.21", &address) != 0) {
        fputs("unexpected result\n", stderr);
        return 1;
    }
    return 0;
}
