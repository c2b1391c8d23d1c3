// The built game with virtual MIDI keyboards, down one of two roads. By default a stand-in
// WINMM.dll beside a copy of the unchanged program plays the devices and records every MIDI
// call the program makes. With TUNEGRIN_MIDI_ROAD=alsa the unchanged program runs with Wine's
// own winmm and winealsa, and the keyboards are ports of a virtual ALSA sequencer under them
// (tests/alsa/), which logs what Wine's driver asked. Only C3 (MIDI 60) is asked, so every
// answer is known before its note shows.
#include "screen.h"
#include "virtual_midi.h"
#include "seq_road.h"
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
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

static bool alsaRoad()
{
    const char* road = getenv("TUNEGRIN_MIDI_ROAD");
    return road && strcmp(road, "alsa") == 0;
}

// How the devices are set up, and the calls the program must make for it, in order.
enum { ROAD_WINMM = 1, ROAD_ALSA = 2, BOTH_ROADS = 3 };
struct DeviceRow {
    const char* name;
    int count;
    int failingCaps, failingOpen;   // -1 for none
    int roads = BOTH_ROADS;         // Wine's driver describes every port it lists
    bool noSequencer = false;       // snd_seq_open fails, as on a machine without snd-seq
};

// The sequencer of a player's machine with `count` keyboards: the system client's ports (of
// type 0, which Wine's driver does not offer), a synth that only plays, hardware keyboards on
// clients 20 up (one with a name too long for a device name) and, with two or more, the last
// a program's virtual keyboard on client 128. Wine's driver lists ports without TYPE_PORT
// before those with it, so that one is device 0. A failing open is a port that lets no one
// subscribe. Gives the keyboards' port indexes in device order.
static std::vector<int> listSeqPorts(VirtualSeq* seq, const DeviceRow& row)
{
    const uint32_t in = VIRTUAL_SEQ_CAP_READ | VIRTUAL_SEQ_CAP_SUBS_READ;
    const uint32_t out = VIRTUAL_SEQ_CAP_WRITE | VIRTUAL_SEQ_CAP_SUBS_WRITE;
    addSeqPort(seq, 0, 0, in | out, 0, "System", "Timer");
    addSeqPort(seq, 0, 1, in, 0, "System", "Announce");
    addSeqPort(seq, 16, 0, out, VIRTUAL_SEQ_TYPE_SYNTH | VIRTUAL_SEQ_TYPE_HARDWARE, "Synth", "Synth MIDI");
    std::vector<int> order;
    for (int k = 0; k < row.count; k++) {
        char client[64], port[64];
        if (row.count >= 2 && k == row.count - 1) {
            order.insert(order.begin(), addSeqPort(seq, 128, 0, in | out,
                VIRTUAL_SEQ_TYPE_MIDI_GENERIC | VIRTUAL_SEQ_TYPE_APPLICATION, "Virtual Keyboard", "Virtual Keyboard Out"));
            continue;
        }
        snprintf(client, sizeof client, k == 1 ? "A keyboard with a name longer than any device name %d" : "USB Keyboard %d", k);
        snprintf(port, sizeof port, "USB Keyboard %d MIDI 1", k);
        order.push_back(addSeqPort(seq, 20 + k, 0, in | out,
            VIRTUAL_SEQ_TYPE_MIDI_GENERIC | VIRTUAL_SEQ_TYPE_HARDWARE | VIRTUAL_SEQ_TYPE_PORT, client, port));
    }
    if (row.failingOpen >= 0) seq->ports[order[row.failingOpen]].capability &= ~VIRTUAL_SEQ_CAP_SUBS_READ;
    return order;
}

// The calls of the program's start-up that the devices see, in their order: the
// count; each device described; each opened; the open ones started.
static std::vector<std::string> winmmStartupCalls(const DeviceRow& row)
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
static std::vector<std::string> winmmShutdownCalls(const DeviceRow& row)
{
    std::vector<std::string> calls;
    for (int d = 0; d < std::min(row.count, 8); d++) {
        if (d == row.failingOpen) continue;
        for (const char* format : { "midiInStop %d -> 0", "midiInReset %d -> 0", "midiInClose %d -> 0", "MIM_CLOSE %d" })
            calls.push_back(text(format, d));
    }
    return calls;
}

class VirtualMidiRun : public GameWatch {
protected:
    ScratchFolder folder{ "midi" };
    VirtualMidi* midi = openVirtualMidi();
    VirtualSeq* seq = alsaRoad() ? openVirtualSeq() : 0;
    std::vector<int> seqOrder;      // the ALSA road: each device's port

    void TearDown() override
    {
        if (midi) midi->floodRate = 0;
        if (seq) seq->floodRate = 0;
        GameWatch::TearDown();
    }

    testing::AssertionResult launch(const DeviceRow& row)
    {
        if (alsaRoad()) return launchOverSeq(row);
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

    // The unchanged game with Wine's own winmm, its Wine process alone over the sequencer.
    testing::AssertionResult launchOverSeq(const DeviceRow& row)
    {
        if (!seq) return testing::AssertionFailure() << "no shared block for the virtual sequencer";
        seq->openError = row.noSequencer ? -2 : 0;      // -ENOENT: no /dev/snd/seq
        seqOrder = listSeqPorts(seq, row);
        WritePrivateProfileStringA("initialize", "notes", "C3", (folder.path() + "\\tunegrin.ini").c_str());
        testing::AssertionResult started = launchGame(game, folder.path());
        if (!started) return started;
        // Wine's driver may open the sequencer after the window shows (a prefix's first start
        // registers its audio devices first).
        if (!waitUntil([&] { return seq->opened != 0; }, 10000))
            return testing::AssertionFailure() << "the game's Wine did not open the stand-in's sequencer";
        return testing::AssertionSuccess();
    }

    void play(int device, uint32_t kind, uint32_t message)
    {
        if (!seq) virtualPlay(midi, device, kind, message);
        else seqPlay(seq, seqOrder[device], message);   // Wine's driver hands all over as MIM_DATA
    }

    void flood(LONG rate, uint32_t message)
    {
        if (seq) seq->floodMessage = message, seq->floodRate = rate;
        else midi->floodMessage = message, midi->floodRate = rate;
    }

    LONG delivered(int device) const
    {
        return seq ? seq->ports[seqOrder[device]].delivered : midi->devices[device].delivered;
    }

    std::string address(int device) const
    {
        return text("%d:%lu", seq->ports[seqOrder[device]].client, (unsigned long)seq->ports[seqOrder[device]].port);
    }

    // The calls of the program's start-up that the devices see, in their order.
    std::vector<std::string> startupCalls(const DeviceRow& row) const
    {
        if (!seq) return winmmStartupCalls(row);
        std::vector<std::string> calls;       // Wine's driver subscribes as each device opens
        for (int d = 0; d < std::min(row.count, 8); d++)
            calls.push_back("subscribe " + address(d) + (d == row.failingOpen ? " -> -1" : " -> 0"));
        return calls;
    }

    std::vector<std::string> shutdownCalls(const DeviceRow& row) const
    {
        if (!seq) return winmmShutdownCalls(row);
        std::vector<std::string> calls;       // and unsubscribes as it closes
        for (int d = 0; d < std::min(row.count, 8); d++)
            if (d != row.failingOpen) calls.push_back("unsubscribe " + address(d) + " -> 0");
        return calls;
    }

    std::string deliverCall(int device, uint32_t message) const
    {
        if (!seq) return text("MIM_DATA %d 0x%lx", device, message);
        char hex[16];
        snprintf(hex, sizeof hex, " 0x%lx", (unsigned long)message);
        return "deliver " + address(device) + hex;
    }

    // What a device that cannot be opened or described shows: the text for its error, as
    // much as the game's 80-byte buffer holds. Wine's driver fails an open it cannot
    // subscribe with MMSYSERR_NOTENABLED.
    std::string boxText() const
    {
        if (!seq) return std::string(LONG_TEXT, 79);
        char shown[80] = "";
        midiInGetErrorTextA(MMSYSERR_NOTENABLED, shown, sizeof shown);
        return shown;
    }

    std::vector<std::string> recorded() const
    {
        if (seq) return seqLog(seq, { SEQ_SUBSCRIBE, SEQ_UNSUBSCRIBE, SEQ_DELIVER });
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
        if (seq) return;                // the winmm road's records alone know the threads
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

void PrintTo(const DeviceRow& row, std::ostream* out) { *out << row.name; }

class DeviceStartup : public VirtualMidiRun, public testing::WithParamInterface<DeviceRow> {};

// Start-up and shutdown exactly in order, the boxes for failed devices each with its beep,
// and one right answer, from the last device that opened or, with none, from the on-screen
// keyboard.
TEST_P(DeviceStartup, CallsInOrderAndPlays)
{
    const DeviceRow& row = GetParam();
    const int bells = bellsRung();
    ASSERT_GE(bells, 0) << "no one counts the display's bells: run this under tests/e2e/bell_watch";
    int boxes = 0;
    ASSERT_TRUE(launch(row));
    for (int failing : { row.failingCaps, row.failingOpen }) {
        if (failing < 0) continue;
        HWND box = 0;
        ASSERT_TRUE(waitUntil([&] { return (box = findBox()) != 0; }, 10000)) << "no box for device " << failing;
        boxes++;
        EXPECT_TRUE(waitUntil([&] { return bellsRung() >= bells + boxes; }, 10000)) << "the box came with no beep";
        EXPECT_EQ(bellsRung(), bells + boxes) << "one beep for each box";
        char shown[256] = "";
        DWORD_PTR copied;               // asked with a timeout: a game that hangs fails here
        EXPECT_TRUE(SendMessageTimeoutA(GetDlgItem(box, 0xFFFF), WM_GETTEXT, sizeof shown, (LPARAM)shown,
                                        SMTO_NORMAL, 10000, &copied)) << "the box does not answer";
        EXPECT_EQ(std::string(shown), boxText()) << "the text must be cut to the 80-byte buffer";
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
    for (int i = 0; !seq && i < midi->callCount && i < VIRTUAL_CALLS; i++) {
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
        play(player, MIM_DATA, RIGHT);
        expected.push_back(deliverCall(player, RIGHT));
    } else {
        postCommand(game, GAME_KEYBOARD);
        ASSERT_TRUE(waitUntil([&] { return (keyboard = findKeyboard(game)) != 0; }, 10000)) << "no keyboard";
        clickWhiteKey(keyboard, KEY_C3);
    }
    EXPECT_TRUE(waitForMarks(1)) << "the right answer did not count";

    PostMessageA(game.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(exitsWith(game, 0));
    EXPECT_EQ(bellsRung(), bells + boxes) << "beeps with no box, or more than one for a box";
    for (const std::string& call : shutdownCalls(row)) expected.push_back(call);
    EXPECT_EQ(recorded(), expected);
    checkThreads();
}

static std::vector<DeviceRow> rowsOfThisRoad()
{
    static const DeviceRow rows[] = {
        { "None", 0, -1, -1 },
        { "Three", 3, -1, -1 },
        { "TenOnlyEightUsed", 10, -1, -1 },
        { "SecondCannotOpen", 3, -1, 1 },
        { "ThirdNotDescribed", 3, 2, -1, ROAD_WINMM },
        { "NoSequencer", 0, -1, -1, ROAD_ALSA, true },
    };
    std::vector<DeviceRow> chosen;
    for (const DeviceRow& row : rows)
        if (row.roads & (alsaRoad() ? ROAD_ALSA : ROAD_WINMM)) chosen.push_back(row);
    return chosen;
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceStartup, testing::ValuesIn(rowsOfThisRoad()),
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
        { "a controller, a program change and a pitch bend on channel 1, then one wrong note-on", true,
          { { MIM_DATA, 0x4007B0 }, { MIM_DATA, 0x0005C0 }, { MIM_DATA, 0x4000E0 }, { MIM_DATA, WRONG } }, 0, 2 },
        { "a right note-on after them", false, { { MIM_DATA, RIGHT } }, 0, 3 },
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
        for (const VirtualPlay& message : step.plays) play(step.device, message.kind, message.message);
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
        return waitUntil([&] {
            for (int d = 0; d < 8; d++) if (delivered(d) < atLeast) return false;
            return true;
        }, 10000);
    }
};

TEST_F(Flood, TheGameGoesOnAndStopsCleanly)
{
    ASSERT_TRUE(launch(eight));
    ASSERT_TRUE(waitForRecords(startupCalls(eight).size()));
    postCommand(game, GAME_START);
    ASSERT_TRUE(waitForNewNote());
    flood(1000, WRONG);
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
    flood(0, WRONG);
    for (int d = 0; d < 8; d++) play(d, MIM_DATA, RELEASE);
    ASSERT_TRUE(waitUntil([&] {
        int released = 0;
        for (const std::string& call : recorded()) released += call.find("0x403c80") != std::string::npos;
        return released == 8;
    }, 10000)) << "the devices' last messages did not come";
    postCommand(game, GAME_START);
    ASSERT_TRUE(waitForNewNote());
    play(5, MIM_DATA, RIGHT);
    EXPECT_TRUE(waitForMarks(1)) << "a right answer after the flood did not count";

    // Closed in the middle of another flood: nothing comes after a device's stop.
    flood(1000, WRONG);
    LONG already = delivered(0);
    ASSERT_TRUE(flowing(already + 300)) << "the flood did not go on";
    PostMessageA(game.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(exitsWith(game, 0));
    flood(0, WRONG);
    std::vector<std::string> calls = recorded();
    for (int d = 0; d < 8 && seq; d++)
        EXPECT_NE(std::find(calls.begin(), calls.end(), "unsubscribe " + address(d) + " -> 0"), calls.end())
            << "device " << d << "'s port was not unsubscribed";
    for (int d = 0; d < 8 && !seq; d++) {
        EXPECT_EQ(midi->devices[d].delivered, midi->devices[d].deliveredAtStop) << "device " << d;
        EXPECT_NE(std::find(calls.begin(), calls.end(), text("midiInClose %d -> 0", d)), calls.end())
            << "device " << d << " was not closed";
    }
    checkThreads();
}
