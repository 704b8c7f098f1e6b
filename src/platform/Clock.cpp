#include "platform/Clock.h"

namespace {
Clock *g_clock = nullptr;
}

Clock &CurrentClock()
{
    static SystemClock system;
    return g_clock ? *g_clock : system;
}

void SetCurrentClock(Clock *clock) { g_clock = clock; }
