// The station's clock synchronisation: what it logs in TimeLog, the flag stored with each sign
// event, the warning about a clock turned back and the reminder after a failure; the question to
// the server never holds up the caller, and one attempt runs at a time.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/RecordingClockSetter.h"
#include "mock/ScriptedPrompter.h"
#include "platform/SntpClient.h"
#include "station/ClockSync.h"
#include "station/StationState.h"

#include "mock/TestDatabase.h"
#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

// A time server whose answers the test decides. It is asked on the synchronisation's own
// thread; with `hold` set it answers only when the test releases it.
class FakeTimeSource final : public TimeSource
{
public:
    SntpResult Query(const QString &server) override
    {
        servers << server;
        if (hold) {
            asked.release();
            answer.acquire();
        }
        SntpResult result;
        if (reachable) {
            result.ok = true;
            result.offsetMs = offsetMs;
            result.stratum = 2;
        } else {
            result.error = u"校時伺服器沒有回應"_s;
        }
        return result;
    }

    bool reachable = true;
    qint64 offsetMs = 0;
    QStringList servers;
    bool hold = false;
    QSemaphore asked;  // released when a held query has begun
    QSemaphore answer; // released by the test to let a held query answer
};

// The notices of the sign-in screen, recorded.
class RecordingView final : public ClockSyncView
{
public:
    void ShowClockReminder() override { ++reminders; open = true; }
    void HideClockReminder() override { open = false; }
    void ShowClockWarning(const QString &text) override { warnings << text; }

    int reminders = 0;
    bool open = false;
    QStringList warnings;
};

using LogLines = QList<QStringList>; // {TimeStr, STATUS} in RID order

const QString Reminder = u"提醒你! 刷卡紀錄會註記 尚未網路校時喔! "_s;
const QString Tampering = u"請勿任意調整電腦時間"_s;

// A station with a working database copied from the template, a fixed clock at
// 2025/05/03 14:07:09, a recording clock setter that moves it and a scripted prompter.
class Station
{
public:
    Station()
    {
        const QString templatePath
            = qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
        QVERIFY(QFile::copy(templatePath, dir.filePath(u"Quorin.db"_s)));
        globals.ExeDir = dir.path() + QDir::separator();
        SetGlobals(&globals);
        dm = std::make_unique<TestDataModule>(globals);
        QString error;
        QVERIFY2(TestBackend::OpenWorkingDatabase(*dm, dir.filePath(u"Quorin.db"_s), &error), qPrintable(error));
        SetCurrentClock(&clock);
        sync = std::make_unique<ClockSync>(station, *dm, server);
    }
    ~Station()
    {
        server.answer.release(10);
        sync.reset();
        dm.reset();
        SetCurrentClock(nullptr);
        SetGlobals(nullptr);
    }

    // One attempt, waited for.
    void Sync(const QString &mode)
    {
        QSignalSpy done(sync.get(), &ClockSync::finished);
        QVERIFY(sync->set_SNTP(mode));
        QVERIFY(done.wait(5000));
    }

    LogLines Log() const
    {
        LogLines lines;
        QSqlQuery query(dm->Con1());
        if (!query.exec(u"select TimeStr, STATUS from TimeLog order by RID"_s))
            return { { u"query failed"_s, query.lastError().text() } };
        while (query.next())
            lines.append({ query.value(0).toString(), query.value(1).toString() });
        return lines;
    }

    QTemporaryDir dir;
    Globals globals;
    std::unique_ptr<TDM> dm;
    FixedClock clock { QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9)) };
    RecordingClockSetter setter { &clock };
    ScriptedPrompter prompter;
    FakeTimeSource server;
    StationState station;
    std::unique_ptr<ClockSync> sync;
};

} // namespace

class TestClockSync : public QObject
{
    Q_OBJECT

private slots:
    void success_data();
    void success();
    void clockThatMayNotBeSet_data();
    void clockThatMayNotBeSet();
    void failureLogsAndReminds();
    void reminderAnswer_data();
    void reminderAnswer();
    void clockTurnedBack_data();
    void clockTurnedBack();
    void anotherStationsLineSaysNothingOfThisClock();
    void serverFromStationSettings();
    void attemptDuringAnAttemptIsSkipped();
    void reminderOnTheScreen();
};

// A server that answers: the clock is set; a correction of more than 3 minutes, either way,
// is logged first with the time before setting.
void TestClockSync::success_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<qint64>("offsetMs");
    QTest::addColumn<LogLines>("log");

    QTest::newRow("7 minutes slow, activation")
        << u"ST"_s << qint64(7 * 60'000 + 2'000)
        << LogLines { { u"250503140709"_s, u"ST007"_s }, { u"250503141411"_s, u"STOK"_s } };
    QTest::newRow("7 minutes slow, timer")
        << u"IO"_s << qint64(7 * 60'000 + 2'000)
        << LogLines { { u"250503140709"_s, u"IO007"_s }, { u"250503141411"_s, u"IOOK"_s } };
    QTest::newRow("clock right") << u"IO"_s << qint64(120)
                                 << LogLines { { u"250503140709"_s, u"IOOK"_s } };
    QTest::newRow("3 minutes 59 slow: no correction line")
        << u"IO"_s << qint64(239'000) << LogLines { { u"250503141108"_s, u"IOOK"_s } };
    QTest::newRow("4 minutes slow")
        << u"IO"_s << qint64(240'000)
        << LogLines { { u"250503140709"_s, u"IO004"_s }, { u"250503141109"_s, u"IOOK"_s } };
    QTest::newRow("7 minutes fast")
        << u"ST"_s << qint64(-7 * 60'000)
        << LogLines { { u"250503140709"_s, u"ST007"_s }, { u"250503140009"_s, u"STOK"_s } };
    QTest::newRow("a day and an hour slow: every digit kept")
        << u"ST"_s << qint64(25 * 3'600'000)
        << LogLines { { u"250503140709"_s, u"ST1500"_s }, { u"250504150709"_s, u"STOK"_s } };
}

void TestClockSync::success()
{
    QFETCH(QString, mode);
    QFETCH(qint64, offsetMs);
    QFETCH(LogLines, log);

    Station s;
    s.server.offsetMs = offsetMs;
    s.Sync(mode);

    QCOMPARE(s.Log(), log);
    QCOMPARE(s.setter.adjustments, QList<qint64> { offsetMs });
    QCOMPARE(s.station.NtpFlag, u"Y"_s);
    QVERIFY(s.prompter.all().isEmpty());
    QVERIFY(s.sync->lastError().isEmpty());
}

// Without the right to set the clock, "Y" is earned only by a clock that is already right.
void TestClockSync::clockThatMayNotBeSet_data()
{
    QTest::addColumn<int>("refusal");
    QTest::addColumn<qint64>("offsetMs");
    QTest::addColumn<QString>("status");

    const int notPermitted = int(ClockSetter::Result::NotPermitted);
    const int failed = int(ClockSetter::Result::Failed);
    QTest::newRow("not permitted, 1.5 s off") << notPermitted << qint64(1'500) << u"IOOK"_s;
    QTest::newRow("not permitted, 2 s behind") << notPermitted << qint64(-2'000) << u"IOOK"_s;
    QTest::newRow("not permitted, 2.1 s off") << notPermitted << qint64(2'100) << u"IOERR"_s;
    QTest::newRow("not permitted, 7 minutes slow") << notPermitted << qint64(420'000) << u"IOERR"_s;
    QTest::newRow("setting failed, 7 minutes fast") << failed << qint64(-420'000) << u"IOERR"_s;
}

void TestClockSync::clockThatMayNotBeSet()
{
    QFETCH(int, refusal);
    QFETCH(qint64, offsetMs);
    QFETCH(QString, status);

    Station s;
    s.setter.answer = ClockSetter::Result(refusal);
    s.server.offsetMs = offsetMs;
    s.station.NtpFlag = u"Y"_s;
    s.Sync(u"IO"_s);

    // The clock did not move, so every line carries the unchanged local time.
    QCOMPARE(s.Log(), (LogLines { { u"250503140709"_s, status } }));
    const bool ok = status == u"IOOK"_s;
    QCOMPARE(s.station.NtpFlag, ok ? u"Y"_s : u"N"_s);
    QCOMPARE(s.prompter.asked, ok ? QStringList() : QStringList { Reminder });
    QCOMPARE(s.sync->lastError().isEmpty(), ok);
}

// No usable answer: an "ERR" line, the flag "N" and the reminder with its two buttons.
void TestClockSync::failureLogsAndReminds()
{
    Station s;
    s.server.reachable = false;
    s.station.NtpFlag = u"Y"_s;
    s.Sync(u"ST"_s);

    QCOMPARE(s.Log(), (LogLines { { u"250503140709"_s, u"STERR"_s } }));
    QCOMPARE(s.station.NtpFlag, u"N"_s);
    QVERIFY(s.setter.adjustments.isEmpty());
    QCOMPARE(s.prompter.asked, QStringList { Reminder });
    QCOMPARE(s.prompter.askedButtons.size(), 1);
    const auto &buttons = s.prompter.askedButtons.first();
    QCOMPARE(buttons.size(), 2);
    QCOMPARE(buttons.at(0).caption, u"知道了!"_s);
    QCOMPARE(buttons.at(1).caption, u"別再提了"_s);
    QVERIFY(s.prompter.messages.isEmpty());
    QVERIFY(!s.sync->lastError().isEmpty());
}

// "知道了!" keeps the reminder; "別再提了" silences it for the following failures until the next
// success or the next activation ("ST").
void TestClockSync::reminderAnswer_data()
{
    QTest::addColumn<bool>("understood");
    QTest::addColumn<QString>("thenMode");
    QTest::addColumn<bool>("successBetween");
    QTest::addColumn<bool>("remindedAgain");

    QTest::newRow("知道了!, next timer failure") << true << u"IO"_s << false << true;
    QTest::newRow("別再提了, next timer failure") << false << u"IO"_s << false << false;
    QTest::newRow("別再提了, next activation") << false << u"ST"_s << false << true;
    QTest::newRow("別再提了, a success, then a timer failure") << false << u"IO"_s << true << true;
}

void TestClockSync::reminderAnswer()
{
    QFETCH(bool, understood);
    QFETCH(QString, thenMode);
    QFETCH(bool, successBetween);
    QFETCH(bool, remindedAgain);

    Station s;
    s.server.reachable = false;
    s.prompter.queueButton(understood ? Prompter::Button::Yes : Prompter::Button::No);
    s.Sync(u"ST"_s);
    QCOMPARE(s.prompter.asked, QStringList { Reminder });
    QCOMPARE(s.sync->NtpRemind(), understood);

    if (successBetween) {
        s.server.reachable = true;
        s.clock.advanceSeconds(120);
        s.Sync(u"IO"_s);
        QCOMPARE(s.station.NtpFlag, u"Y"_s);
        s.server.reachable = false;
    }
    s.prompter.clear();
    s.clock.advanceSeconds(120);
    s.Sync(thenMode);

    QCOMPARE(s.prompter.asked, remindedAgain ? QStringList { Reminder } : QStringList());
    QCOMPARE(s.station.NtpFlag, u"N"_s);
    QCOMPARE(s.Log().last().at(1), thenMode + u"ERR"_s);
}

// The server cannot be reached and the clock stands before the latest log line: it was turned
// back by hand, and the operator is told so before the "ERR" line is written.
void TestClockSync::clockTurnedBack_data()
{
    QTest::addColumn<qint64>("shiftSeconds");
    QTest::addColumn<bool>("warned");

    QTest::newRow("set back an hour") << qint64(-3600) << true;
    QTest::newRow("set back a second") << qint64(-1) << true;
    QTest::newRow("same second") << qint64(0) << false;
    QTest::newRow("two minutes on") << qint64(120) << false;
}

void TestClockSync::clockTurnedBack()
{
    QFETCH(qint64, shiftSeconds);
    QFETCH(bool, warned);

    Station s;
    s.Sync(u"ST"_s);
    QCOMPARE(s.Log(), (LogLines { { u"250503140709"_s, u"STOK"_s } }));

    s.server.reachable = false;
    s.clock.advanceSeconds(shiftSeconds);
    s.Sync(u"IO"_s);

    const QString now = s.clock.now().toString(u"yyMMddHHmmss"_s);
    QCOMPARE(s.Log(), (LogLines { { u"250503140709"_s, u"STOK"_s }, { now, u"IOERR"_s } }));
    // The warning comes first, then the reminder.
    const QStringList shown
        = warned ? QStringList { Tampering, Reminder } : QStringList { Reminder };
    QCOMPARE(s.prompter.all(), shown);
    QCOMPARE(s.station.NtpFlag, u"N"_s);
}

// On a shared database the log holds every station's lines: a later line of another station,
// whose clock runs ahead, says nothing of this station's clock.
void TestClockSync::anotherStationsLineSaysNothingOfThisClock()
{
    Station s;
    s.Sync(u"ST"_s);
    ExecSql(u"insert into TimeLog (TimeStr, STATUS) values (?, ?)"_s,
            { u"250503150709"_s, u"STOK"_s });
    s.server.reachable = false;
    s.clock.advanceSeconds(60);
    s.Sync(u"IO"_s);
    QCOMPARE(s.prompter.all(), QStringList { Reminder });

    // Its own clock turned back is still told.
    s.prompter.clear();
    s.clock.advanceSeconds(-3600);
    s.Sync(u"IO"_s);
    QCOMPARE(s.prompter.all().first(), Tampering);
}

// The server is a station setting: "host" or "host:port", the public standard-time server
// when the key is missing or empty.
void TestClockSync::serverFromStationSettings()
{
    Station s;
    s.Sync(u"ST"_s);
    WriteIniSetting(IniSection::Base, IniKey::ClockServer, u"127.0.0.1:12323"_s);
    s.Sync(u"IO"_s);
    WriteIniSetting(IniSection::Base, IniKey::ClockServer, QString());
    s.Sync(u"IO"_s);
    QCOMPARE(s.server.servers,
        (QStringList { u"time.stdtime.gov.tw"_s, u"127.0.0.1:12323"_s, u"time.stdtime.gov.tw"_s }));
}

// The caller never waits for the server: the attempt returns at once and its answer is applied
// when it comes. Meanwhile the one-second timer and the activations keep asking: those calls
// are passed over, so no second attempt stacks a second reminder.
void TestClockSync::attemptDuringAnAttemptIsSkipped()
{
    Station s;
    s.server.reachable = false;
    s.server.hold = true;
    QSignalSpy done(s.sync.get(), &ClockSync::finished);
    QVERIFY(s.sync->set_SNTP(u"ST"_s));
    QVERIFY(s.server.asked.tryAcquire(1, 5000)); // the server is being asked, and we are back
    QVERIFY(s.sync->running());
    QVERIFY(!s.sync->set_SNTP(u"IO"_s));
    QVERIFY(!s.sync->set_SNTP(u"ST"_s));
    QVERIFY(s.Log().isEmpty());

    s.server.answer.release();
    QVERIFY(done.wait(5000));
    QCOMPARE(s.server.servers.size(), 1);
    QCOMPARE(s.Log(), (LogLines { { u"250503140709"_s, u"STERR"_s } }));
    QCOMPARE(s.prompter.asked, QStringList { Reminder });
    // The next tick after the attempt runs as usual.
    s.server.hold = false;
    s.Sync(u"IO"_s);
    QCOMPARE(s.server.servers.size(), 2);
}

// On the sign-in screen the reminder is a notice, never a box: failures while it is open add
// none; "別再提了" silences it until the next activation; a success takes an open one away. The
// warning about a clock turned back goes to the screen as well.
void TestClockSync::reminderOnTheScreen()
{
    Station s;
    RecordingView view;
    s.sync->SetView(&view);
    s.server.reachable = false;

    s.Sync(u"ST"_s);
    s.clock.advanceSeconds(120);
    s.Sync(u"IO"_s);
    QCOMPARE(view.reminders, 1);
    QVERIFY(view.open);
    QVERIFY(s.prompter.all().isEmpty());

    // A success while it is open takes it away.
    s.server.reachable = true;
    s.clock.advanceSeconds(120);
    s.Sync(u"IO"_s);
    QVERIFY(!view.open);

    // The next failure reminds again; "別再提了" keeps the following failures quiet.
    s.server.reachable = false;
    s.clock.advanceSeconds(120);
    s.Sync(u"IO"_s);
    QCOMPARE(view.reminders, 2);
    s.sync->AnswerReminder(false);
    s.clock.advanceSeconds(120);
    s.Sync(u"IO"_s);
    QCOMPARE(view.reminders, 2);
    // ... until the next activation.
    s.clock.advanceSeconds(120);
    s.Sync(u"ST"_s);
    QCOMPARE(view.reminders, 3);

    // The clock set back by hand: the warning on the screen.
    s.clock.advanceSeconds(-3600);
    s.Sync(u"IO"_s);
    QCOMPARE(view.warnings, QStringList { Tampering });
    QVERIFY(s.prompter.all().isEmpty());
    QCOMPARE(s.Log().size(), 7);
}

QTEST_GUILESS_MAIN(TestClockSync)
#include "tst_clocksync.moc"
