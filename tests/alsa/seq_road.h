// The test's side of the virtual ALSA sequencer (virtual_seq.h): the shared block, in the
// file the test run's environment names (tests/alsa/CMakeLists.txt). Test-only: the
// stand-in never ships.
#ifndef TUNEGRIN_ALSA_SEQ_ROAD_H
#define TUNEGRIN_ALSA_SEQ_ROAD_H

#include <windows.h>
#include <string>
#include <vector>
#include "virtual_seq.h"

// Creates (or reopens) the block, cleared: no port, nothing played, nothing logged. 0 when
// the environment names no block.
VirtualSeq* openVirtualSeq();
// Lists one more port; gives its index.
int addSeqPort(VirtualSeq* seq, int client, int port, uint32_t capability, uint32_t type,
               const char* clientName, const char* portName);
// Hands a port one message to play, once it is subscribed.
void seqPlay(VirtualSeq* seq, int portIndex, uint32_t message);
// The log's entries of these calls as lines ("subscribe 20:0 -> 0", "deliver 20:0 0x643c90").
std::vector<std::string> seqLog(const VirtualSeq* seq, std::vector<uint32_t> calls);
// The port a logged address names; -1 for none.
int seqPortAt(const VirtualSeq* seq, int client, int port);

#endif
