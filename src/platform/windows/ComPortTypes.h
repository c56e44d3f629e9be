// On Windows the port handle and the two records are the system's own.
#ifndef COM_PORT_TYPES_H
#define COM_PORT_TYPES_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

typedef HANDLE ComHandle;

#endif
