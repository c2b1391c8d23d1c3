// MIDI input: the event queue between the callback threads and the window thread, the
// devices and their callback.
#ifndef TUNEGRIN_MIDI_H
#define TUNEGRIN_MIDI_H

#include <windows.h>
#include <mmsystem.h>
#include <stdint.h>
#include "queue.h"

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

// Start-up and shutdown steps run by WinMain on the main thread. midiStartup gives 0 to go
// on, or the exit code 1 after a memory failure (already reported).
int midiStartup();
void midiShutdown();

// MIDI state: written on the main thread during start-up and shutdown only.
extern uint16_t inputDeviceCount;
extern MIDIINCAPSA inputDeviceCaps[MAX_MIDI_INPUTS];
extern MidiEventQueue* eventQueue;              // null when there is no device
extern MidiDeviceContext* deviceContexts[MAX_MIDI_INPUTS];
extern HMIDIIN inputHandles[MAX_MIDI_INPUTS];

#endif
