// The program's own object: WinMain lives in the core library so that tests can run it
// too, and this reference makes the linker take it from there.
#include <windows.h>

extern int (WINAPI* const programEntry)(HINSTANCE, HINSTANCE, LPSTR, int) = WinMain;
