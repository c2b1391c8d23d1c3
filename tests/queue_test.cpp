// The MIDI event ring on its own: order, overflow, wrap and its memory.
#include <windows.h>
#include <gtest/gtest.h>
#include "midi/queue.h"
#include <vector>

static MidiEvent event(uint32_t n)
{
    return MidiEvent{ n % 8, n * 3, 0x90u | (n << 8) };
}

static testing::AssertionResult sameEvent(const MidiEvent& a, const MidiEvent& b)
{
    if (a.deviceIndex == b.deviceIndex && a.timestamp == b.timestamp && a.message == b.message)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "got {" << a.deviceIndex << "," << a.timestamp << ","
                                       << a.message << "} wanted {" << b.deviceIndex << ","
                                       << b.timestamp << "," << b.message << "}";
}

// A new queue is empty, leaves the record alone, holds its slots in one locked block, and
// frees both blocks when destroyed.
TEST(MidiQueue, NewQueueIsEmptyWithItsSlotsInOneLockedBlockOfTwelveBytesEach)
{
    MidiEventQueue* queue = queueCreate(7);
    ASSERT_NE(queue, nullptr);
    MidiEvent record = { 7, 8, 9 };
    EXPECT_EQ(queueGet(queue, &record), 0);
    EXPECT_TRUE(sameEvent(record, MidiEvent{ 7, 8, 9 }));
    EXPECT_EQ(queue->overflowed, 0);
    EXPECT_EQ(queue->capacity, 7u);
    EXPECT_EQ(queue->count.load(), 0u);
    EXPECT_EQ((char*)queue->bufferEnd - (char*)queue->bufferStart, 7 * 12);
    EXPECT_GE(GlobalSize(queue->bufferMemory), 7u * 12);
    EXPECT_EQ(GlobalFlags(queue->bufferMemory) & GMEM_LOCKCOUNT, 1u);   // locked for life
    EXPECT_EQ(GlobalFlags(queue->headerMemory) & GMEM_LOCKCOUNT, 1u);
    EXPECT_EQ(GlobalLock(queue->bufferMemory), queue->bufferStart);     // same address
    GlobalUnlock(queue->bufferMemory);
    EXPECT_EQ((void*)GlobalLock(queue->headerMemory), (void*)queue);
    GlobalUnlock(queue->headerMemory);
    HGLOBAL header = queue->headerMemory, slots = queue->bufferMemory;
    MidiEvent held = event(1);
    queuePut(queue, &held);
    queueDestroy(queue);                    // with an event still held: both blocks go
    EXPECT_EQ(GlobalFlags(header), GMEM_INVALID_HANDLE);
    EXPECT_EQ(GlobalFlags(slots), GMEM_INVALID_HANDLE);
}

TEST(MidiQueue, KeepsEveryEventUpToCapacityThenDropsTheNewest)
{
    MidiEventQueue* queue = queueCreate(MIDI_QUEUE_CAPACITY);
    for (uint32_t n = 0; n < MIDI_QUEUE_CAPACITY; n++) {
        MidiEvent e = event(n);
        queuePut(queue, &e);
    }
    EXPECT_EQ(queue->overflowed, 0) << "all capacity slots are usable";
    EXPECT_EQ(queue->nextWrite, queue->nextRead);   // full looks like empty but for count
    MidiEvent extra = event(99999);
    queuePut(queue, &extra);
    EXPECT_EQ(queue->overflowed, 1);
    EXPECT_EQ(queue->count.load(), (uint32_t)MIDI_QUEUE_CAPACITY);

    MidiEvent out;
    ASSERT_EQ(queueGet(queue, &out), 1);
    EXPECT_TRUE(sameEvent(out, event(0)));
    MidiEvent refill = event(MIDI_QUEUE_CAPACITY);   // one get makes room for one put
    queuePut(queue, &refill);
    queuePut(queue, &extra);
    EXPECT_EQ(queue->count.load(), (uint32_t)MIDI_QUEUE_CAPACITY);
    EXPECT_EQ(queue->overflowed, 1);                 // never goes back to 0
    for (uint32_t n = 1; n <= MIDI_QUEUE_CAPACITY; n++) {
        ASSERT_EQ(queueGet(queue, &out), 1) << n;
        ASSERT_TRUE(sameEvent(out, event(n))) << n;
    }
    EXPECT_EQ(queueGet(queue, &out), 0);
    queueDestroy(queue);
}

TEST(MidiQueue, OrderHoldsAcrossTheWrap)
{
    MidiEventQueue* queue = queueCreate(5);
    uint32_t nextIn = 0, nextOut = 0;
    MidiEvent out;
    // Uneven batches walk both ends round the ring many times.
    for (int round = 0; round < 40; round++) {
        int puts = 1 + round % 5, gets = 1 + (round * 3) % 5;
        for (int i = 0; i < puts && queue->count.load() < 5; i++) {
            MidiEvent e = event(nextIn++);
            queuePut(queue, &e);
        }
        for (int i = 0; i < gets && queueGet(queue, &out); i++)
            ASSERT_TRUE(sameEvent(out, event(nextOut++))) << "round " << round;
        ASSERT_GE(queue->nextWrite, queue->bufferStart);
        ASSERT_LT(queue->nextWrite, queue->bufferEnd);
        ASSERT_GE(queue->nextRead, queue->bufferStart);
        ASSERT_LT(queue->nextRead, queue->bufferEnd);
    }
    while (queueGet(queue, &out)) ASSERT_TRUE(sameEvent(out, event(nextOut++)));
    EXPECT_EQ(nextIn, nextOut);
    EXPECT_GT(nextIn, 50u);
    EXPECT_EQ(queue->overflowed, 0);
    queueDestroy(queue);
}

// Bytes of the process heap's blocks in use; GlobalAlloc takes its blocks from that heap.
static long long processHeapInUse()
{
    HANDLE heap = GetProcessHeap();
    PROCESS_HEAP_ENTRY entry = {};
    long long busy = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += entry.cbData;
    HeapUnlock(heap);
    return busy;
}

TEST(MidiQueue, SlotsThatCannotBeHadFreeTheHeaderBlockAgainAndNoSizeOverflows)
{
    // A movable block of 0 bytes is born discarded and cannot be locked: the slots of a queue
    // of capacity 0 cannot be had, after its header block has been taken and locked.
    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalLock(empty), nullptr);
    GlobalFree(empty);

    const int attempts = 1000;
    long long before = processHeapInUse();
    for (int i = 0; i < attempts; i++) ASSERT_EQ(queueCreate(0), nullptr);
    long long after = processHeapInUse();
    EXPECT_LT(after - before, (long long)(attempts * sizeof(MidiEventQueue) / 4))
        << "header blocks left behind";

    // The measure does see header-sized blocks that are still held.
    std::vector<HGLOBAL> held;
    for (int i = 0; i < attempts; i++) held.push_back(GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(MidiEventQueue)));
    EXPECT_GE(processHeapInUse() - after, (long long)(attempts * sizeof(MidiEventQueue)));
    for (HGLOBAL block : held) GlobalFree(block);
    // 0x15555556 * 12 wraps to 8 bytes in 32-bit arithmetic: such a capacity is refused.
    EXPECT_EQ(queueCreate(0x15555556u), nullptr);
    EXPECT_EQ(queueCreate(0xFFFFFFFFu), nullptr);
}
