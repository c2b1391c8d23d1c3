// A scripted MIDI layer in place of winmm: how many devices there are, which calls fail,
// and what each device plays, all chosen by the test; every call is written down in order.
#ifndef TUNEGRIN_FAKE_MIDI_H
#define TUNEGRIN_FAKE_MIDI_H

#include <windows.h>
#include <mmsystem.h>
#include <gtest/gtest.h>
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

// Puts the layer in midiApi with `deviceCount` working devices and nothing played; clears
// the record of calls and the MIDI globals. Uninstall closes what a test left open, puts
// the real winmm table back and clears the MIDI globals again.
void fakeMidiInstall(int deviceCount);
void fakeMidiUninstall();
void resetMidiGlobals();

// Failures to script before start-up.
void fakeMidiFailOpen(int device, MMRESULT error);
void fakeMidiFailQueue();
void fakeMidiFailContext(int creation);     // the creation-th record (0 = first) is refused

std::vector<FakeMidiCall> fakeMidiCalls();
std::vector<std::string> fakeMidiCallTexts();
int fakeMidiContextsCreated();
int fakeMidiContextsAlive();
bool fakeMidiQueueAlive();
int fakeMidiDevicesOpen();

// Device `device` plays short messages: they are delivered from the device's own thread,
// in order, as MIM_DATA stamped in ms since its start. Gives false, and plays nothing, when
// the device is not started (a real device delivers no input then).
bool fakeMidiPlay(int device, const std::vector<DWORD>& messages);
// Waits until every message sent has been handed to the callback (or discarded by a close).
testing::AssertionResult fakeMidiDelivered(DWORD timeoutMs = 20000);


#endif
