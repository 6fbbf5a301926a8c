// Kept only until the reference server includes ddns/record_fields.h.
#ifndef OZU_DDNS_DEVICE_MSG_H
#define OZU_DDNS_DEVICE_MSG_H

#include "ddns/record_fields.h"

namespace device_msg = ozu::ddns;

#endif
