// A stand-in WINMM.dll for the end-to-end tests: the eight MIDI input functions the game
// imports, over devices that a test describes in shared memory (virtual_midi.h). Each call
// is recorded there with its device, thread and order. The callback is called as Windows
// documents for CALLBACK_FUNCTION: MIM_OPEN inside midiInOpen, MIM_CLOSE inside
// midiInClose, and MIM_DATA / MIM_ERROR from a thread of the device's own, only between
// midiInStart and midiInStop or midiInReset.
#define _WINMM_                 // we define these functions, not import them
#include <windows.h>
#include <mmsystem.h>
#include <string.h>
#include "virtual_midi.h"

typedef void (CALLBACK* MidiCallback)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

struct Device {
    int index;
    bool open;
    MidiCallback callback;
    DWORD_PTR instance;
    HANDLE thread;              // runs while started
    volatile LONG running;
    DWORD startedAt;            // GetTickCount at midiInStart: time stamps count from it
    LONG playsRead;
};

static VirtualMidi* shared;
static HANDLE sharedMapping;
static Device devices[VIRTUAL_DEVICES];

// Flood messages are counted, not recorded, so the record keeps room for the rest.
static void record(uint32_t call, int device, MMRESULT result, uint64_t a = 0, uint64_t b = 0,
                   uint64_t c = 0)
{
    if (!shared) return;
    LONG slot = InterlockedIncrement(&shared->callCount) - 1;
    if (slot >= VIRTUAL_CALLS) return;
    VirtualCallRecord& entry = shared->calls[slot];
    entry.device = device;
    entry.thread = GetCurrentThreadId();
    entry.result = result;
    entry.args[0] = a;
    entry.args[1] = b;
    entry.args[2] = c;
    MemoryBarrier();
    entry.call = call;          // last: a reader sees a whole record or none
}

static Device* deviceOf(HMIDIIN handle)
{
    for (Device& device : devices)
        if ((HMIDIIN)&device == handle && device.open) return &device;
    return 0;
}

static int indexOf(HMIDIIN handle)
{
    Device* device = deviceOf(handle);
    return device ? device->index : -1;
}

static void deliver(Device* device, uint32_t kind, uint32_t message, bool recorded)
{
    DWORD stamp = GetTickCount() - device->startedAt;
    if (recorded) record(CALL_DELIVER, device->index, 0, kind, message, stamp);
    device->callback((HMIDIIN)device, kind, device->instance, message, stamp);
    InterlockedIncrement(&shared->devices[device->index].delivered);
}

// Plays what the test hands over, in order, and the flood at its rate while one is asked
// for: each pass sends what is due by the clock, so the rate holds whatever Sleep's grain.
static DWORD WINAPI deviceThread(void* parameter)
{
    Device* device = (Device*)parameter;
    VirtualDevice& virtualDevice = shared->devices[device->index];
    DWORD floodSince = 0;
    LONG floodSent = 0;
    while (device->running) {
        while (device->running && device->playsRead < virtualDevice.playsWritten &&
               device->playsRead < VIRTUAL_PLAYS) {
            const VirtualPlay& play = virtualDevice.plays[device->playsRead++];
            deliver(device, play.kind, play.message, true);
        }
        LONG rate = shared->floodRate;
        if (rate <= 0) {
            floodSince = 0;
        } else {
            DWORD now = GetTickCount();
            if (!floodSince) {
                floodSince = now;
                floodSent = 0;
            }
            LONG due = (LONG)((uint64_t)rate * (now - floodSince) / 1000);
            for (int burst = 0; floodSent < due && burst < 200 && device->running; burst++, floodSent++)
                deliver(device, MIM_DATA, shared->floodMessage, false);
        }
        Sleep(1);
    }
    return 0;
}

static void halt(Device* device)
{
    if (!device->thread) return;
    InterlockedExchange(&device->running, 0);
    WaitForSingleObject(device->thread, INFINITE);
    CloseHandle(device->thread);
    device->thread = 0;
    shared->devices[device->index].deliveredAtStop = shared->devices[device->index].delivered;
}

// Stop and Reset alike end the device's thread; there are no buffers to give back: the
// game hands none.
static MMRESULT halted(HMIDIIN handle, uint32_t call)
{
    Device* device = deviceOf(handle);
    if (device) halt(device);
    MMRESULT result = device ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    record(call, indexOf(handle), result);
    return result;
}

extern "C" {

UINT WINAPI midiInGetNumDevs()
{
    UINT count = shared ? shared->deviceCount : 0;
    record(CALL_GET_NUM_DEVS, -1, count);
    return count;
}

// args: the size asked for
MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR index, LPMIDIINCAPSA caps, UINT size)
{
    MMRESULT result = MMSYSERR_BADDEVICEID;
    if (shared && index < shared->deviceCount && index < VIRTUAL_DEVICES) {
        result = shared->devices[index].capsError;
        if (!result && caps && size >= sizeof(MIDIINCAPSA)) {
            memset(caps, 0, sizeof *caps);
            wsprintfA(caps->szPname, "Virtual MIDI %d", (int)index);
        }
    }
    record(CALL_GET_DEV_CAPS, (int)index, result, size);
    return result;
}

// args: the error code, the buffer's size
MMRESULT WINAPI midiInGetErrorTextA(MMRESULT error, LPSTR text, UINT size)
{
    MMRESULT result = MMSYSERR_INVALPARAM;
    if (text && size > 0) {
        lstrcpynA(text, shared ? shared->errorText : "no virtual devices", (int)size);
        result = MMSYSERR_NOERROR;
    }
    record(CALL_GET_ERROR_TEXT, -1, result, error, size);
    return result;
}

// args: the callback, the instance value, the flags
MMRESULT WINAPI midiInOpen(LPHMIDIIN handle, UINT index, DWORD_PTR callback, DWORD_PTR instance,
                           DWORD flags)
{
    MMRESULT result = MMSYSERR_BADDEVICEID;
    if (shared && index < shared->deviceCount && index < VIRTUAL_DEVICES) {
        result = shared->devices[index].openError;
        if (!result && (flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION) result = MMSYSERR_INVALFLAG;
        if (!result && devices[index].open) result = MMSYSERR_ALLOCATED;
    }
    record(CALL_OPEN, (int)index, result, callback, instance, flags);
    if (result) return result;
    Device& device = devices[index];
    device.index = (int)index;
    device.open = true;
    device.callback = (MidiCallback)callback;
    device.instance = instance;
    device.playsRead = 0;
    *handle = (HMIDIIN)&device;
    record(CALL_NOTIFY, (int)index, 0, MIM_OPEN);
    device.callback(*handle, MIM_OPEN, instance, 0, 0);
    return result;
}

MMRESULT WINAPI midiInStart(HMIDIIN handle)
{
    Device* device = deviceOf(handle);
    MMRESULT result = device ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    record(CALL_START, indexOf(handle), result);
    if (device && !device->thread) {
        device->startedAt = GetTickCount();
        device->running = 1;
        device->thread = CreateThread(0, 0, deviceThread, device, 0, 0);
    }
    return result;
}

MMRESULT WINAPI midiInStop(HMIDIIN handle) { return halted(handle, CALL_STOP); }
MMRESULT WINAPI midiInReset(HMIDIIN handle) { return halted(handle, CALL_RESET); }

MMRESULT WINAPI midiInClose(HMIDIIN handle)
{
    Device* device = deviceOf(handle);
    MMRESULT result = !device ? MMSYSERR_INVALHANDLE : device->thread ? MIDIERR_STILLPLAYING : 0;
    record(CALL_CLOSE, indexOf(handle), result);
    if (result) return result;
    record(CALL_NOTIFY, device->index, 0, MIM_CLOSE);
    device->callback(handle, MIM_CLOSE, device->instance, 0, 0);
    device->open = false;
    return result;
}

}   // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        // No block, no devices: the game then sees none.
        sharedMapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, VIRTUAL_MIDI_NAME);
        if (sharedMapping)
            shared = (VirtualMidi*)MapViewOfFile(sharedMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(VirtualMidi));
        if (shared) InterlockedExchange(&shared->loadedBy, (LONG)GetCurrentProcessId());
    }
    return TRUE;
}
