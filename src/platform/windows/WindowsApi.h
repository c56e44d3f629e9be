// The system's interface, without the parts the tool never uses and without the min and
// max macros that would clash with the standard library.
#ifndef WINDOWS_API_H
#define WINDOWS_API_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#endif
