// A tiny stand-in for the few Win32 memory and thread calls the event queue makes, so
// that its ring can be built natively and checked with ThreadSanitizer.
#ifndef TUNEGRIN_NATIVE_WINDOWS_H
#define TUNEGRIN_NATIVE_WINDOWS_H

#include <sched.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

typedef void* HGLOBAL;
typedef size_t SIZE_T;
typedef unsigned int UINT;
#define GMEM_MOVEABLE 0x0002
#define GMEM_DDESHARE 0x2000

// The block is its own handle: it never moves, just as a locked block does not.
inline HGLOBAL GlobalAlloc(UINT, SIZE_T size) { return malloc(size ? size : 1); }
inline void* GlobalLock(HGLOBAL memory) { return memory; }
inline int GlobalUnlock(HGLOBAL) { return 0; }
inline HGLOBAL GlobalFree(HGLOBAL memory) { free(memory); return 0; }
inline int SwitchToThread() { return sched_yield() == 0; }

#endif
