// MIDI start-up and shutdown inside the real WinMain, with scripted devices in place of winmm.
#include "support.h"
#include "fake_midi.h"
#include <sstream>

static std::string call(const char* what, int device)
{
    return std::string(what) + " " + std::to_string(device);
}

// "numdevs|caps 0|queue" as the list of calls it names.
static std::vector<std::string> calls(const std::string& list)
{
    std::vector<std::string> texts;
    std::stringstream stream(list);
    for (std::string text; std::getline(stream, text, '|');) texts.push_back(text);
    return texts;
}

// The call written `text` as it was made (with -1 records alive when it never was).
static FakeMidiCall made(const std::string& text)
{
    for (const FakeMidiCall& made : fakeMidiCalls())
        if (made.text == text) return made;
    return FakeMidiCall{ text, -1, false };
}

class MidiStartUp : public testing::Test {
protected:
    TempFolder folder;
    ModalDriver boxes;
    void SetUp() override { writeSettingsFile("C3"); }     // one note: the pick is certain
    void TearDown() override { fakeMidiUninstall(); }

    // Runs WinMain and checks its exit code. `whileRunning` is called inside its message loop,
    // which is then closed; without it, start-up must end before the loop.
    void run(int exitCode, std::function<void()> whileRunning = nullptr)
    {
        bool ran = false;
        EXPECT_EQ(runWinMain([&] {
            ran = true;
            if (whileRunning) whileRunning();
            PostMessageA(mainWindow, WM_CLOSE, 0, 0);
        }), exitCode);
        EXPECT_EQ(ran, (bool)whileRunning) << (ran ? "the message loop must not run" : "no message loop");
    }

    // The message boxes shown, each captioned "TuneGrin".
    void expectBoxes(const std::vector<std::string>& texts)
    {
        EXPECT_EQ(boxes.messageTexts, texts);
        EXPECT_EQ(boxes.messageCaptions, std::vector<std::string>(texts.size(), "TuneGrin"));
    }

    // Nothing of MIDI is left behind once WinMain has returned.
    testing::AssertionResult allReleased()
    {
        if (fakeMidiDevicesOpen()) return testing::AssertionFailure() << fakeMidiDevicesOpen() << " devices open";
        if (fakeMidiContextsAlive()) return testing::AssertionFailure() << fakeMidiContextsAlive() << " records alive";
        if (fakeMidiQueueAlive()) return testing::AssertionFailure() << "the queue is alive";
        return testing::AssertionSuccess();
    }
};

// The calls' order, the boxes and the answers are played through the built program; only
// here can the records and the queue be seen, each alive from before its open until after
// its close, and what each record carries to the callback.
TEST_F(MidiStartUp, EachRecordLivesFromBeforeItsOpenUntilItsOwnCloseAndTheQueueOutlivesThem)
{
    fakeMidiInstall(10);
    fakeMidiFailOpen(1, MMSYSERR_ALLOCATED);
    fakeMidiPlayLateNotes();
    run(0, [] {
        ASSERT_NE(eventQueue, nullptr);
        for (int device = 0; device < 8; device++) {
            SCOPED_TRACE(device);
            EXPECT_EQ(std::string(inputDeviceCaps[device].szPname), call("Scripted keyboard", device));
            const MidiDeviceContext* context = deviceContexts[device];
            if (device == 1) {
                EXPECT_EQ(context, nullptr);
                EXPECT_EQ(inputHandles[device], nullptr);
                continue;
            }
            ASSERT_NE(context, nullptr);
            EXPECT_EQ(context->window, mainWindow);
            EXPECT_EQ(context->deviceIndex, (uint32_t)device);
            EXPECT_EQ(context->queue, eventQueue);
            EXPECT_NE(inputHandles[device], nullptr);
        }
        EXPECT_EQ(fakeMidiContextsAlive(), 7);
    });
    // The failed device's record is gone before its error is even looked up.
    EXPECT_EQ(made("text 4").contextsAlive, 1);
    for (int device = 0; device < 8; device++) {
        SCOPED_TRACE(device);
        int before = device - (device > 1);     // records of the working devices before this one
        EXPECT_EQ(made(call("open", device)).contextsAlive, before + 1);
        if (device == 1) continue;
        EXPECT_EQ(made(call("stop", device)).contextsAlive, 7 - before);
        EXPECT_EQ(made(call("close", device)).contextsAlive, 7 - before);
        EXPECT_TRUE(made(call("open", device)).queueAlive);
        EXPECT_TRUE(made(call("close", device)).queueAlive);
    }
    EXPECT_EQ(fakeMidiContextsCreated(), 8);
    EXPECT_TRUE(allReleased());
    expectBoxes({ "scripted error 4" });
    EXPECT_GT(fakeMidiLateNotesPlayed(), 0);
    EXPECT_EQ(fakeMidiLateNotesQueued(), 0) << "a closed device's note reached the queue";
}

TEST_F(MidiStartUp, WithNoDeviceNoQueueIsMade)
{
    fakeMidiInstall(0);
    run(0, [] { EXPECT_EQ(eventQueue, nullptr); });
    EXPECT_EQ(fakeMidiCallTexts(), calls("numdevs"));
}

TEST_F(MidiStartUp, NoMemoryForTheQueueEndsWithOneBeforeAnyDeviceIsOpened)
{
    fakeMidiInstall(3);
    fakeMidiFailQueue();
    run(1);
    expectBoxes({ "Not enough memory available for input buffer." });
    EXPECT_EQ(fakeMidiCallTexts(), calls("numdevs|caps 0|caps 1|caps 2|queue"));
    EXPECT_TRUE(allReleased());
}

// The record of device `failing` (the first, or a later one) cannot be allocated: the devices
// opened before it are stopped and closed and their records freed while the queue still
// exists, then the queue goes; nothing is started.
TEST_F(MidiStartUp, NoMemoryForARecordClosesTheOpenedDevicesBeforeTheQueueGoesAndEndsWithOne)
{
    const struct { int failing; const char* calls; } rows[] = {
        { 0, "numdevs|caps 0|caps 1|caps 2|queue|context" },
        { 2, "numdevs|caps 0|caps 1|caps 2|queue|context|open 0|context|open 1|context|"
             "stop 0|reset 0|close 0|stop 1|reset 1|close 1" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failing);
        boxes.messageTexts.clear();
        boxes.messageCaptions.clear();
        fakeMidiInstall(3);
        fakeMidiFailContext(row.failing);
        run(1);
        expectBoxes({ "Not enough memory available." });
        EXPECT_EQ(fakeMidiCallTexts(), calls(row.calls));
        for (int device = 0; device < row.failing; device++) {
            EXPECT_TRUE(made(call("close", device)).queueAlive) << "queue freed before close " << device;
            EXPECT_EQ(made(call("close", device)).contextsAlive, row.failing - device);
        }
        EXPECT_EQ(fakeMidiContextsCreated(), row.failing);
        EXPECT_TRUE(allReleased());
    }
}
