#include "station/ClockSync.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/QueryBuilder.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/ClockSetter.h"
#include "platform/Prompter.h"
#include "station/StationState.h"

#include <QDebug>

using namespace Qt::Literals::StringLiterals;

const QString ClockSync::ReminderText = u"提醒你! 刷卡紀錄會註記 尚未網路校時喔! "_s;
const QString ClockSync::TamperingText = u"請勿任意調整電腦時間"_s;

namespace {

const QString StampPattern = u"YYMMDDHHMMSS"_s;

// The whole minutes of a correction as the log writes them: three digits, more when needed
// (a clock a day off is logged as 1440, not cut to 440).
QString MinutesText(qint64 minutes)
{
    return minutes <= 999 ? ZeroPad(int(minutes), 3) : QString::number(minutes);
}

// A source the caller keeps alive: not deleted with the last reference.
std::shared_ptr<TimeSource> Borrowed(TimeSource &source)
{
    return std::shared_ptr<TimeSource>(&source, [](TimeSource *) {});
}

} // namespace

ClockSync::ClockSync(StationState &station, const TDM &dm, QObject *parent)
    : QObject(parent)
    , m_station(station)
    , m_dm(dm)
    , m_source(std::make_shared<SntpClient>())
{
}

ClockSync::ClockSync(
    StationState &station, const TDM &dm, TimeSource &source, QObject *parent)
    : QObject(parent)
    , m_station(station)
    , m_dm(dm)
    , m_source(Borrowed(source))
{
}

ClockSync::~ClockSync()
{
    JoinWorker();
}

void ClockSync::JoinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}

void ClockSync::Log(const QString &timeStr, const QString &status)
{
    // Like every log line: a database error here does not stop the station.
    ExecSqlQuiet(
        u"insert into TimeLog (TimeStr, STATUS) values (?, ?)"_s, m_dm.Con1(), { timeStr, status });
    // The station keeps the time of its own last line: on a shared database the log holds the
    // lines of every station, and another station's clock says nothing about this one.
    try {
        WriteIniSetting(IniSection::Base, IniKey::LastClockLog, timeStr);
    } catch (const RolvanError &e) {
        qWarning().noquote() << e.message();
    }
}

QString ClockSync::LastOwnLogTime() const
{
    const QString own = ReadIniSetting(IniSection::Base, IniKey::LastClockLog, QString(), QString());
    if (!own.isEmpty())
        return own;
    // A station that has not kept it yet: on its own database file every line is its own.
    if (m_dm.isShared())
        return QString();
    try {
        return QueryValueIn(u"select TimeStr from TimeLog order by RID desc limit 1"_s, m_dm.Con1())
            .toString();
    } catch (const RolvanError &e) {
        qWarning().noquote() << e.message();
    }
    return QString();
}

bool ClockSync::set_SNTP(const QString &mode)
{
    // "ST" ends every activation, which offers the reminder again.
    if (mode == u"ST"_s)
        m_ntpRemind = true;
    // One attempt at a time: the one-second timer and the activations keep asking while the
    // server has not answered yet.
    if (m_running)
        return false;
    m_running = true;
    JoinWorker(); // the previous attempt's thread has ended: its answer was applied

    const QString server = ReadIniSetting(
        IniSection::Base, IniKey::ClockServer, IniDefault::ClockServer, IniDefault::ClockServer);
    m_worker = std::thread([this, source = m_source, mode, server] {
        const SntpResult answer = source->Query(server);
        // Applied on our own thread; the destructor waits for this thread, so `this` lives.
        QMetaObject::invokeMethod(
            this, [this, mode, server, answer] { Apply(mode, server, answer); },
            Qt::QueuedConnection);
    });
    return true;
}

void ClockSync::Apply(const QString &mode, const QString &server, const SntpResult &answer)
{
    m_running = false;
    // The local time when the answer came: the clock is set from here.
    const QDateTime before = CurrentClock().now();
    bool synchronised = answer.ok;
    m_lastError = answer.error;
    if (answer.ok) {
        const ClockSetter::Result set = CurrentClockSetter().AdjustBy(answer.offsetMs);
        // A station that may not set its clock has the right time only when its clock already
        // agrees with the server; otherwise its sign events must not be marked as synchronised.
        if (set != ClockSetter::Result::Set && qAbs(answer.offsetMs) > AllowedDriftMs) {
            synchronised = false;
            m_lastError = u"無法設定電腦時間，與校時伺服器相差 %1 秒"_s.arg(answer.offsetMs / 1000);
        }
    }

    if (synchronised) {
        const QDateTime after = CurrentClock().now();
        // Whole minutes between the old and the new local time, either way.
        const qint64 minutes = qAbs(before.secsTo(after)) / 60;
        if (minutes > 3)
            Log(FormatDateByPattern(StampPattern, before), mode + MinutesText(minutes));
        Log(FormatDateByPattern(StampPattern, after), mode + u"OK"_s);
        m_station.NtpFlag = u"Y"_s;
        m_ntpRemind = true;
        if (m_reminderOpen && m_view) {
            m_reminderOpen = false;
            m_view->HideClockReminder();
        }
        emit finished();
        return;
    }

    qInfo().noquote() << u"網路校時失敗 (%1): %2"_s.arg(server, m_lastError);
    m_station.NtpFlag = u"N"_s;
    const QString now = FormatDateByPattern(StampPattern, CurrentClock().now());
    const QString latest = LastOwnLogTime();
    // A clock standing before the last logged attempt was turned back by hand.
    if (latest > now) {
        if (m_view)
            m_view->ShowClockWarning(TamperingText);
        else
            CurrentPrompter().ShowMessage(TamperingText);
    }
    Log(now, mode + u"ERR"_s);
    if (m_ntpRemind)
        Remind();
    emit finished();
}

void ClockSync::Remind()
{
    if (!m_view) {
        AnswerReminder(AskYesNo(ReminderText, u"知道了!"_s, u"別再提了"_s));
        return;
    }
    // At most one reminder: an open one already says it.
    if (m_reminderOpen)
        return;
    m_reminderOpen = true;
    m_view->ShowClockReminder();
}

void ClockSync::AnswerReminder(bool understood)
{
    m_reminderOpen = false;
    m_ntpRemind = understood;
}
