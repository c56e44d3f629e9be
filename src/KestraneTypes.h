// Types shared by every module of the tool.
#ifndef KESTRANE_TYPES_H
#define KESTRANE_TYPES_H

// Boolean results are the integers 1 and 0 throughout the tool.
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Exit status of every program of the project when the heap cannot supply a buffer.
#define EXIT_OUT_OF_MEMORY 2

#endif
