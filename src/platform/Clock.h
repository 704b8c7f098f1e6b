#pragma once

#include <QDateTime>

// The time of day as the station sees it. Tests fix it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// The clock of the running program (or of the current test).
Clock &CurrentClock();
void SetCurrentClock(Clock *clock);
