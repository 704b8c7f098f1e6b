#pragma once

#include "platform/SntpClient.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>

struct StationState;
class TDM;
class TimeSource;

// What the sign-in screen shows of the clock synchronisation. Both notices are non-modal: they
// never take the keyboard from the identity field, so an attendee typing meanwhile is recorded.
class ClockSyncView
{
public:
    virtual ~ClockSyncView() = default;
    // The reminder after a failed attempt (ClockSync::ReminderText) with the choices "知道了!"
    // and "別再提了"; the answer comes back through ClockSync::AnswerReminder.
    virtual void ShowClockReminder() = 0;
    // A success makes an open reminder untrue: it goes away.
    virtual void HideClockReminder() = 0;
    // The clock stands before the latest logged attempt (ClockSync::TamperingText).
    virtual void ShowClockWarning(const QString &text) = 0;
};

// Keeps the station's clock right: asks the time server of the station settings (Base /
// "校時伺服器", "host" or "host:port"), sets the local clock to its answer, writes each attempt
// to TimeLog and keeps StationState::NtpFlag, which every sign event stores in PSIO.NTP.
//
// The question to the server runs on a thread of its own, so the window never waits for it; its
// answer is applied on the thread that owns this object when it arrives. One attempt at a time:
// a call while one is under way is passed over.
//
// The sign-in screen owns one and calls set_SNTP("ST") at the end of each activation and
// set_SNTP("IO") from its one-second timer.
class ClockSync : public QObject
{
    Q_OBJECT
public:
    // A clock that may not be set counts as synchronised when it is at most this far off.
    static constexpr qint64 AllowedDriftMs = 2000;
    static const QString ReminderText;  // "提醒你! 刷卡紀錄會註記 尚未網路校時喔! "
    static const QString TamperingText; // "請勿任意調整電腦時間"

    // Asks the server with our SNTP client. The log lines go to the working connection of dm,
    // whichever it is at the time.
    ClockSync(StationState &station, const TDM &dm, QObject *parent = nullptr);
    // Asks the given source instead (tests); the source must outlive this object and may be
    // called from another thread.
    ClockSync(StationState &station, const TDM &dm, TimeSource &source, QObject *parent = nullptr);
    // Waits for an attempt under way (at most the client's time-out).
    ~ClockSync() override;

    ClockSync(const ClockSync &) = delete;
    ClockSync &operator=(const ClockSync &) = delete;

    // Where the notices go; without a view they are asked through the current prompter.
    void SetView(ClockSyncView *view) { m_view = view; }

    // Starts one synchronisation attempt in mode "ST" (activation) or "IO" (timer) and returns
    // at once; false when an attempt is still under way (this one is passed over). When the
    // answer arrives it logs
    //   mode + "OK" at the local time after setting, preceded by mode + the whole minutes of
    //   the correction (three digits) at the time before setting when it exceeded 3 minutes;
    //   mode + "ERR" at the local time when the server gave no usable answer, after the warning
    //   "請勿任意調整電腦時間" when the clock now stands before the latest log line, and
    //   followed by the reminder unless the operator silenced it or one is open;
    // then emits finished().
    bool set_SNTP(const QString &mode);

    // An attempt is under way.
    bool running() const { return m_running; }

    // The operator's answer to the reminder: "知道了!" (true) keeps reminding, "別再提了"
    // (false) silences the reminder until the next activation or success.
    void AnswerReminder(bool understood);

    // Whether a failed attempt shows the reminder: set by each "ST" attempt (the activation)
    // and each success, cleared by the answer "別再提了".
    bool NtpRemind() const { return m_ntpRemind; }

    // The reason of the latest failure (empty after a success), for the log and the tests.
    QString lastError() const { return m_lastError; }

signals:
    // The answer of an attempt was applied (logged, flag set, notices shown).
    void finished();

private:
    void Apply(const QString &mode, const QString &server, const SntpResult &answer);
    // The time of this station's last clock log line ("" when unknown).
    QString LastOwnLogTime() const;
    void Log(const QString &timeStr, const QString &status);
    void Remind();
    void JoinWorker();

    StationState &m_station;
    const TDM &m_dm;
    std::shared_ptr<TimeSource> m_source;
    ClockSyncView *m_view = nullptr;
    std::thread m_worker;
    bool m_ntpRemind = true;
    bool m_running = false;
    bool m_reminderOpen = false;
    QString m_lastError;
};
