// The test's side of the virtual ALSA sequencer: a block in a file both sides map (Wine maps
// a file's shared view with the Unix file's own pages, so the stand-in sees every write).
#include "seq_road.h"
#include "scratch.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

VirtualSeq* openVirtualSeq()
{
    static const char* path = getenv(VIRTUAL_SEQ_ENV);
    static HANDLE file = path ? CreateFileA(windowsPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, 0, CREATE_ALWAYS, 0, 0)
                              : INVALID_HANDLE_VALUE;
    static HANDLE mapping = file != INVALID_HANDLE_VALUE
        ? CreateFileMappingA(file, 0, PAGE_READWRITE, 0, sizeof(VirtualSeq), 0) : 0;
    static VirtualSeq* seq = mapping ? (VirtualSeq*)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(VirtualSeq)) : 0;
    if (seq) memset((void*)seq, 0, sizeof *seq);
    return seq;
}

int addSeqPort(VirtualSeq* seq, int client, int port, uint32_t capability, uint32_t type,
               const char* clientName, const char* portName)
{
    int index = seq->portCount++;
    VirtualSeqPort& entry = seq->ports[index];
    entry.client = client;
    entry.port = port;
    entry.capability = capability;
    entry.type = type;
    lstrcpynA(entry.clientName, clientName, sizeof entry.clientName);
    lstrcpynA(entry.portName, portName, sizeof entry.portName);
    return index;
}

void seqPlay(VirtualSeq* seq, int portIndex, uint32_t message)
{
    VirtualSeqPort& port = seq->ports[portIndex];
    LONG slot = port.playsWritten;
    if (slot >= VIRTUAL_SEQ_PLAYS) return;
    port.plays[slot] = message;
    InterlockedExchange((volatile LONG*)&port.playsWritten, slot + 1);   // after the play is in place
}

std::vector<std::string> seqLog(const VirtualSeq* seq, std::vector<uint32_t> calls)
{
    static const char* const names[] = { "?", "open", "close", "create port", "delete port", "list",
                                         "poll", "subscribe", "unsubscribe", "deliver" };
    std::vector<std::string> lines;
    int count = seq->logCount < VIRTUAL_SEQ_LOG ? seq->logCount : VIRTUAL_SEQ_LOG;
    for (int i = 0; i < count; i++) {
        const VirtualSeqLogEntry& entry = seq->log[i];
        if (!entry.call) break;                 // not yet written whole
        bool wanted = false;
        for (uint32_t call : calls) wanted |= call == entry.call;
        if (!wanted) continue;
        char line[96];
        const char* name = entry.call <= SEQ_DELIVER ? names[entry.call] : "?";
        if (entry.call == SEQ_DELIVER)
            snprintf(line, sizeof line, "%s %d:%d 0x%lx", name, entry.client, entry.port, (unsigned long)entry.value);
        else
            snprintf(line, sizeof line, "%s %d:%d -> %d", name, entry.client, entry.port, (int)entry.value);
        lines.push_back(line);
    }
    return lines;
}

int seqPortAt(const VirtualSeq* seq, int client, int port)
{
    for (int i = 0; i < seq->portCount; i++)
        if (seq->ports[i].client == client && seq->ports[i].port == port) return i;
    return -1;
}
