// The inside of the MIDI layer: device records, the callback, the per-device state, and
// the winmm calls and two allocations the start-up makes, through one table so a test can
// stand in for devices this machine does not have.
#ifndef TUNEGRIN_MIDI_API_H
#define TUNEGRIN_MIDI_API_H

#include <windows.h>
#include <mmsystem.h>
#include <stdint.h>
#include <atomic>
#include "midi/midi.h"

#define MAX_MIDI_INPUTS 8

struct MidiDeviceContext {
    HWND window;
    HGLOBAL contextMemory;
    uint32_t deviceIndex;
    MidiEventQueue* queue;
};

MidiDeviceContext* deviceContextCreate();
void deviceContextDestroy(MidiDeviceContext* context);

void CALLBACK midiInputCallback(HMIDIIN handle, UINT kind, DWORD_PTR instance,
                                DWORD_PTR param1, DWORD_PTR param2);
// Shutdown, once a device is closed: unlists its record and returns when no callback can
// act for it any more, so the record may be freed.
void deviceContextRetire(int device);

// Device state: written on the main thread during start-up and shutdown only.
extern uint16_t inputDeviceCount;
extern MIDIINCAPSA inputDeviceCaps[MAX_MIDI_INPUTS];
extern std::atomic<MidiDeviceContext*> deviceContexts[MAX_MIDI_INPUTS];  // also read by the callback
extern HMIDIIN inputHandles[MAX_MIDI_INPUTS];

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
