// The table of MIDI operations the start-up and shutdown steps call: winmm by default.
#include "midi/midi_api.h"

const MidiApi realMidiApi = {
    midiInGetNumDevs,
    midiInGetDevCapsA,
    midiInGetErrorTextA,
    midiInOpen,
    midiInStart,
    midiInStop,
    midiInReset,
    midiInClose,
    queueCreate,
    deviceContextCreate,
};

MidiApi midiApi = realMidiApi;
