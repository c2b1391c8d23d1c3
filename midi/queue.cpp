// The MIDI event ring: MIDI callback threads put, the window thread gets.
#include "midi/queue.h"
#include <new>

// Memory the callbacks reach must keep one address for the queue's life: both blocks are
// locked at creation and stay locked until queueDestroy.
static void* lockedBlock(SIZE_T size, HGLOBAL* handle)
{
    *handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
    if (!*handle) return 0;
    void* memory = GlobalLock(*handle);
    if (!memory) GlobalFree(*handle);
    return memory;
}

static void releaseBlock(HGLOBAL handle)
{
    GlobalUnlock(handle);
    GlobalFree(handle);
}

MidiEventQueue* queueCreate(uint32_t capacity)
{
    // The slot block's byte size must fit in 32 bits: a wrapped size would give a short
    // buffer that the ring then overruns.
    uint64_t slotBytes = (uint64_t)capacity * sizeof(MidiEvent);
    if (slotBytes > 0xFFFFFFFFull) return 0;

    HGLOBAL headerMemory;
    void* header = lockedBlock(sizeof(MidiEventQueue), &headerMemory);
    if (!header) return 0;
    MidiEventQueue* queue = new (header) MidiEventQueue;
    queue->headerMemory = headerMemory;

    HGLOBAL bufferMemory;
    MidiEvent* slots = (MidiEvent*)lockedBlock((SIZE_T)slotBytes, &bufferMemory);
    if (!slots) {
        releaseBlock(headerMemory);
        return 0;
    }
    queue->bufferMemory = bufferMemory;
    queue->overflowed = 0;
    queue->capacity = capacity;
    queue->count.store(0, std::memory_order_relaxed);
    queue->bufferStart = slots;
    queue->bufferEnd = slots + capacity;
    queue->nextWrite = slots;
    queue->nextRead = slots;
    queue->producerTurn.store(0, std::memory_order_relaxed);
    queue->postWaiting.store(0, std::memory_order_relaxed);
    return queue;
}

// Devices may call back at the same moment, so producers take turns among themselves.
// The turn is never taken by the window thread: the reader never waits for it.
static void takeProducerTurn(MidiEventQueue* queue)
{
    unsigned spins = 0;
    while (queue->producerTurn.exchange(1, std::memory_order_acquire) != 0) {
        if (++spins % 64 == 0) Sleep(0);   // let a preempted holder finish (SwitchToThread is NT only)
    }
}

// Producers alone move nextWrite, the window thread alone nextRead; count is the hand-off.
void queuePut(MidiEventQueue* queue, const MidiEvent* event)
{
    takeProducerTurn(queue);
    if (queue->count.load(std::memory_order_acquire) < queue->capacity) {
        *queue->nextWrite = *event;
        if (++queue->nextWrite == queue->bufferEnd) queue->nextWrite = queue->bufferStart;
        queue->count.fetch_add(1, std::memory_order_release);   // written before it is counted
    } else {
        queue->overflowed = 1;          // full: the newest event is the one lost
    }
    queue->producerTurn.store(0, std::memory_order_release);
}

uint16_t queueGet(MidiEventQueue* queue, MidiEvent* event)
{
    if (queue->count.load(std::memory_order_acquire) == 0) return 0;
    *event = *queue->nextRead;
    if (++queue->nextRead == queue->bufferEnd) queue->nextRead = queue->bufferStart;
    queue->count.fetch_sub(1, std::memory_order_release);      // read before it is reused
    return 1;
}

void queueDestroy(MidiEventQueue* queue)
{
    HGLOBAL headerMemory = queue->headerMemory;
    releaseBlock(queue->bufferMemory);
    queue->~MidiEventQueue();
    releaseBlock(headerMemory);
}
