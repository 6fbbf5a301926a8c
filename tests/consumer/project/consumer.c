/* A device application in miniature, in C: the host entry points by their plain names. */
#include <arpa/inet.h>
#include <ozu_dnsupdate/ozu_dnsupdate.h>
#include <stdint.h>
#include <stdio.h>

int main(void)
{
    char name[64] = "";
    uint32_t address = 0;
    /* An empty server name makes the lookup fail before any socket is opened. */
    const int initialised = ozu_dnsupdate_init_v2(7, "", 0, "SN0001", "00:11:22:33:44:55", "192.168.1.64", 80, 300);
    const int looked_up = ozu_dnsupdate_getname(name, sizeof name);
    const int resolved = GetHostName("127.0.0.254", &address);
    const int ok = initialised == 0 && looked_up == -1 && resolved == 0 && address == htonl(0x7F0000FEu);
    printf("entry points %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
