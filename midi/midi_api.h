// The winmm calls and the two allocations the MIDI start-up makes, through one table so a
// test can stand in for devices this machine does not have.
#ifndef TUNEGRIN_MIDI_API_H
#define TUNEGRIN_MIDI_API_H

#include "midi.h"

struct MidiApi {
    UINT (WINAPI* getNumDevs)();
    MMRESULT (WINAPI* getDevCaps)(UINT_PTR device, LPMIDIINCAPSA caps, UINT size);
    MMRESULT (WINAPI* getErrorText)(MMRESULT error, LPSTR text, UINT size);
    MMRESULT (WINAPI* open)(LPHMIDIIN handle, UINT device, DWORD_PTR callback,
                            DWORD_PTR instance, DWORD flags);
    MMRESULT (WINAPI* start)(HMIDIIN handle);
    MMRESULT (WINAPI* stop)(HMIDIIN handle);
    MMRESULT (WINAPI* reset)(HMIDIIN handle);
    MMRESULT (WINAPI* close)(HMIDIIN handle);
    MidiEventQueue* (*createQueue)(uint32_t capacity);
    MidiDeviceContext* (*createContext)();
};

extern MidiApi midiApi;             // the real functions until a test swaps them
extern const MidiApi realMidiApi;

#endif
