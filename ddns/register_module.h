// Module functions of the register channel and the background threads. The host does not
// call them; they are exported under their C++ (mangled) names.
#ifndef OZU_DDNS_REGISTER_MODULE_H
#define OZU_DDNS_REGISTER_MODULE_H

#include "ozu_export.h"

OZU_API char* Init_Device_Msg(int nCommand, char* pStatus);
OZU_API int DDNS_GetDIYDDNSServer(char* pBuf, int nLen);
OZU_API int InitSock();
OZU_API int my_update(int nCommand, char* pStatus);
OZU_API void* DDNS_Update_Fun(void* pArg);
OZU_API void* DDNS_update_get_domain_name_thrd(void* pArg);

#endif
