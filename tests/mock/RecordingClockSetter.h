#pragma once

#include "mock/FixedClock.h"
#include "platform/ClockSetter.h"

#include <QList>

// Keeps every clock adjustment asked for instead of touching the computer's clock, and moves
// the test's fixed clock when it "succeeds". Installs itself as the current clock setter while
// it lives.
class RecordingClockSetter final : public ClockSetter
{
public:
    explicit RecordingClockSetter(FixedClock *clock = nullptr)
        : m_clock(clock)
    {
        SetCurrentClockSetter(this);
    }
    ~RecordingClockSetter() override { SetCurrentClockSetter(nullptr); }

    RecordingClockSetter(const RecordingClockSetter &) = delete;
    RecordingClockSetter &operator=(const RecordingClockSetter &) = delete;

    Result AdjustBy(qint64 offsetMs) override
    {
        adjustments.append(offsetMs);
        if (answer == Result::Set && m_clock)
            m_clock->set(m_clock->now().addMSecs(offsetMs));
        return answer;
    }

    Result answer = Result::Set; // what the next adjustments give
    QList<qint64> adjustments; // every offset asked for, in order

private:
    FixedClock *m_clock;
};
