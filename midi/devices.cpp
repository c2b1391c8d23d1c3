// Opening every MIDI input device at start-up and closing them at shutdown.
#include "midi/midi.h"
#include "midi/midi_api.h"
#include "app/app.h"

uint16_t inputDeviceCount;
MIDIINCAPSA inputDeviceCaps[MAX_MIDI_INPUTS];
MidiEventQueue* eventQueue;
std::atomic<MidiDeviceContext*> deviceContexts[MAX_MIDI_INPUTS];
HMIDIIN inputHandles[MAX_MIDI_INPUTS];

// The callback reads its record from its own thread, so the record keeps one address
// (a locked block) from before the open until after the close.
MidiDeviceContext* deviceContextCreate()
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(MidiDeviceContext));
    if (!memory) return 0;
    MidiDeviceContext* context = (MidiDeviceContext*)GlobalLock(memory);
    if (!context) {
        GlobalFree(memory);
        return 0;
    }
    context->contextMemory = memory;
    return context;
}

void deviceContextDestroy(MidiDeviceContext* context)
{
    HGLOBAL memory = context->contextMemory;
    GlobalUnlock(memory);
    GlobalFree(memory);
}

static int usedDeviceCount()
{
    return inputDeviceCount < MAX_MIDI_INPUTS ? inputDeviceCount : MAX_MIDI_INPUTS;
}

static void reportMidiError(MMRESULT error)
{
    char text[80];
    text[0] = 0;
    midiApi.getErrorText(error, text, sizeof text);
    showMessage(text);
}

// Stops, resets and closes each open device, then frees its record, in index order.
static void closeDevices()
{
    for (int device = 0; device < usedDeviceCount(); device++) {
        if (!inputHandles[device]) continue;
        midiApi.stop(inputHandles[device]);
        midiApi.reset(inputHandles[device]);
        midiApi.close(inputHandles[device]);
        inputHandles[device] = 0;
        MidiDeviceContext* context = deviceContexts[device];
        deviceContextRetire(device);
        deviceContextDestroy(context);
    }
}

int midiStartup()
{
    inputDeviceCount = (uint16_t)midiApi.getNumDevs();
    if (inputDeviceCount == 0) return 0;    // the on-screen keyboard alone plays

    for (int device = 0; device < usedDeviceCount(); device++) {
        MMRESULT error = midiApi.getDevCaps(device, &inputDeviceCaps[device], sizeof(MIDIINCAPSA));
        if (error) reportMidiError(error);  // still opened below
    }

    eventQueue = midiApi.createQueue(MIDI_QUEUE_CAPACITY);
    if (!eventQueue) {
        showMessage("Not enough memory available for input buffer.");
        return 1;
    }

    for (int device = 0; device < usedDeviceCount(); device++) {
        MidiDeviceContext* context = midiApi.createContext();
        if (!context) {
            showMessage("Not enough memory available.");
            // No device is started yet, but an open one may still call back: close them
            // all before their queue goes, so none is left pointing at freed memory.
            closeDevices();
            queueDestroy(eventQueue);
            eventQueue = 0;
            return 1;
        }
        deviceContexts[device] = context;
        context->window = mainWindow;
        context->deviceIndex = device;
        context->queue = eventQueue;
        MMRESULT error = midiApi.open(&inputHandles[device], device,
                                      (DWORD_PTR)midiInputCallback, (DWORD_PTR)context,
                                      CALLBACK_FUNCTION);
        if (error) {
            inputHandles[device] = 0;
            deviceContexts[device] = 0;
            deviceContextDestroy(context);
            reportMidiError(error);
        }
    }

    // All devices are open before the first one starts delivering.
    for (int device = 0; device < usedDeviceCount(); device++)
        if (inputHandles[device]) midiApi.start(inputHandles[device]);
    return 0;
}

void midiShutdown()
{
    if (inputDeviceCount == 0) return;
    closeDevices();
    queueDestroy(eventQueue);       // last: no device can reach it any more
    eventQueue = 0;
}
