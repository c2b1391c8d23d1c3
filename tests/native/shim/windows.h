// A tiny stand-in for the few Win32 types and calls that the event queue and the note
// settings make, so that they can be built natively under ThreadSanitizer and a fuzzer.
#ifndef TUNEGRIN_NATIVE_WINDOWS_H
#define TUNEGRIN_NATIVE_WINDOWS_H

#include <sched.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

typedef void* HGLOBAL;
typedef void* HBITMAP;          // the note table only carries sprite handles around
typedef size_t SIZE_T;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef const char* LPCSTR;
typedef char* LPSTR;
#define WINAPI
#define GMEM_MOVEABLE 0x0002
#define GMEM_DDESHARE 0x2000

// The block is its own handle: it never moves, just as a locked block does not.
inline HGLOBAL GlobalAlloc(UINT, SIZE_T size) { return malloc(size ? size : 1); }
inline void* GlobalLock(HGLOBAL memory) { return memory; }
inline int GlobalUnlock(HGLOBAL) { return 0; }
inline HGLOBAL GlobalFree(HGLOBAL memory) { free(memory); return 0; }
inline void Sleep(DWORD) { sched_yield(); }      // the queue only ever sleeps 0 ms: a yield

// Defined by the program that reads settings natively (the fuzzer serves its input here).
// Like the real one: at most size - 1 characters, always terminated.
DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback,
                                      LPSTR buffer, DWORD size, LPCSTR file);
// The native programs never save: every write fails.
inline int WritePrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPCSTR) { return 0; }

#endif
