#pragma once

#include <QtGlobal>

// Sets the computer's clock. The program uses the system back end (which needs the right to
// set the clock); tests install a recorder so that no test touches the real clock.
class ClockSetter
{
public:
    enum class Result {
        Set, // the clock was moved
        NotPermitted, // the station has no right to set the clock
        Failed, // any other refusal
    };

    virtual ~ClockSetter() = default;
    // Moves the system clock by offsetMs milliseconds (positive: forward).
    virtual Result AdjustBy(qint64 offsetMs) = 0;
};

// The clock setter of the running program (or of the current test).
ClockSetter &CurrentClockSetter();
void SetCurrentClockSetter(ClockSetter *setter);

// The back end of this platform (clock_settime, or the Windows one).
ClockSetter &SystemClockSetter();
