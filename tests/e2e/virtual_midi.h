// Virtual MIDI input devices for the built game: a stand-in WINMM.dll (fake_winmm.cpp) put
// beside a copy of the program, and the shared memory through which a test tells it which
// devices exist, what they play, and reads back every call the program made. Test-only:
// the stand-in never ships.
#ifndef TUNEGRIN_E2E_VIRTUAL_MIDI_H
#define TUNEGRIN_E2E_VIRTUAL_MIDI_H

#include <windows.h>
#include <stdint.h>
#include <string>

#define VIRTUAL_MIDI_NAME "Local\\TuneGrinVirtualMidi"
#define VIRTUAL_DEVICES 16
#define VIRTUAL_PLAYS 64         // messages a device can be given to play in one test
#define VIRTUAL_CALLS 1024
#define VIRTUAL_TEXT 160

// What a record is of: the eight functions, and the callback calls made by the stand-in.
enum VirtualCall {
    CALL_GET_NUM_DEVS = 1, CALL_GET_DEV_CAPS, CALL_GET_ERROR_TEXT, CALL_OPEN, CALL_START,
    CALL_STOP, CALL_RESET, CALL_CLOSE,
    CALL_NOTIFY,                 // MIM_OPEN or MIM_CLOSE, inside open or close
    CALL_DELIVER,                // a played message (not the flood) handed to the callback
};

struct VirtualCallRecord {
    uint32_t call;               // VirtualCall
    int32_t device;              // -1 for none
    uint32_t thread;
    uint32_t result;             // the MMRESULT given back
    uint64_t args[3];            // see fake_winmm.cpp for each call's three
};

struct VirtualPlay {
    uint32_t kind;               // MIM_DATA or MIM_ERROR
    uint32_t message;
};

struct VirtualDevice {
    uint32_t capsError;          // what midiInGetDevCapsA gives; 0 describes it
    uint32_t openError;          // what midiInOpen gives; 0 opens it
    VirtualPlay plays[VIRTUAL_PLAYS];
    volatile LONG playsWritten;  // plays[0 .. playsWritten) are played in order once started
    volatile LONG delivered;     // MIM_DATA and MIM_ERROR calls so far, the flood's included
    volatile LONG deliveredAtStop;  // delivered when midiInStop or midiInReset returned
};

struct VirtualMidi {
    volatile LONG loadedBy;      // the stand-in's process id once it is loaded
    uint32_t deviceCount;        // what midiInGetNumDevs gives
    char errorText[VIRTUAL_TEXT];   // midiInGetErrorTextA's text for every code
    VirtualDevice devices[VIRTUAL_DEVICES];
    volatile LONG floodRate;     // note-ons a second from every started device; 0 for none
    uint32_t floodMessage;
    volatile LONG callCount;     // records written, in the order the calls happened
    VirtualCallRecord calls[VIRTUAL_CALLS];
};

// The test's side (virtual_midi.cpp).
// Creates (or reopens) the shared block, cleared: no device, nothing played, nothing recorded.
VirtualMidi* openVirtualMidi();
// Copies the game into `folder` as `exeName` with the stand-in beside it, and sets Wine's
// per-program override so that copy loads it instead of Wine's own winmm. Gives the copy's
// full path, or "" on failure.
std::string installVirtualMidi(const std::string& folder, const char* exeName);
// Hands a device one message to play.
void virtualPlay(VirtualMidi* midi, int device, uint32_t kind, uint32_t message);

#endif
