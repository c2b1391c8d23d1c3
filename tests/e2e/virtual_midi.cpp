// The test's side of the virtual MIDI devices: the shared block and the copy of the game
// that loads the stand-in.
#include "virtual_midi.h"
#include "scratch.h"
#include <string.h>

VirtualMidi* openVirtualMidi()
{
    // Kept for the life of the test program: a game started later opens it by name.
    static HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, 0, PAGE_READWRITE, 0,
                                               sizeof(VirtualMidi), VIRTUAL_MIDI_NAME);
    static VirtualMidi* midi = mapping ? (VirtualMidi*)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS,
                                                                       0, 0, sizeof(VirtualMidi)) : 0;
    if (midi) memset((void*)midi, 0, sizeof *midi);
    return midi;
}

std::string installVirtualMidi(const std::string& folder, const char* exeName)
{
    std::string exe = folder + "\\" + exeName;
    if (!CopyFileA(windowsPath(TUNEGRIN_EXE).c_str(), exe.c_str(), FALSE) ||
        !CopyFileA(windowsPath(TUNEGRIN_FAKE_WINMM).c_str(), (folder + "\\winmm.dll").c_str(), FALSE))
        return "";
    // Wine loads its own winmm unless told otherwise for this program; on Windows the
    // DLL beside the program is found first anyway.
    std::string key = std::string("Software\\Wine\\AppDefaults\\") + exeName + "\\DllOverrides";
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, 0, 0, KEY_SET_VALUE, 0, &handle, 0))
        return "";
    const char value[] = "native,builtin";
    LONG set = RegSetValueExA(handle, "winmm", 0, REG_SZ, (const BYTE*)value, sizeof value);
    RegCloseKey(handle);
    return set ? "" : exe;
}

void virtualPlay(VirtualMidi* midi, int device, uint32_t kind, uint32_t message)
{
    VirtualDevice& target = midi->devices[device];
    LONG slot = target.playsWritten;
    if (slot >= VIRTUAL_PLAYS) return;
    target.plays[slot].kind = kind;
    target.plays[slot].message = message;
    InterlockedExchange(&target.playsWritten, slot + 1);   // after the play is in place
}
