// The MIDI callback as the multimedia system calls it: its filter, its queue and its posts,
// and floods of notes from many threads against the window's drains.
#include "support.h"
#include <mmsystem.h>
#include "midi/midi_api.h"
#include <atomic>
#include <thread>

// Takes every WM_MIDI_INPUT posted to this thread; each must be for the main window and
// carry nothing.
static testing::AssertionResult postedInputs(int expected)
{
    int found = 0;
    MSG msg;
    while (PeekMessageA(&msg, 0, WM_MIDI_INPUT, WM_MIDI_INPUT, PM_REMOVE)) {
        if (msg.hwnd != mainWindow || msg.wParam || msg.lParam)
            return testing::AssertionFailure() << "a post to " << msg.hwnd << " with wParam "
                                               << msg.wParam << " lParam " << msg.lParam;
        found++;
    }
    if (found != expected) return testing::AssertionFailure() << found << " posts, wanted " << expected;
    return testing::AssertionSuccess();
}

static std::vector<MidiEvent> takeQueued()
{
    std::vector<MidiEvent> events;
    MidiEvent event;
    while (queueGet(eventQueue, &event)) events.push_back(event);
    return events;
}

// The callback as the multimedia system calls it, with a record of our own.
class MidiCallback : public testing::Test {
protected:
    TempFolder folder;
    MidiDeviceContext* context = 0;
    void SetUp() override
    {
        openGameWindow("C3");
        eventQueue = queueCreate(MIDI_QUEUE_CAPACITY);
        ASSERT_NE(eventQueue, nullptr);
        context = deviceContextCreate();
        ASSERT_NE(context, nullptr);
        context->window = mainWindow;
        context->deviceIndex = 5;
        context->queue = eventQueue;
        deviceContexts[5] = context;    // listed, as an open device's record is
    }
    void TearDown() override
    {
        deviceContexts[5] = 0;
        if (context) deviceContextDestroy(context);
        if (eventQueue) queueDestroy(eventQueue);
        eventQueue = 0;
        closeGameWindow();
    }
    void deliver(UINT kind, DWORD message, DWORD stamp = 0)
    {
        midiInputCallback((HMIDIIN)0x1234, kind, (DWORD_PTR)context, message, stamp);
    }
    // One note played: its post is taken here, before a drain would clear it as redundant,
    // and handed to the window as the loop would; gives the score row's x after it.
    int play(DWORD message)
    {
        deliver(MIM_DATA, message);
        EXPECT_TRUE(postedInputs(1));
        SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0);
        EXPECT_EQ(eventQueue->count.load(), 0u) << "the drain leaves nothing behind";
        return scoreRowX;
    }
};

// Dispatches everything that comes for up to 10 s, until `enough` holds, and counts what
// reaches the main window: MIDI posts, drains (by post or by timer), paints, scroll ticks and
// left clicks.
struct Reached { int posts = 0, drains = 0; bool painted = false, ticked = false, clicked = false; };

static Reached dispatchUntil(std::function<bool(const Reached&)> enough)
{
    Reached reached;
    MSG msg;
    DWORD start = GetTickCount();
    while (!enough(reached) && GetTickCount() - start < 10000) {
        if (!PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) continue;
        if (msg.hwnd == mainWindow) {
            reached.posts += msg.message == WM_MIDI_INPUT;
            reached.drains += msg.message == WM_MIDI_INPUT || (msg.message == WM_TIMER && msg.wParam == TIMER_MIDI);
            reached.painted |= msg.message == WM_PAINT;
            reached.ticked |= msg.message == WM_TIMER && msg.wParam == TIMER_SCROLL;
            reached.clicked |= msg.message == WM_LBUTTONDOWN;
        }
        DispatchMessageA(&msg);
    }
    return reached;
}

// MIM_ERROR (an invalid message received) is taken exactly like MIM_DATA.
TEST_F(MidiCallback, NoteOnOnChannelOneIsQueuedWithItsDeviceAndTimeAndPostedOnce)
{
    for (UINT kind : { MIM_DATA, MIM_ERROR }) {
        SCOPED_TRACE(kind);
        deliver(kind, 0x643C90, 1234);
        EXPECT_TRUE(postedInputs(1));
        eventQueue->postWaiting.store(0);       // as the drain of that post would
        std::vector<MidiEvent> events = takeQueued();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].deviceIndex, 5u);
        EXPECT_EQ(events[0].timestamp, 1234u);
        EXPECT_EQ(events[0].message, 0x643C90u);
    }
}

TEST_F(MidiCallback, OtherChannelsNoteOffsOtherMessagesAndOtherNotificationsAreDropped)
{
    const DWORD dropped[] = { 0x643C91, 0x643C9F, 0x643C80, 0x003C80, 0x643C8F, 0x0740B0,
                              0x0040E0, 0x643CA0, 0x0000F8, 0x643C00 };
    for (DWORD message : dropped) {
        deliver(MIM_DATA, message, 10);
        deliver(MIM_ERROR, message, 10);
    }
    // The first parameter looks like a note-on: only the notification kind can stop it.
    for (UINT kind : { MIM_OPEN, MIM_CLOSE, MIM_LONGDATA, MIM_LONGERROR, MIM_MOREDATA })
        deliver(kind, 0x643C90, 5);
    EXPECT_TRUE(postedInputs(0));
    EXPECT_EQ(eventQueue->count.load(), 0u);
}

TEST_F(MidiCallback, VelocityZeroIsQueuedAndPostedButNeverJudged)
{
    SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);
    ASSERT_EQ(targetNote, 60);

    deliver(MIM_DATA, noteOn(60, 0));
    EXPECT_EQ(eventQueue->count.load(), 1u);
    EXPECT_TRUE(postedInputs(1));
    SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0);
    EXPECT_EQ(scoreRowX, 20) << "a release of the right key scored";
    EXPECT_EQ(eventQueue->count.load(), 0u) << "the drain leaves nothing behind";
    EXPECT_EQ(play(noteOn(60, 100)), 40);
    EXPECT_EQ(play(noteOn(62, 0)), 40) << "a release of a wrong key took a mark";
    EXPECT_TRUE(windowShows(scoreMarkBitmap, 20, scoreRowY));
    EXPECT_EQ(play(noteOn(62, 1)), 20);
    EXPECT_TRUE(windowShows(scoreEraseBitmap, 20, scoreRowY));
}

// Whoever sets the post flag and then fails to post or set the drain timer (on a window that
// is gone) must clear it again, or no callback would ever post after that. The drain timer is
// a one-shot: each drain that leaves events behind sets it again.
TEST_F(MidiCallback, APostOrDrainTimerThatFailsLeavesTheFlagClearAndTheTimerIsAOneShot)
{
    HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, 0, 0, 0, 0);
    DestroyWindow(gone);
    context->window = gone;
    deliver(MIM_DATA, noteOn(62, 100));
    EXPECT_EQ(eventQueue->postWaiting.load(), 0u) << "the callback's failed post";
    context->window = mainWindow;
    deliver(MIM_DATA, noteOn(62, 100));
    EXPECT_TRUE(postedInputs(1));

    std::atomic<bool> flooding{ true };
    std::thread player([&] {
        MidiEvent wrong = { 0, 0, noteOn(62, 100) };
        while (flooding) queuePut(eventQueue, &wrong);
    });
    int leftBehind = 0, stuck = 0;  // drains that ended with events waiting, flags left set
    for (DWORD start = GetTickCount(); leftBehind < 20 && !stuck && GetTickCount() - start < 10000;) {
        drainMidiQueue(gone);
        stuck = eventQueue->postWaiting.load() != 0;
        leftBehind += eventQueue->count.load() > 0;
    }
    flooding = false;
    player.join();
    EXPECT_FALSE(stuck) << "a drain with neither a timer nor a post left the flag set";
    EXPECT_TRUE(stuck || leftBehind == 20) << "only " << leftBehind << " drains left events behind";

    SetTimer(mainWindow, TIMER_MIDI, USER_TIMER_MINIMUM, 0);
    SendMessageA(mainWindow, WM_TIMER, TIMER_MIDI, 0);
    EXPECT_FALSE(KillTimer(mainWindow, TIMER_MIDI)) << "the drain timer went on after its drain";
}

TEST_F(MidiCallback, AFullQueueDropsTheNewestEventAndStillPostsForIt)
{
    for (DWORD n = 0; n < MIDI_QUEUE_CAPACITY; n++) deliver(MIM_DATA, noteOn(n & 0x7F, n >> 7), n);
    EXPECT_TRUE(postedInputs(1));
    // The window thread has taken that post and begun its drain, which clears the flag
    // first; the event that comes now finds the queue still full.
    eventQueue->postWaiting.store(0);
    deliver(MIM_DATA, noteOn(1, 1), 9999);
    EXPECT_EQ(eventQueue->count.load(), (uint32_t)MIDI_QUEUE_CAPACITY);
    EXPECT_EQ(eventQueue->overflowed, 1);
    EXPECT_TRUE(postedInputs(1));
    std::vector<MidiEvent> events = takeQueued();
    ASSERT_EQ(events.size(), (size_t)MIDI_QUEUE_CAPACITY);
    for (DWORD n = 0; n < MIDI_QUEUE_CAPACITY; n++) {
        ASSERT_EQ(events[n].timestamp, n);
        ASSERT_EQ(events[n].message, noteOn(n & 0x7F, n >> 7));
    }
}

// Posted messages come before paints and timer ticks: a post per event would keep the
// window from both for as long as the posts last.
TEST_F(MidiCallback, PutsFromManyThreadsLeaveOnePostAndOneDrainLetsPaintAndTicksThrough)
{
    SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);         // the real scroll timer runs
    const int threads = 4, perThread = 500;                      // below capacity in all
    std::vector<std::thread> players;
    for (int t = 0; t < threads; t++)
        players.emplace_back([this] {
            for (int i = 0; i < perThread; i++) deliver(MIM_DATA, noteOn(62, 100), i);
        });
    for (std::thread& player : players) player.join();
    InvalidateRect(mainWindow, 0, FALSE);
    ASSERT_TRUE(waitUntil([] { return (HIWORD(GetQueueStatus(QS_TIMER)) & QS_TIMER) != 0; }, 10000))
        << "no scroll tick came due";

    Reached reached = dispatchUntil([](const Reached& r) { return r.painted && r.ticked; });
    EXPECT_EQ(reached.posts, 1) << "posts waiting for " << threads * perThread << " events";
    EXPECT_TRUE(reached.painted) << "no paint after the drain";
    EXPECT_TRUE(reached.ticked) << "no timer tick after the drain";
    EXPECT_EQ(eventQueue->count.load(), 0u);
    EXPECT_EQ(scoreRowX, 20) << "every event was a wrong answer on an empty row";
}

// A flood that never stops: every drain ends with more events waiting, yet the window
// still paints, ticks and answers between drains.
TEST_F(MidiCallback, AnEndlessFloodStillLetsPaintsAndTicksThrough)
{
    SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);
    InvalidateRect(mainWindow, 0, FALSE);
    ASSERT_TRUE(clickAsPlayer(mainWindow));
    std::atomic<bool> flooding{ true };
    std::thread player([&] {
        while (flooding) deliver(MIM_DATA, noteOn(62, 100));   // wrong answers, each drawn
    });
    Reached reached = dispatchUntil([](const Reached& r) { return r.painted && r.ticked && r.clicked && r.drains > 1; });
    flooding = false;
    player.join();
    EXPECT_GT(reached.drains, 1);
    EXPECT_TRUE(reached.painted) << "no paint during the flood";
    EXPECT_TRUE(reached.ticked) << "no scroll tick during the flood";
    EXPECT_TRUE(reached.clicked) << "the player's click waited behind the flood";
}
