// Several producer threads against one reader: nothing below capacity is lost, no event is
// torn and each producer's order holds. Built for Wine and natively under ThreadSanitizer.
#include <windows.h>
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include <vector>
#include "midi/queue.h"

#ifndef STRESS_SCALE
#define STRESS_SCALE 1      // the native ThreadSanitizer build divides the counts by this
#endif

// Each producer puts numbered events and waits while the queue is nearly full, so that
// no put is ever dropped; the reader checks every field against the producer's numbering.
static void stress(int producers, uint32_t perProducer, uint32_t capacity)
{
    MidiEventQueue* queue = queueCreate(capacity);
    ASSERT_NE(queue, nullptr);
    std::atomic<int> finished{ 0 };
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; p++) {
        threads.emplace_back([=, &finished] {
            for (uint32_t n = 0; n < perProducer; n++) {
                // Leave room for every other producer's one put in flight.
                while (queue->count.load(std::memory_order_acquire) + producers > capacity)
                    std::this_thread::yield();
                MidiEvent e = { (uint32_t)p, n, (n * 2654435761u) ^ (uint32_t)p };
                queuePut(queue, &e);
            }
            finished.fetch_add(1);
        });
    }
    std::vector<uint32_t> next(producers, 0);
    uint64_t received = 0, expected = (uint64_t)producers * perProducer;
    MidiEvent e;
    while (received < expected) {
        if (!queueGet(queue, &e)) {
            if (finished.load() == producers && queue->count.load() == 0) break;
            std::this_thread::yield();
            continue;
        }
        ASSERT_LT(e.deviceIndex, (uint32_t)producers);
        ASSERT_EQ(e.timestamp, next[e.deviceIndex]) << "producer " << e.deviceIndex << " out of order";
        ASSERT_EQ(e.message, (e.timestamp * 2654435761u) ^ e.deviceIndex) << "torn event";
        next[e.deviceIndex]++;
        received++;
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(received, expected);
    EXPECT_EQ(queue->overflowed, 0);
    EXPECT_EQ(queueGet(queue, &e), 0);
    queueDestroy(queue);
}

TEST(MidiQueueStress, OneProducerOneReader)
{
    stress(1, 400000 / STRESS_SCALE, 2400);
}

TEST(MidiQueueStress, EightProducersOneReader)
{
    stress(8, 50000 / STRESS_SCALE, 2400);
}

TEST(MidiQueueStress, EightProducersThroughATinyRing)
{
    stress(8, 20000 / STRESS_SCALE, 16);     // constant wrapping and near-full hand-offs
}

// A full queue under concurrent puts drops only what does not fit: exactly capacity kept.
TEST(MidiQueueStress, ConcurrentPutsIntoAFullQueueKeepExactlyCapacity)
{
    MidiEventQueue* queue = queueCreate(1000);
    std::vector<std::thread> threads;
    for (int p = 0; p < 4; p++)
        threads.emplace_back([=] {
            for (uint32_t n = 0; n < 2000; n++) {
                MidiEvent e = { (uint32_t)p, n, 0 };
                queuePut(queue, &e);
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(queue->count.load(), 1000u);
    EXPECT_EQ(queue->overflowed, 1);
    std::vector<int64_t> last(4, -1);
    MidiEvent e;
    int got = 0;
    while (queueGet(queue, &e)) {
        ASSERT_GT((int64_t)e.timestamp, last[e.deviceIndex]);
        last[e.deviceIndex] = e.timestamp;
        got++;
    }
    EXPECT_EQ(got, 1000);
    queueDestroy(queue);
}
