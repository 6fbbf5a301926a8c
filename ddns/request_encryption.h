// Kept only until the tool and the benchmark include ddns/ozu_dnsupdate_module.h.
#ifndef OZU_DDNS_REQUEST_ENCRYPTION_H
#define OZU_DDNS_REQUEST_ENCRYPTION_H

#include "ddns/ozu_dnsupdate_module.h"

#endif
