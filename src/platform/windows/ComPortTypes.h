// On Windows the port handle and the two records are the system's own.
#ifndef COM_PORT_TYPES_H
#define COM_PORT_TYPES_H

#include "WindowsApi.h"

typedef HANDLE ComHandle;

#endif
