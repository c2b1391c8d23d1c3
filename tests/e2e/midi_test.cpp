// The built game with virtual MIDI keyboards: a stand-in WINMM.dll beside a copy of the
// unchanged program plays the devices and records every MIDI call the program makes.
// Only C3 (MIDI 60) is asked, so every answer is known before its note shows.
#include "screen.h"
#include "virtual_midi.h"
#include <mmsystem.h>
#include <stdio.h>
#include <algorithm>
#include <ostream>
#include <vector>

static const char* const GAME_COPY = "tunegrin_virtual_midi.exe";
static const uint32_t RIGHT = 0x643C90;         // note-on, channel 1, C3, velocity 100
static const uint32_t WRONG = 0x643E90;         // D3
static const uint32_t RELEASE = 0x403C80;       // note-off C3: dropped by the callback
static const char LONG_TEXT[] = "The virtual device is in use by another program: close it, "
                                "or choose another device, and then start TuneGrin again.";
static_assert(sizeof LONG_TEXT > 81, "the text must overrun the game's 80-byte buffer");

// A record as one line, with the arguments the game chooses; the callback and instance
// values are checked apart.
static std::string line(const VirtualCallRecord& entry)
{
    static const char* const names[] = { "?", "midiInGetNumDevs", "midiInGetDevCapsA", "midiInGetErrorTextA",
        "midiInOpen", "midiInStart", "midiInStop", "midiInReset", "midiInClose", "notify", "deliver" };
    const char* name = entry.call <= CALL_DELIVER ? names[entry.call] : "?";
    char text[128];
    const unsigned long a = (unsigned long)entry.args[0], b = (unsigned long)entry.args[1];
    switch (entry.call) {
    case CALL_GET_NUM_DEVS:   snprintf(text, sizeof text, "%s -> %u", name, entry.result); break;
    case CALL_GET_DEV_CAPS:   snprintf(text, sizeof text, "%s %d size %lu", name, entry.device, a); break;
    case CALL_GET_ERROR_TEXT: snprintf(text, sizeof text, "%s %lu size %lu", name, a, b); break;
    case CALL_OPEN:           snprintf(text, sizeof text, "%s %d flags 0x%lx", name, entry.device,
                                       (unsigned long)entry.args[2]); break;
    case CALL_NOTIFY:         snprintf(text, sizeof text, "%s %d", a == MIM_OPEN ? "MIM_OPEN" : "MIM_CLOSE", entry.device); break;
    case CALL_DELIVER:        snprintf(text, sizeof text, "%s %d 0x%lx", a == MIM_ERROR ? "MIM_ERROR" : "MIM_DATA",
                                       entry.device, b); break;
    default:                  snprintf(text, sizeof text, "%s %d -> %u", name, entry.device, entry.result);
    }
    return text;
}

static std::string text(const char* format, int device, unsigned long value = 0)
{
    char result[128];
    snprintf(result, sizeof result, format, device, value);
    return result;
}

// How the devices are set up, and the calls the program must make for it, in order.
struct DeviceRow {
    const char* name;
    int count;
    int failingCaps, failingOpen;   // -1 for none
};

class VirtualMidiRun : public GameWatch {
protected:
    ScratchFolder folder{ "midi" };
    VirtualMidi* midi = openVirtualMidi();

    void TearDown() override
    {
        if (midi) midi->floodRate = 0;
        GameWatch::TearDown();
    }

    testing::AssertionResult launch(const DeviceRow& row)
    {
        if (!midi) return testing::AssertionFailure() << "no shared memory for the virtual devices";
        midi->deviceCount = (uint32_t)row.count;
        lstrcpynA(midi->errorText, LONG_TEXT, sizeof midi->errorText);
        if (row.failingCaps >= 0) midi->devices[row.failingCaps].capsError = MMSYSERR_NODRIVER;
        if (row.failingOpen >= 0) midi->devices[row.failingOpen].openError = MMSYSERR_ALLOCATED;
        WritePrivateProfileStringA("initialize", "notes", "C3", (folder.path() + "\\tunegrin.ini").c_str());
        std::string exe = installVirtualMidi(folder.path(), GAME_COPY);
        if (exe.empty()) return testing::AssertionFailure() << "cannot put the game and the stand-in in " << folder.path();
        testing::AssertionResult started = launchGame(game, folder.path(), exe);
        if (!started) return started;
        if (midi->loadedBy != (LONG)game.process.dwProcessId)
            return testing::AssertionFailure() << "the game did not load the stand-in winmm.dll";
        return testing::AssertionSuccess();
    }

    std::vector<std::string> recorded() const
    {
        std::vector<std::string> lines;
        int count = std::min((int)midi->callCount, VIRTUAL_CALLS);
        for (int i = 0; i < count && midi->calls[i].call; i++) lines.push_back(line(midi->calls[i]));
        return lines;
    }

    bool waitForRecords(size_t count) const { return waitUntil([&] { return recorded().size() >= count; }, 10000); }

    HWND findBox() const
    {
        return findGameWindow(game, "#32770", [](HWND box) { return windowText(box) == "TuneGrin"; });
    }

    // A fresh turn's note on the staff: after the previous one's face has gone.
    testing::AssertionResult waitForNewNote() const
    {
        if (waitUntil([&] { Picture now = look(); return findNote(now).row >= 0 && faceOnStaff(now) == FACE_NONE; }, 15000))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "no note came; the staff shows " << faceName(faceOnStaff(look()));
    }

    void checkThreads() const
    {
        int count = std::min((int)midi->callCount, VIRTUAL_CALLS);
        for (int i = 0; i < count; i++) {
            const VirtualCallRecord& entry = midi->calls[i];
            if (entry.call == CALL_DELIVER)
                EXPECT_NE(entry.thread, game.process.dwThreadId) << "delivered on the window thread";
            else
                EXPECT_EQ(entry.thread, game.process.dwThreadId) << line(entry) << " off the window thread";
        }
    }
};

// The calls of the program's start-up that the devices see, in their order: the
// count; each device described; each opened; the open ones started.
static std::vector<std::string> startupCalls(const DeviceRow& row)
{
    int used = std::min(row.count, 8);
    std::vector<std::string> calls = { text("midiInGetNumDevs -> %d", row.count) };
    for (int d = 0; d < used; d++) {
        calls.push_back(text("midiInGetDevCapsA %d size 44", d));
        if (d == row.failingCaps) calls.push_back(text("midiInGetErrorTextA %d size 80", MMSYSERR_NODRIVER));
    }
    for (int d = 0; d < used; d++) {
        calls.push_back(text("midiInOpen %d flags 0x30000", d));
        if (d == row.failingOpen) calls.push_back(text("midiInGetErrorTextA %d size 80", MMSYSERR_ALLOCATED));
        else calls.push_back(text("MIM_OPEN %d", d));
    }
    for (int d = 0; d < used; d++)
        if (d != row.failingOpen) calls.push_back(text("midiInStart %d -> 0", d));
    return calls;
}

// After the message loop: each open device stopped, reset and closed, in index order.
static std::vector<std::string> shutdownCalls(const DeviceRow& row)
{
    std::vector<std::string> calls;
    for (int d = 0; d < std::min(row.count, 8); d++) {
        if (d == row.failingOpen) continue;
        for (const char* format : { "midiInStop %d -> 0", "midiInReset %d -> 0", "midiInClose %d -> 0", "MIM_CLOSE %d" })
            calls.push_back(text(format, d));
    }
    return calls;
}

void PrintTo(const DeviceRow& row, std::ostream* out) { *out << row.name; }

class DeviceStartup : public VirtualMidiRun, public testing::WithParamInterface<DeviceRow> {};

// Start-up and shutdown exactly in order, the boxes for failed devices, and one right
// answer, from the last device that opened or, with none, from the on-screen keyboard.
TEST_P(DeviceStartup, CallsInOrderAndPlays)
{
    const DeviceRow& row = GetParam();
    ASSERT_TRUE(launch(row));
    for (int failing : { row.failingCaps, row.failingOpen }) {
        if (failing < 0) continue;
        HWND box = 0;
        ASSERT_TRUE(waitUntil([&] { return (box = findBox()) != 0; }, 10000)) << "no box for device " << failing;
        char shown[256] = "";
        GetDlgItemTextA(box, 0xFFFF, shown, sizeof shown);
        EXPECT_EQ(std::string(shown), std::string(LONG_TEXT, 79)) << "the text must be cut to the 80-byte buffer";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(box); }, 5000)) << "the box did not close";
    }
    std::vector<std::string> expected = startupCalls(row);
    ASSERT_TRUE(waitForRecords(expected.size())) << "start-up made " << recorded().size() << " calls";
    EXPECT_EQ(recorded(), expected);
    EXPECT_FALSE(findBox()) << "a box nobody asked for";
    // One callback for all; a record of its own for each device.
    std::vector<uint64_t> instances;
    uint64_t callback = 0;
    for (int i = 0; i < midi->callCount && i < VIRTUAL_CALLS; i++) {
        const VirtualCallRecord& entry = midi->calls[i];
        if (entry.call != CALL_OPEN || entry.result) continue;   // a failed one's record is freed
        if (!callback) callback = entry.args[0];
        EXPECT_TRUE(entry.args[0] == callback && callback) << "device " << entry.device << "'s callback";
        for (uint64_t other : instances) EXPECT_NE(entry.args[1], other) << "two devices share a record";
        instances.push_back(entry.args[1]);
    }

    postCommand(game, GAME_START);
    ASSERT_TRUE(waitForNewNote());
    int player = std::min(row.count, 8) - 1;
    if (player == row.failingOpen) player--;
    if (player >= 0) {
        virtualPlay(midi, player, MIM_DATA, RIGHT);
        expected.push_back(text("MIM_DATA %d 0x%lx", player, RIGHT));
    } else {
        postCommand(game, GAME_KEYBOARD);
        ASSERT_TRUE(waitUntil([&] { return (keyboard = findKeyboard(game)) != 0; }, 10000)) << "no keyboard";
        clickWhiteKey(keyboard, KEY_C3);
    }
    EXPECT_TRUE(waitForMarks(1)) << "the right answer did not count";

    PostMessageA(game.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(exitsWith(game, 0));
    for (const std::string& call : shutdownCalls(row)) expected.push_back(call);
    EXPECT_EQ(recorded(), expected);
    checkThreads();
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceStartup, testing::Values(
    DeviceRow{ "None", 0, -1, -1 },
    DeviceRow{ "Three", 3, -1, -1 },
    DeviceRow{ "TenOnlyEightUsed", 10, -1, -1 },
    DeviceRow{ "SecondCannotOpen", 3, -1, 1 },
    DeviceRow{ "ThirdNotDescribed", 3, 2, -1 }),
    [](const testing::TestParamInfo<DeviceRow>& info) { return std::string(info.param.name); });

// Answers from the devices, step by step: what is played, then the marks it leaves. Each
// step of wrong or ignored messages ends in a wrong note, so that with the marks it shows
// every message before it has been judged (or dropped), in the order played.
struct AnswerStep {
    const char* what;
    bool newTurn;                   // wait for the next note first
    std::vector<VirtualPlay> plays;
    int device;
    int marks;
};

class Answers : public VirtualMidiRun {};

TEST_F(Answers, JudgedAsPlayedFromAnyDevice)
{
    static const AnswerStep steps[] = {
        { "a right note-on", false, { { MIM_DATA, RIGHT } }, 5, 1 },
        { "a right note-on as MIM_ERROR", true, { { MIM_ERROR, RIGHT } }, 5, 2 },
        { "a right note-on from device 0", true, { { MIM_DATA, RIGHT } }, 0, 3 },
        { "wrong notes on channel 2, at velocity 0, released, then one wrong note-on", true,
          { { MIM_DATA, 0x643E91 }, { MIM_DATA, 0x003E90 }, { MIM_DATA, 0x403E80 }, { MIM_DATA, WRONG } }, 5, 2 },
        { "right notes on channel 2, at velocity 0, released, then one wrong note-on", false,
          { { MIM_DATA, 0x643C91 }, { MIM_DATA, 0x003C90 }, { MIM_DATA, RELEASE }, { MIM_DATA, WRONG } }, 5, 1 },
    };
    ASSERT_TRUE(launch({ "Six", 6, -1, -1 }));
    ASSERT_TRUE(waitForRecords(startupCalls({ "Six", 6, -1, -1 }).size()));
    postCommand(game, GAME_START);
    ASSERT_TRUE(waitForNewNote());
    for (const AnswerStep& step : steps) {
        if (step.newTurn) {
            ASSERT_TRUE(waitForFace(FACE_HAPPY)) << "before " << step.what;
            ASSERT_TRUE(waitForNewNote()) << "before " << step.what;
        }
        for (const VirtualPlay& play : step.plays) virtualPlay(midi, step.device, play.kind, play.message);
        ASSERT_TRUE(waitForMarks(step.marks)) << "after " << step.what;
    }
    PostMessageA(game.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(exitsWith(game, 0));
    checkThreads();
}

// Eight devices at the rate a MIDI cable carries, all at once, while a game runs.
class Flood : public VirtualMidiRun {
protected:
    const DeviceRow eight{ "Eight", 8, -1, -1 };

    bool flowing(LONG atLeast)      // every device has delivered that many
    {
        auto reached = [&](const VirtualDevice& device) { return device.delivered >= atLeast; };
        return waitUntil([&] { return std::all_of(midi->devices, midi->devices + 8, reached); }, 10000);
    }
};

TEST_F(Flood, TheGameGoesOnAndStopsCleanly)
{
    ASSERT_TRUE(launch(eight));
    ASSERT_TRUE(waitForRecords(startupCalls(eight).size()));
    postCommand(game, GAME_START);
    ASSERT_TRUE(waitForNewNote());
    midi->floodMessage = WRONG;
    midi->floodRate = 1000;
    ASSERT_TRUE(flowing(500)) << "the flood did not reach 500 messages a device";

    int before = findNote(look()).left;
    EXPECT_TRUE(waitUntil([&] {
        Picture now = look();
        NoteSeen note = findNote(now);
        return (note.row >= 0 && note.left < before) || faceOnStaff(now) == FACE_MAD;
    }, 10000)) << "the note stood still under the flood";
    InvalidateRect(game.window, 0, FALSE);
    EXPECT_TRUE(waitUntil([&] { return !GetUpdateRect(game.window, 0, FALSE); }, 10000))
        << "no repaint under the flood";
    postCommand(game, GAME_STOP);
    EXPECT_TRUE(waitUntil([&] { Picture now = look(); return findNote(now).row < 0 && faceOnStaff(now) == FACE_NONE; }, 10000))
        << "Stop did not take the note away";
    EXPECT_TRUE(gameMenuShows(game, true, false));

    // The flood ends; once each device's next message has come, nothing of it is left to come.
    midi->floodRate = 0;
    for (int d = 0; d < 8; d++) virtualPlay(midi, d, MIM_DATA, RELEASE);
    ASSERT_TRUE(waitUntil([&] {
        int released = 0;
        for (const std::string& call : recorded()) released += call.find("0x403c80") != std::string::npos;
        return released == 8;
    }, 10000)) << "the devices' last messages did not come";
    postCommand(game, GAME_START);
    ASSERT_TRUE(waitForNewNote());
    virtualPlay(midi, 5, MIM_DATA, RIGHT);
    EXPECT_TRUE(waitForMarks(1)) << "a right answer after the flood did not count";

    // Closed in the middle of another flood: nothing comes after a device's stop.
    midi->floodRate = 1000;
    LONG already = midi->devices[0].delivered;
    ASSERT_TRUE(flowing(already + 300)) << "the flood did not go on";
    PostMessageA(game.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(exitsWith(game, 0));
    midi->floodRate = 0;
    std::vector<std::string> calls = recorded();
    for (int d = 0; d < 8; d++) {
        EXPECT_EQ(midi->devices[d].delivered, midi->devices[d].deliveredAtStop) << "device " << d;
        EXPECT_NE(std::find(calls.begin(), calls.end(), text("midiInClose %d -> 0", d)), calls.end())
            << "device " << d << " was not closed";
    }
    checkThreads();
}
