#pragma once

#include <QString>

#include <memory>

struct StationState;
class TimeSource;

// Keeps the station's clock right: asks the time server of the station settings (Base /
// "校時伺服器", "host" or "host:port"), sets the local clock to its answer, writes each attempt
// to TimeLog and keeps StationState::NtpFlag, which every sign event stores in PSIO.NTP.
//
// The sign-in screen owns one and calls set_SNTP("ST") at the end of each activation and
// set_SNTP("IO") from its one-second timer.
class ClockSync
{
public:
    // A clock that may not be set counts as synchronised when it is at most this far off.
    static constexpr qint64 AllowedDriftMs = 2000;

    // Asks the server with our SNTP client.
    explicit ClockSync(StationState &station);
    // Asks the given source instead (tests); the source must outlive this object.
    ClockSync(StationState &station, TimeSource &source);
    ~ClockSync();

    ClockSync(const ClockSync &) = delete;
    ClockSync &operator=(const ClockSync &) = delete;

    // One synchronisation attempt in mode "ST" (activation) or "IO" (timer). Logs
    //   mode + "OK" at the local time after setting, preceded by mode + the whole minutes of
    //   the correction (three digits) at the time before setting when it exceeded 3 minutes;
    //   mode + "ERR" at the local time when the server gave no usable answer, after the warning
    //   "請勿任意調整電腦時間" when the clock now stands before the latest log line, and
    //   followed by the reminder unless the operator silenced it.
    void set_SNTP(const QString &mode);

    // Whether a failed attempt shows the reminder: set by each "ST" attempt (the activation)
    // and each success, cleared by the answer "別再提了".
    bool NtpRemind() const { return m_ntpRemind; }

    // The reason of the latest failure (empty after a success), for the log and the tests.
    QString lastError() const { return m_lastError; }

private:
    void Log(const QString &timeStr, const QString &status);

    StationState &m_station;
    std::unique_ptr<TimeSource> m_ownSource;
    TimeSource *m_source = nullptr;
    bool m_ntpRemind = true;
    bool m_running = false;
    QString m_lastError;
};
