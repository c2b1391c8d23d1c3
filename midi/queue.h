// The fixed ring of note events that the MIDI callbacks fill and the window thread drains.
#ifndef TUNEGRIN_QUEUE_H
#define TUNEGRIN_QUEUE_H

#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include <atomic>

#define MIDI_QUEUE_CAPACITY 2400

struct MidiEvent {          // one queued note-on, 12 bytes
    uint32_t deviceIndex;
    uint32_t timestamp;     // ms since the device was started
    uint32_t message;       // status bits 0-7, note 8-15, velocity 16-23
};
static_assert(sizeof(MidiEvent) == 12 && offsetof(MidiEvent, timestamp) == 4 &&
              offsetof(MidiEvent, message) == 8, "a queued event is three packed 32-bit fields");

struct MidiEventQueue {
    HGLOBAL headerMemory;
    HGLOBAL bufferMemory;
    uint16_t overflowed;               // 0 -> 1 on the first dropped event, never back
    uint32_t capacity;
    std::atomic<uint32_t> count;       // the hand-off between producers and the reader
    MidiEvent* bufferStart;
    MidiEvent* bufferEnd;
    MidiEvent* nextWrite;              // producers only, inside their turn
    MidiEvent* nextRead;               // window thread only
    std::atomic<uint32_t> producerTurn; // 0 free, 1 taken: producers take turns among themselves
    std::atomic<uint32_t> postWaiting;  // 1 while a drain is on its way: a WM_MIDI_INPUT or the drain timer
};

MidiEventQueue* queueCreate(uint32_t capacity);
void queuePut(MidiEventQueue* queue, const MidiEvent* event);
uint16_t queueGet(MidiEventQueue* queue, MidiEvent* event);
void queueDestroy(MidiEventQueue* queue);

#endif
