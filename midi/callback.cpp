// Runs on the multimedia system's threads: keeps channel-1 note-ons and hands them over.
#include "midi/midi_api.h"
#include "app/app.h"

// Callbacks under way for each device, counted once their record was found listed.
static std::atomic<uint32_t> callbacksActing[MAX_MIDI_INPUTS];

// A driver may call back after the device's close has returned: Wine's ALSA driver hands
// notes over from a queue of its own, and one queued before the close can come after it,
// with the record already freed. So the record is touched only while it is still listed,
// and shutdown waits out any callback that found it listed before freeing it.
static int actingDevice(DWORD_PTR instance)
{
    for (int device = 0; device < MAX_MIDI_INPUTS; device++) {
        if ((DWORD_PTR)deviceContexts[device].load() != instance) continue;
        callbacksActing[device].fetch_add(1);
        if ((DWORD_PTR)deviceContexts[device].load() == instance) return device;
        callbacksActing[device].fetch_sub(1);       // unlisted meanwhile
        return -1;
    }
    return -1;
}

void deviceContextRetire(int device)
{
    deviceContexts[device] = 0;
    while (callbacksActing[device].load()) Sleep(0);
}

// Allocates nothing, shows nothing, calls no MIDI operation; the only shared things it
// touches are the queue and the window's message queue.
void CALLBACK midiInputCallback(HMIDIIN, UINT kind, DWORD_PTR instance,
                                DWORD_PTR param1, DWORD_PTR param2)
{
    if (kind != MIM_DATA && kind != MIM_ERROR) return;
    if ((param1 & 0xFF) != 0x90) return;           // note-on, channel 1, nothing else
    int device = actingDevice(instance);
    if (device < 0) return;                         // a closed device's late note
    const MidiDeviceContext* context = (const MidiDeviceContext*)instance;
    MidiEvent event;
    event.deviceIndex = context->deviceIndex;
    event.timestamp = (uint32_t)param2;
    event.message = (uint32_t)param1;
    queuePut(context->queue, &event);
    // At most one post waits: while one does, Windows hands out neither paints nor timer
    // ticks. No event is left without a drain coming: the drain clears the flag before it counts
    // the events, so a put it does not count finds the flag clear and posts (both sides
    // exchange the flag, so a put that still saw it set is one the drain counts). Posted
    // also when the event was dropped.
    if (context->queue->postWaiting.exchange(1, std::memory_order_acq_rel) == 0 &&
        !PostMessageA(context->window, WM_MIDI_INPUT, 0, 0))
        context->queue->postWaiting.store(0, std::memory_order_release);   // let the next one try
    callbacksActing[device].fetch_sub(1);
}
