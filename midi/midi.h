// MIDI input as the rest of the program sees it: the event queue the window thread drains
// and the start-up and shutdown steps. The devices, their records and the callback are
// declared in midi_api.h, for this folder and the tests.
#ifndef TUNEGRIN_MIDI_H
#define TUNEGRIN_MIDI_H

#include <windows.h>
#include "midi/queue.h"

// Start-up and shutdown steps run by WinMain on the main thread. midiStartup gives 0 to go
// on, or the exit code 1 after a memory failure (already reported).
int midiStartup();
void midiShutdown();

// Written on the main thread during start-up and shutdown only.
extern MidiEventQueue* eventQueue;              // null when there is no device

#endif
