// The scripted MIDI layer: winmm's contract for input devices, called on the window thread.
#include "fake_midi.h"
#include "midi/midi.h"
#include "midi/midi_api.h"
#include <stdio.h>
#include <string.h>

typedef void (CALLBACK* InputCallback)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

struct FakeDevice {
    MMRESULT openError;
    bool open, closed;
    DWORD_PTR callback, instance;       // as given to open
};

struct CreatedContext {
    HGLOBAL memory;
    MidiDeviceContext* record;
};

static int deviceCount;
static FakeDevice devices[FAKE_MIDI_DEVICES];
static std::vector<FakeMidiCall> calls;
static std::vector<CreatedContext> contexts;
static bool queueFails;
static int failingContext;
static int contextCreations;
static MidiEventQueue* createdQueue;
static HGLOBAL createdQueueMemory;
static bool lateNotes;
static int lateNotesPlayed, lateNotesQueued;

// The handle a device is given at open: its own slot's address, never null.
static HMIDIIN handleOf(int device) { return (HMIDIIN)&devices[device]; }

static int deviceOf(HMIDIIN handle)
{
    for (int device = 0; device < deviceCount && device < FAKE_MIDI_DEVICES; device++)
        if (devices[device].open && handleOf(device) == handle) return device;
    return -1;
}

// A block counts as alive while its handle still leads, locked, to the same record.
static bool blockHolds(HGLOBAL memory, const void* record)
{
    UINT flags = GlobalFlags(memory);
    if (flags == GMEM_INVALID_HANDLE || (flags & GMEM_LOCKCOUNT) == 0) return false;
    void* locked = GlobalLock(memory);
    GlobalUnlock(memory);
    return locked == record;
}

static bool contextAlive(const CreatedContext& created)
{
    return blockHolds(created.memory, created.record) && created.record->contextMemory == created.memory;
}

int fakeMidiContextsAlive()
{
    int alive = 0;
    for (size_t i = 0; i < contexts.size(); i++) {
        bool repeated = false;          // a freed block's handle may come back: the latest counts
        for (size_t j = i + 1; j < contexts.size(); j++) repeated |= contexts[j].memory == contexts[i].memory;
        if (!repeated && contextAlive(contexts[i])) alive++;
    }
    return alive;
}

bool fakeMidiQueueAlive()
{
    return createdQueue && blockHolds(createdQueueMemory, createdQueue) &&
           createdQueue->headerMemory == createdQueueMemory;
}

#define UNKNOWN_HANDLE -2               // written "?": a handle the layer never gave out

static void record(const char* what, long number = -1)
{
    char text[40];
    if (number == UNKNOWN_HANDLE) snprintf(text, sizeof text, "%s ?", what);
    else if (number >= 0) snprintf(text, sizeof text, "%s %ld", what, number);
    else snprintf(text, sizeof text, "%s", what);
    calls.push_back(FakeMidiCall{ text, fakeMidiContextsAlive(), fakeMidiQueueAlive() });
}

static void notify(int device, UINT kind)
{
    ((InputCallback)devices[device].callback)(handleOf(device), kind, devices[device].instance, 0, 0);
}

static UINT WINAPI fakeGetNumDevs()
{
    record("numdevs");
    return (UINT)deviceCount;
}

static MMRESULT WINAPI fakeGetDevCaps(UINT_PTR device, LPMIDIINCAPSA caps, UINT size)
{
    record("caps", (long)device);
    if (device >= (UINT_PTR)deviceCount || device >= FAKE_MIDI_DEVICES) return MMSYSERR_BADDEVICEID;
    MIDIINCAPSA filled = {};
    snprintf(filled.szPname, sizeof filled.szPname, "Scripted keyboard %d", (int)device);
    memcpy(caps, &filled, size < sizeof filled ? size : sizeof filled);
    return MMSYSERR_NOERROR;
}

static MMRESULT WINAPI fakeGetErrorText(MMRESULT error, LPSTR text, UINT size)
{
    record("text", (long)error);
    if (!text || size == 0) return MMSYSERR_INVALPARAM;
    char full[80];
    snprintf(full, sizeof full, "scripted error %u", (unsigned)error);
    lstrcpynA(text, full, (int)size);       // cut to the buffer, terminator included
    return MMSYSERR_NOERROR;
}

// MIM_OPEN and MIM_CLOSE come inside open and close, as winmm calls them.
static MMRESULT WINAPI fakeOpen(LPHMIDIIN handle, UINT device, DWORD_PTR callback,
                                DWORD_PTR instance, DWORD flags)
{
    record("open", (long)device);
    *handle = 0;
    if (device >= (UINT)deviceCount || device >= FAKE_MIDI_DEVICES) return MMSYSERR_BADDEVICEID;
    FakeDevice& d = devices[device];
    if (d.open) return MMSYSERR_ALLOCATED;
    if (d.openError) return d.openError;
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION || !callback) return MMSYSERR_INVALFLAG;
    d.callback = callback;
    d.instance = instance;
    d.open = true;
    notify((int)device, MIM_OPEN);
    *handle = handleOf(device);
    return MMSYSERR_NOERROR;
}

// As Wine's ALSA driver may: a note queued before a device's close comes after the close
// has returned, with the device's old instance value.
static void playLateNotes()
{
    for (int device = 0; lateNotes && device < FAKE_MIDI_DEVICES; device++) {
        if (!devices[device].closed) continue;
        uint32_t before = createdQueue ? createdQueue->count.load() : 0;
        ((InputCallback)devices[device].callback)(handleOf(device), MIM_DATA, devices[device].instance, 0x403c90, 0);
        lateNotesPlayed++;
        lateNotesQueued += createdQueue && createdQueue->count.load() != before;
    }
}

static MMRESULT handled(const char* what, HMIDIIN handle)
{
    playLateNotes();
    int device = deviceOf(handle);
    record(what, device < 0 ? UNKNOWN_HANDLE : device);
    return device < 0 ? MMSYSERR_INVALHANDLE : MMSYSERR_NOERROR;
}

static MMRESULT WINAPI fakeStart(HMIDIIN handle) { return handled("start", handle); }
static MMRESULT WINAPI fakeStop(HMIDIIN handle) { return handled("stop", handle); }
static MMRESULT WINAPI fakeReset(HMIDIIN handle) { return handled("reset", handle); }

static MMRESULT WINAPI fakeClose(HMIDIIN handle)
{
    int device = deviceOf(handle);
    MMRESULT result = handled("close", handle);
    if (result) return result;
    notify(device, MIM_CLOSE);
    devices[device].open = false;
    devices[device].closed = true;
    return result;
}

static MidiEventQueue* fakeCreateQueue(uint32_t capacity)
{
    record("queue");
    if (queueFails) return 0;
    createdQueue = queueCreate(capacity);
    createdQueueMemory = createdQueue ? createdQueue->headerMemory : 0;
    return createdQueue;
}

static MidiDeviceContext* fakeCreateContext()
{
    record("context");
    if (contextCreations++ == failingContext) return 0;
    MidiDeviceContext* context = deviceContextCreate();
    if (context) contexts.push_back(CreatedContext{ context->contextMemory, context });
    return context;
}

static const MidiApi fakeMidiApi = {
    fakeGetNumDevs, fakeGetDevCaps, fakeGetErrorText, fakeOpen, fakeStart, fakeStop,
    fakeReset, fakeClose, fakeCreateQueue, fakeCreateContext,
};

void resetMidiGlobals()
{
    inputDeviceCount = 0;
    memset(inputDeviceCaps, 0, sizeof inputDeviceCaps);
    eventQueue = 0;
    for (int device = 0; device < MAX_MIDI_INPUTS; device++) {
        deviceContexts[device] = 0;
        inputHandles[device] = 0;
    }
}

void fakeMidiInstall(int count)
{
    for (FakeDevice& d : devices) d = FakeDevice{};
    deviceCount = count;
    calls.clear();
    contexts.clear();
    queueFails = false;
    failingContext = -1;
    contextCreations = 0;
    createdQueue = 0;
    createdQueueMemory = 0;
    lateNotes = false;
    lateNotesPlayed = lateNotesQueued = 0;
    resetMidiGlobals();
    midiApi = fakeMidiApi;
}

void fakeMidiUninstall()
{
    for (FakeDevice& d : devices) d.open = false;
    midiApi = realMidiApi;
    resetMidiGlobals();
}

void fakeMidiFailOpen(int device, MMRESULT error) { devices[device].openError = error; }
void fakeMidiFailQueue() { queueFails = true; }
void fakeMidiFailContext(int creation) { failingContext = creation; }
void fakeMidiPlayLateNotes() { lateNotes = true; }
int fakeMidiLateNotesPlayed() { return lateNotesPlayed; }
int fakeMidiLateNotesQueued() { return lateNotesQueued; }

std::vector<FakeMidiCall> fakeMidiCalls() { return calls; }

std::vector<std::string> fakeMidiCallTexts()
{
    std::vector<std::string> texts;
    for (const FakeMidiCall& call : calls) texts.push_back(call.text);
    return texts;
}

int fakeMidiContextsCreated() { return (int)contexts.size(); }

int fakeMidiDevicesOpen()
{
    int open = 0;
    for (int device = 0; device < FAKE_MIDI_DEVICES; device++) open += devices[device].open;
    return open;
}
