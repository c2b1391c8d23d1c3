// The program's one pseudo-random generator: note picks, walker sprites, keyboard captions.
#include "notes/notes.h"

static uint32_t randomState = 1;    // main thread only

void randomSeed(uint32_t seed)
{
    randomState = seed;
}

int randomDraw()
{
    randomState = randomState * 214013u + 2531011u;   // wraps modulo 2^32
    return (int)((randomState >> 16) & 0x7FFF);
}
