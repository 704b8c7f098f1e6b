#pragma once

#include "platform/Clock.h"

// A clock that stands still until the test moves it.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(const QDateTime &at = QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9)))
        : m_now(at)
    {
    }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &at) { m_now = at; }
    void advanceSeconds(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
