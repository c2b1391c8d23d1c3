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

TEST_F(MidiStartUp, WithNoDeviceNothingOfMidiRunsAndTheScreenKeyboardStillPlays)
{
    fakeMidiInstall(0);
    run(0, [] {
        EXPECT_EQ(eventQueue, nullptr);
        SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);
        EXPECT_EQ(targetNote, 60);
        SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0);      // a stray post finds no queue
        SendMessageA(mainWindow, WM_SCREEN_KEY, 60, 0);
        EXPECT_EQ(scoreRowX, 40);
        EXPECT_TRUE(windowShows(scoreMarkBitmap, 20, scoreRowY));
    });
    EXPECT_EQ(fakeMidiCallTexts(), calls("numdevs"));
    expectBoxes({});
}

TEST_F(MidiStartUp, WithTenDevicesOnlyTheFirstEightAreUsedAllOpenedBeforeAnyStarts)
{
    fakeMidiInstall(10);
    run(0, [] {
        ASSERT_NE(eventQueue, nullptr);
        for (int device = 0; device < 8; device++) {
            SCOPED_TRACE(device);
            EXPECT_EQ(std::string(inputDeviceCaps[device].szPname), call("Scripted keyboard", device));
            FakeMidiOpen given = fakeMidiOpenArguments(device);
            EXPECT_EQ(given.callback, (DWORD_PTR)midiInputCallback);
            EXPECT_EQ(given.flags, (DWORD)CALLBACK_FUNCTION);
            const MidiDeviceContext* context = (const MidiDeviceContext*)given.instance;
            ASSERT_NE(context, nullptr);
            EXPECT_EQ(context, deviceContexts[device]);
            EXPECT_EQ(context->window, mainWindow);
            EXPECT_EQ(context->deviceIndex, (uint32_t)device);
            EXPECT_EQ(context->queue, eventQueue);
            EXPECT_NE(inputHandles[device], nullptr);
            EXPECT_TRUE(fakeMidiSend(device, 0x403C90)) << "not started";
        }
        EXPECT_EQ(fakeMidiOpenArguments(8).callback, 0u);
        EXPECT_EQ(fakeMidiOpenArguments(9).callback, 0u);
        EXPECT_TRUE(fakeMidiDelivered());
        EXPECT_EQ(eventQueue->count.load(), 8u);
    });

    std::vector<std::string> expected = calls("numdevs"), starts, shutdown;
    for (int device = 0; device < 8; device++) {
        expected.push_back(call("caps", device));
        starts.push_back(call("start", device));
        for (const char* step : { "stop", "reset", "close" }) shutdown.push_back(call(step, device));
    }
    expected.push_back("queue");
    for (int device = 0; device < 8; device++) {
        expected.push_back("context");
        expected.push_back(call("open", device));
    }
    expected.insert(expected.end(), starts.begin(), starts.end());
    expected.insert(expected.end(), shutdown.begin(), shutdown.end());
    EXPECT_EQ(fakeMidiCallTexts(), expected);

    // Each record is whole before its open, and is freed right after its own close; the
    // queue outlives every close.
    for (int device = 0; device < 8; device++) {
        SCOPED_TRACE(device);
        EXPECT_EQ(made(call("open", device)).contextsAlive, device + 1);
        EXPECT_EQ(made(call("stop", device)).contextsAlive, 8 - device);
        EXPECT_EQ(made(call("close", device)).contextsAlive, 8 - device);
        EXPECT_TRUE(made(call("open", device)).queueAlive);
        EXPECT_TRUE(made(call("close", device)).queueAlive);
    }
    EXPECT_EQ(fakeMidiContextsCreated(), 8);
    EXPECT_TRUE(allReleased());
    expectBoxes({});
}

TEST_F(MidiStartUp, ADeviceThatCannotBeOpenedIsReportedOnceAndLeftOutOfPlay)
{
    fakeMidiInstall(3);
    fakeMidiFailOpen(1, MMSYSERR_ALLOCATED);
    run(0, [] {
        EXPECT_NE(inputHandles[0], nullptr);
        EXPECT_EQ(inputHandles[1], nullptr);
        EXPECT_NE(inputHandles[2], nullptr);
        EXPECT_EQ(fakeMidiContextsAlive(), 2);
        EXPECT_FALSE(fakeMidiSend(1, 0x403C90));
    });
    expectBoxes({ "scripted error 4" });
    EXPECT_EQ(fakeMidiErrorTextSize(), 80u);
    EXPECT_EQ(fakeMidiCallTexts(), calls("numdevs|caps 0|caps 1|caps 2|queue|context|open 0|context|open 1|text 4|"
                                         "context|open 2|start 0|start 2|stop 0|reset 0|close 0|stop 2|reset 2|close 2"));
    // The failed device's record is gone before its error is even looked up; at shutdown
    // exactly the two others are freed, each after its own close.
    EXPECT_EQ(made("text 4").contextsAlive, 1);
    EXPECT_EQ(made("open 2").contextsAlive, 2);
    EXPECT_EQ(made("close 0").contextsAlive, 2);
    EXPECT_EQ(made("stop 2").contextsAlive, 1);
    EXPECT_EQ(made("close 2").contextsAlive, 1);
    EXPECT_EQ(fakeMidiContextsCreated(), 3);
    EXPECT_TRUE(allReleased());
}

TEST_F(MidiStartUp, ADeviceThatCannotBeDescribedIsReportedAndStillPlays)
{
    fakeMidiInstall(2);
    fakeMidiFailCaps(1, MMSYSERR_NODRIVER);
    run(0, [] {
        EXPECT_TRUE(fakeMidiSend(1, 0x643C90));
        EXPECT_TRUE(fakeMidiDelivered());
        MidiEvent event = {};
        EXPECT_EQ(queueGet(eventQueue, &event), 1);
        EXPECT_EQ(event.deviceIndex, 1u);
        EXPECT_EQ(event.message, 0x643C90u);
    });
    expectBoxes({ "scripted error 6" });
    EXPECT_EQ(fakeMidiCallTexts(), calls("numdevs|caps 0|caps 1|text 6|queue|context|open 0|context|open 1|"
                                         "start 0|start 1|stop 0|reset 0|close 0|stop 1|reset 1|close 1"));
    EXPECT_TRUE(allReleased());
}

TEST_F(MidiStartUp, NotesStillArrivingWhileItShutsDownChangeNothing)
{
    fakeMidiInstall(2);
    // After the loop has ended, while device 0 is being stopped, device 1 still plays.
    fakeMidiPlayDuring("stop 0", 1, std::vector<DWORD>(500, 0x643C90));
    int rowX = 0;
    run(0, [&] {
        SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);
        ASSERT_EQ(targetNote, 60);
        SendMessageA(mainWindow, WM_SCREEN_KEY, 60, 0);
        rowX = scoreRowX;
    });
    EXPECT_EQ(rowX, 40);
    EXPECT_EQ(fakeMidiCallbacks(1), 1 + 500 + 1) << "MIM_OPEN, the 500 notes, MIM_CLOSE";
    EXPECT_EQ(scoreRowX, rowX) << "a note played during shutdown was judged";
    EXPECT_EQ(fakeMidiCallTexts(), calls("numdevs|caps 0|caps 1|queue|context|open 0|context|open 1|"
                                         "start 0|start 1|stop 0|reset 0|close 0|stop 1|reset 1|close 1"));
    EXPECT_TRUE(made("close 1").queueAlive) << "the notes went into a queue already freed";
    EXPECT_TRUE(allReleased());
    expectBoxes({});
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
// opened before it are closed and their records freed while the queue still exists, then the
// queue goes.
TEST_F(MidiStartUp, NoMemoryForARecordClosesTheOpenedDevicesBeforeTheQueueGoesAndEndsWithOne)
{
    for (int failing : { 0, 2 }) {
        SCOPED_TRACE(failing);
        boxes.messageTexts.clear();
        boxes.messageCaptions.clear();
        fakeMidiInstall(3);
        fakeMidiFailContext(failing);
        run(1);
        expectBoxes({ "Not enough memory available." });

        std::vector<std::string> opening = calls("numdevs|caps 0|caps 1|caps 2|queue");
        for (int device = 0; device < failing; device++) {
            opening.push_back("context");
            opening.push_back(call("open", device));
        }
        opening.push_back("context");
        std::vector<std::string> texts = fakeMidiCallTexts();
        ASSERT_GE(texts.size(), opening.size());
        EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + opening.size()), opening);

        // After the refusal: nothing is started, and each opened device is closed (stopping
        // and resetting a device that never ran are allowed on the way).
        std::vector<std::string> closes, expectedCloses;
        for (size_t i = opening.size(); i < texts.size(); i++)
            if (texts[i].rfind("stop ", 0) != 0 && texts[i].rfind("reset ", 0) != 0) closes.push_back(texts[i]);
        for (int device = 0; device < failing; device++) {
            expectedCloses.push_back(call("close", device));
            EXPECT_TRUE(made(call("close", device)).queueAlive) << "queue freed before close " << device;
            EXPECT_EQ(made(call("close", device)).contextsAlive, failing - device);
        }
        EXPECT_EQ(closes, expectedCloses);
        EXPECT_EQ(fakeMidiContextsCreated(), failing);
        EXPECT_TRUE(allReleased());
    }
}
