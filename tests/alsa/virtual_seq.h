/* A virtual ALSA sequencer for the end-to-end tests: the block a test shares (a file both map)
 * with the stand-in libasound (fake_seq.c), which only the game's Wine process sees. The
 * test lists the sequencer's clients and ports and what each plays; the stand-in logs what
 * Wine's MIDI driver asked of it. Included by the Windows test program and by the Linux
 * stand-in, 32- and 64-bit alike: 32-bit fields only, so the layout is the same in all four.
 * Test-only: it never ships. */
#ifndef TUNEGRIN_ALSA_VIRTUAL_SEQ_H
#define TUNEGRIN_ALSA_VIRTUAL_SEQ_H

#include <stdint.h>

/* The environment variables that name the block's file (a Unix path) and the one program
 * (its file name) that sees it. */
#define VIRTUAL_SEQ_ENV "TUNEGRIN_VIRTUAL_SEQ"
#define VIRTUAL_SEQ_PROCESS_ENV "TUNEGRIN_VIRTUAL_SEQ_PROCESS"
#define VIRTUAL_SEQ_PORTS 24
#define VIRTUAL_SEQ_PLAYS 64
#define VIRTUAL_SEQ_LOG 2048
#define VIRTUAL_SEQ_NAME 64

/* ALSA's port capability and type bits that the tests use: the Windows side cannot include
 * ALSA's headers, and the stand-in checks these against them. */
#define VIRTUAL_SEQ_CAP_READ         (1u << 0)
#define VIRTUAL_SEQ_CAP_WRITE        (1u << 1)
#define VIRTUAL_SEQ_CAP_SUBS_READ    (1u << 5)
#define VIRTUAL_SEQ_CAP_SUBS_WRITE   (1u << 6)
#define VIRTUAL_SEQ_TYPE_MIDI_GENERIC (1u << 1)
#define VIRTUAL_SEQ_TYPE_SYNTH       (1u << 10)
#define VIRTUAL_SEQ_TYPE_HARDWARE    (1u << 16)
#define VIRTUAL_SEQ_TYPE_PORT        (1u << 19)
#define VIRTUAL_SEQ_TYPE_APPLICATION (1u << 20)

/* What a log entry is of: a sequencer call of Wine's driver, or an event handed to it. */
enum VirtualSeqCall {
    SEQ_OPEN = 1,          /* value: the open's result */
    SEQ_CLOSE,
    SEQ_CREATE_PORT,       /* client:port is the driver's own new port */
    SEQ_DELETE_PORT,
    SEQ_LIST_PORT,         /* snd_seq_query_next_port gave client:port */
    SEQ_POLL,              /* the driver asked for the descriptors to poll (first time only) */
    SEQ_SUBSCRIBE,         /* snd_seq_connect_from client:port; value: its result */
    SEQ_UNSUBSCRIBE,       /* snd_seq_disconnect_from client:port */
    SEQ_DELIVER            /* a played message (not the flood) from client:port; value: it */
};

struct VirtualSeqLogEntry {
    uint32_t call;         /* VirtualSeqCall; written last */
    int32_t client, port;
    uint32_t value;
};

struct VirtualSeqPort {
    int32_t client, port;                  /* its sequencer address */
    uint32_t capability, type;             /* SND_SEQ_PORT_CAP_* and SND_SEQ_PORT_TYPE_* */
    char clientName[VIRTUAL_SEQ_NAME], portName[VIRTUAL_SEQ_NAME];
    uint32_t plays[VIRTUAL_SEQ_PLAYS];     /* packed short MIDI messages, played in order */
    volatile int32_t playsWritten;         /* plays[0 .. playsWritten) once subscribed */
    volatile int32_t subscribed;
    volatile int32_t delivered;            /* events handed to the driver, the flood's included */
};

struct VirtualSeq {
    volatile int32_t opened;               /* snd_seq_open calls so far, in the game's process */
    int32_t openError;                     /* what snd_seq_open gives: 0, or -ENOENT as without snd-seq */
    int32_t portCount;
    struct VirtualSeqPort ports[VIRTUAL_SEQ_PORTS];   /* listed in this order, by client */
    volatile int32_t floodRate;            /* events a second from every subscribed port */
    uint32_t floodMessage;
    volatile int32_t dropped;              /* events the driver's input buffer had no room for */
    volatile int32_t logCount;
    struct VirtualSeqLogEntry log[VIRTUAL_SEQ_LOG];
};

#endif
