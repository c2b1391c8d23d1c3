// Runs on the multimedia system's threads: keeps channel-1 note-ons and hands them over.
#include "midi/midi_api.h"
#include "app/app.h"

// Allocates nothing, shows nothing, calls no MIDI operation; the only shared things it
// touches are the queue and the window's message queue.
void CALLBACK midiInputCallback(HMIDIIN, UINT kind, DWORD_PTR instance,
                                DWORD_PTR param1, DWORD_PTR param2)
{
    if (kind != MIM_DATA && kind != MIM_ERROR) return;
    if ((param1 & 0xFF) != 0x90) return;           // note-on, channel 1, nothing else
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
}
