// The scripted MIDI layer: winmm's contract for input devices, played from threads of its own.
#include "fake_midi.h"
#include "midi/midi.h"
#include "midi/midi_api.h"
#include <deque>
#include <stdio.h>
#include <string.h>

typedef void (CALLBACK* InputCallback)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

struct FakeDevice {
    MMRESULT openError;
    bool open, started, closing, openNotified;
    DWORD_PTR callback, instance;       // as given to open
    HANDLE thread;
    CONDITION_VARIABLE work;            // wakes the device's thread: something played, or close
    std::deque<DWORD> pending;
    long sent, handled;                 // handled: delivered, or dropped by stop or close
    DWORD startTick;
};

struct CreatedContext {
    HGLOBAL memory;
    MidiDeviceContext* record;
};

// The device threads and the main thread share the devices' fields and `calls` under `lock`;
// the script and the records of what was created are the main thread's alone.
static CRITICAL_SECTION lock;
static CONDITION_VARIABLE progress;     // a message handled, a device's open notified
static bool lockReady;
static int deviceCount;
static FakeDevice devices[FAKE_MIDI_DEVICES];
static std::vector<FakeMidiCall> calls;
static std::vector<CreatedContext> contexts;
static bool queueFails;
static int failingContext;
static int contextCreations;
static MidiEventQueue* createdQueue;
static HGLOBAL createdQueueMemory;

struct Held {                           // `lock`, for the rest of the scope
    Held() { EnterCriticalSection(&lock); }
    ~Held() { LeaveCriticalSection(&lock); }
};

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

static int contextsAliveNow()
{
    int alive = 0;
    for (size_t i = 0; i < contexts.size(); i++) {
        bool repeated = false;          // a freed block's handle may come back: the latest counts
        for (size_t j = i + 1; j < contexts.size(); j++) repeated |= contexts[j].memory == contexts[i].memory;
        if (!repeated && contextAlive(contexts[i])) alive++;
    }
    return alive;
}

static bool queueAliveNow()
{
    return createdQueue && blockHolds(createdQueueMemory, createdQueue) &&
           createdQueue->headerMemory == createdQueueMemory;
}

#define NO_NUMBER -1
#define UNKNOWN_HANDLE -2               // written "?": a handle the layer never gave out

static void record(const char* what, long number = NO_NUMBER)
{
    char text[40];
    if (number == UNKNOWN_HANDLE) snprintf(text, sizeof text, "%s ?", what);
    else if (number >= 0) snprintf(text, sizeof text, "%s %ld", what, number);
    else snprintf(text, sizeof text, "%s", what);
    FakeMidiCall call = { text, contextsAliveNow(), queueAliveNow() };
    EnterCriticalSection(&lock);
    calls.push_back(call);
    LeaveCriticalSection(&lock);
}

static void notify(int device, UINT kind, DWORD_PTR param1, DWORD_PTR param2)
{
    FakeDevice& d = devices[device];
    ((InputCallback)d.callback)(handleOf(device), kind, d.instance, param1, param2);
}

// One thread per open device: MIM_OPEN first, then what is played while it is started,
// then MIM_CLOSE, all before close returns.
static DWORD WINAPI deviceThread(void* parameter)
{
    int device = (int)(INT_PTR)parameter;
    FakeDevice& d = devices[device];
    notify(device, MIM_OPEN, 0, 0);
    EnterCriticalSection(&lock);
    d.openNotified = true;
    WakeAllConditionVariable(&progress);
    for (;;) {
        while (!d.closing && d.pending.empty()) SleepConditionVariableCS(&d.work, &lock, INFINITE);
        if (d.closing) break;
        DWORD message = d.pending.front();
        d.pending.pop_front();
        bool deliver = d.started;
        DWORD stamp = GetTickCount() - d.startTick;
        LeaveCriticalSection(&lock);
        if (deliver) notify(device, MIM_DATA, message, stamp);
        EnterCriticalSection(&lock);
        d.handled++;
        WakeAllConditionVariable(&progress);
    }
    d.handled += (long)d.pending.size();    // what a close cuts off is never delivered
    d.pending.clear();
    WakeAllConditionVariable(&progress);
    LeaveCriticalSection(&lock);
    notify(device, MIM_CLOSE, 0, 0);
    return 0;
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
    d.started = d.closing = d.openNotified = false;
    d.thread = CreateThread(0, 0, deviceThread, (void*)(INT_PTR)device, 0, 0);
    EnterCriticalSection(&lock);
    while (!d.openNotified) SleepConditionVariableCS(&progress, &lock, INFINITE);
    LeaveCriticalSection(&lock);
    *handle = handleOf(device);
    return MMSYSERR_NOERROR;
}

static MMRESULT WINAPI fakeStart(HMIDIIN handle)
{
    int device = deviceOf(handle);
    record("start", device < 0 ? UNKNOWN_HANDLE : device);
    if (device < 0) return MMSYSERR_INVALHANDLE;
    Held held;
    devices[device].startTick = GetTickCount();
    devices[device].started = true;
    return MMSYSERR_NOERROR;
}

static MMRESULT stopInput(const char* what, HMIDIIN handle)
{
    int device = deviceOf(handle);
    record(what, device < 0 ? UNKNOWN_HANDLE : device);
    if (device < 0) return MMSYSERR_INVALHANDLE;
    Held held;
    devices[device].started = false;        // what is still pending is dropped, not delivered
    return MMSYSERR_NOERROR;
}

static MMRESULT WINAPI fakeStop(HMIDIIN handle) { return stopInput("stop", handle); }
static MMRESULT WINAPI fakeReset(HMIDIIN handle) { return stopInput("reset", handle); }

// Joins the device's thread: once this returns, the callback is never called for it again.
static void closeDevice(int device)
{
    FakeDevice& d = devices[device];
    EnterCriticalSection(&lock);
    d.closing = true;
    d.started = false;
    WakeAllConditionVariable(&d.work);
    LeaveCriticalSection(&lock);
    WaitForSingleObject(d.thread, INFINITE);
    CloseHandle(d.thread);
    EnterCriticalSection(&lock);
    d.thread = 0;
    d.open = false;
    LeaveCriticalSection(&lock);
}

static MMRESULT WINAPI fakeClose(HMIDIIN handle)
{
    int device = deviceOf(handle);
    record("close", device < 0 ? UNKNOWN_HANDLE : device);
    if (device < 0) return MMSYSERR_INVALHANDLE;
    closeDevice(device);
    return MMSYSERR_NOERROR;
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

static void closeLeftOpen()
{
    for (int device = 0; device < FAKE_MIDI_DEVICES; device++)
        if (devices[device].open) closeDevice(device);
}

void fakeMidiInstall(int count)
{
    if (!lockReady) {
        InitializeCriticalSection(&lock);
        InitializeConditionVariable(&progress);
        lockReady = true;
    }
    closeLeftOpen();
    for (FakeDevice& d : devices) {
        d = FakeDevice{};
        InitializeConditionVariable(&d.work);
    }
    deviceCount = count;
    calls.clear();
    contexts.clear();
    queueFails = false;
    failingContext = -1;
    contextCreations = 0;
    createdQueue = 0;
    createdQueueMemory = 0;
    resetMidiGlobals();
    midiApi = fakeMidiApi;
}

void fakeMidiUninstall()
{
    if (lockReady) closeLeftOpen();
    midiApi = realMidiApi;
    resetMidiGlobals();
}

void fakeMidiFailOpen(int device, MMRESULT error) { devices[device].openError = error; }
void fakeMidiFailQueue() { queueFails = true; }
void fakeMidiFailContext(int creation) { failingContext = creation; }

std::vector<FakeMidiCall> fakeMidiCalls()
{
    Held held;
    return calls;
}

std::vector<std::string> fakeMidiCallTexts()
{
    std::vector<std::string> texts;
    for (const FakeMidiCall& call : fakeMidiCalls()) texts.push_back(call.text);
    return texts;
}

int fakeMidiContextsCreated() { return (int)contexts.size(); }
int fakeMidiContextsAlive() { return contextsAliveNow(); }
bool fakeMidiQueueAlive() { return queueAliveNow(); }

int fakeMidiDevicesOpen()
{
    int open = 0;
    for (int device = 0; device < FAKE_MIDI_DEVICES; device++) open += devices[device].open;
    return open;
}

bool fakeMidiPlay(int device, const std::vector<DWORD>& messages)
{
    if (device < 0 || device >= FAKE_MIDI_DEVICES) return false;
    FakeDevice& d = devices[device];
    EnterCriticalSection(&lock);
    bool playing = d.open && d.started;
    if (playing) {
        for (DWORD message : messages) d.pending.push_back(message);
        d.sent += (long)messages.size();
        WakeAllConditionVariable(&d.work);
    }
    LeaveCriticalSection(&lock);
    return playing;
}


testing::AssertionResult fakeMidiDelivered(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    EnterCriticalSection(&lock);
    for (;;) {
        int behind = -1;
        for (int device = 0; device < FAKE_MIDI_DEVICES && behind < 0; device++)
            if (devices[device].handled < devices[device].sent) behind = device;
        if (behind < 0) break;
        DWORD waited = GetTickCount() - start;
        if (waited >= timeoutMs) {
            long sent = devices[behind].sent, handled = devices[behind].handled;
            LeaveCriticalSection(&lock);
            return testing::AssertionFailure() << "device " << behind << " handled " << handled
                                               << " of " << sent << " messages";
        }
        SleepConditionVariableCS(&progress, &lock, timeoutMs - waited);
    }
    LeaveCriticalSection(&lock);
    return testing::AssertionSuccess();
}
