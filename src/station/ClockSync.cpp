#include "station/ClockSync.h"

#include "Fun/DateTimeFunctions.h"
#include "Fun/DbFunctions.h"
#include "Fun/QueryBuilder.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/RolvanError.h"
#include "platform/Clock.h"
#include "platform/ClockSetter.h"
#include "platform/Prompter.h"
#include "platform/SntpClient.h"
#include "station/StationState.h"

#include <QScopeGuard>
#include <QDebug>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString StampPattern = u"YYMMDDHHMMSS"_s;

// The whole minutes of a correction as the log writes them: three digits, more when needed
// (a clock a day off is logged as 1440, not cut to 440).
QString MinutesText(qint64 minutes)
{
    return minutes <= 999 ? ZeroPad(int(minutes), 3) : QString::number(minutes);
}

} // namespace

ClockSync::ClockSync(StationState &station)
    : m_station(station)
    , m_ownSource(std::make_unique<SntpClient>())
    , m_source(m_ownSource.get())
{
}

ClockSync::ClockSync(StationState &station, TimeSource &source)
    : m_station(station)
    , m_source(&source)
{
}

ClockSync::~ClockSync() = default;

void ClockSync::Log(const QString &timeStr, const QString &status)
{
    // Like every log line: a database error here does not stop the station.
    ExecSql(u"insert into TimeLog (TimeStr, STATUS) values (?, ?)"_s, { timeStr, status });
}

void ClockSync::set_SNTP(const QString &mode)
{
    // The one-second timer keeps ticking while a reminder of this synchronisation is open; a
    // second attempt then would stack another reminder on top of the first.
    if (m_running)
        return;
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });

    // "ST" ends every activation, which offers the reminder again.
    if (mode == u"ST"_s)
        m_ntpRemind = true;

    const QDateTime before = CurrentClock().now();
    const QString server = ReadIniSetting(
        IniSection::Base, IniKey::ClockServer, IniDefault::ClockServer, IniDefault::ClockServer);
    const SntpResult answer = m_source->Query(server);

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
        return;
    }

    qInfo().noquote() << u"網路校時失敗 (%1): %2"_s.arg(server, m_lastError);
    m_station.NtpFlag = u"N"_s;
    const QString now = FormatDateByPattern(StampPattern, CurrentClock().now());
    QString latest;
    try {
        latest = QueryValue(u"select TimeStr from TimeLog order by RID desc limit 1"_s).toString();
    } catch (const RolvanError &e) {
        qWarning().noquote() << e.message();
    }
    // A clock standing before the last logged attempt was turned back by hand.
    if (latest > now)
        CurrentPrompter().ShowMessage(u"請勿任意調整電腦時間"_s);
    Log(now, mode + u"ERR"_s);
    if (m_ntpRemind)
        m_ntpRemind
            = AskYesNo(u"提醒你! 刷卡紀錄會註記 尚未網路校時喔! "_s, u"知道了!"_s, u"別再提了"_s);
}
