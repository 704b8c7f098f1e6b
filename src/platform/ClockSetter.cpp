#include "platform/ClockSetter.h"

namespace {
ClockSetter *g_clockSetter = nullptr;
}

ClockSetter &CurrentClockSetter() { return g_clockSetter ? *g_clockSetter : SystemClockSetter(); }

void SetCurrentClockSetter(ClockSetter *setter) { g_clockSetter = setter; }
