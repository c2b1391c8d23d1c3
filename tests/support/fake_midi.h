// A scripted MIDI layer in place of winmm: how many devices there are and which calls fail,
// chosen by the test; every call is written down in order, with the records then alive.
// The devices play nothing: a test plays by calling the callback from threads of its own.
#ifndef TUNEGRIN_FAKE_MIDI_H
#define TUNEGRIN_FAKE_MIDI_H

#include <windows.h>
#include <mmsystem.h>
#include "midi/midi_api.h"
#include <string>
#include <vector>

#define FAKE_MIDI_DEVICES 16        // devices the layer can stand in for

// One call made through the table, with what was alive when it was made.
struct FakeMidiCall {
    std::string text;               // "numdevs", "caps 0", "text 4", "queue", "context",
                                    // "open 1", "start 0", "stop 0", "reset 0", "close 0";
                                    // a handle the layer never gave out reads "start ?"
    int contextsAlive;              // device records created through the table, not yet freed
    bool queueAlive;                // the event queue created through the table, not yet freed
};

// Puts the layer in midiApi with `deviceCount` working devices; clears
// the record of calls and the MIDI globals. Uninstall closes what a test left open, puts
// the real winmm table back and clears the MIDI globals again.
void fakeMidiInstall(int deviceCount);
void fakeMidiUninstall();
void resetMidiGlobals();

// Failures to script before start-up.
void fakeMidiFailOpen(int device, MMRESULT error);
void fakeMidiFailQueue();
void fakeMidiFailContext(int creation);     // the creation-th record (0 = first) is refused
// From then on, each stop, reset and close first plays a note-on for every device closed
// before it, as a driver whose notes lag behind its close; counts those that were queued.
void fakeMidiPlayLateNotes();
int fakeMidiLateNotesPlayed();
int fakeMidiLateNotesQueued();

std::vector<FakeMidiCall> fakeMidiCalls();
std::vector<std::string> fakeMidiCallTexts();
int fakeMidiContextsCreated();
int fakeMidiContextsAlive();
bool fakeMidiQueueAlive();
int fakeMidiDevicesOpen();

#endif
