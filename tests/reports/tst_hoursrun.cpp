// The hours run on a copy of the template: the events of a class become IO_RPT200, IO_RPT300
// and IO_SCORE00 rows and the totals of Booking, and bad input stops the run before any table
// changes.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/RolvanError.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reports/HoursRun.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString CourseId = u"11300000001"_s;
const QString ClassKey = u"1130000000101"_s;
const QString Day = u"2024/09/05"_s;
const QString DayRoc = u"1130905"_s;

struct LessonSpec
{
    QString start;
    QString end;
    int hours;
    QString cno4 = u"0001"_s;
    QString cno2;
    QString subject = u"職業安全衛生"_s;
    QString noonRS;
    QString noonRE;
    QString r1;
    QString date = Day;
};

QString LessonKey(const LessonSpec &l)
{
    return CourseId + l.cno4 + l.start;
}

} // namespace

class TestHoursRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void marksTimesAndHoursOfADay();
    void rollCallDecidesThePart_data();
    void rollCallDecidesThePart();
    void swipeInAShortBreakServesBothPairs();
    void lessonsWithBreakFieldsAreCreditedOverTheirOwnSpan_data();
    void lessonsWithBreakFieldsAreCreditedOverTheirOwnSpan();
    void classWithoutLessonsIsCreditedByItsRow();
    void classWithoutLessonsCreditsWhatTheStationStored();
    void totalsSplitRequiredAndElective();
    void totalsAboveTwoDigitsAreWrittenInFull();
    void apostrophesAreCredited();
    void periodsBeyondTheEighthAreNotMarked();
    void badClassStopsWithoutTouchingTheTables_data();
    void badClassStopsWithoutTouchingTheTables();
    void classNumberMatchesAsAPrefixWhateverTheLetterCase();
    void settingsAreReadAndBadNumbersCountAsZero();
    void settingsStoredEmptyReadAsZero();

private:
    void AddClass(const QString &dateStart = Day, const QString &timeStart = u"09:00"_s,
                  const QString &timeEnd = u"17:00"_s, const QString &totHours = u"8"_s)
    {
        ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, "
                "TimeEnd, TotHours, CNo4, CNo2, SignType) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {CourseId, u"01"_s, u"堆高機操作人員安全衛生在職教育訓練"_s, dateStart, dateStart,
                 timeStart, timeEnd, totHours, u"A001"_s, u""_s, u"110000"_s});
    }
    void AddLesson(const LessonSpec &l)
    {
        ExecSql(u"insert into Course (INDEX_KEY, Subject, CNo4, CNo2, DateStart, TimeStart, "
                "TimeEnd, Hours, noonRS, noonRE, R1) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {ClassKey, l.subject, l.cno4, l.cno2, l.date, l.start, l.end, l.hours, l.noonRS,
                 l.noonRE, l.r1});
    }
    void AddBooking(const QString &id, const QString &jobType = u"學員"_s)
    {
        ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE, GHour, Score) values (?, ?, ?, ?, ?, ?)"_s,
                {ClassKey, id, u"王小明"_s, jobType, u"99"_s, u"99"_s});
    }
    void AddEvent(const QString &id, const QString &time, const QString &type,
                  const QString &indexKey, const QString &date = DayRoc)
    {
        ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY) "
                "values (?, ?, ?, ?, ?, ?, ?)"_s,
                {u"01"_s, id, date, time, type, u"KB"_s, indexKey});
    }
    QSqlRecord Row(const QString &sql, const QVariantList &params = {})
    {
        QSqlQuery query = RunQuery(sql, WorkingConnection(), params);
        return query.next() ? query.record() : QSqlRecord();
    }
    int Count(const QString &table)
    {
        return QueryValue(u"select count(*) from "_s + table).toInt();
    }
    void Run()
    {
        HoursRun run(m_station->dm().Con1(), ClassKey, ReportSettings());
        run.Run();
        run.ComputeTotals();
    }

    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestHoursRun::init()
{
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_station->dm(), work, &error), qPrintable(error));
    m_prompter = std::make_unique<ScriptedPrompter>();
}

void TestHoursRun::cleanup()
{
    m_prompter.reset();
    m_station.reset();
}

void TestHoursRun::marksTimesAndHoursOfADay()
{
    AddClass(u"2024/09/04"_s);
    const LessonSpec lesson{u"09:00"_s, u"17:00"_s, 8};
    AddLesson(lesson);
    const QString key = LessonKey(lesson);
    AddBooking(u"A123456789"_s);
    AddBooking(u"B223456789"_s);
    AddBooking(u"C123456789"_s); // enrolled, never signed
    // Late by a second and early by a second; a second sign-in replaces the first time.
    AddEvent(u"A123456789"_s, u"090500"_s, u"0"_s, key);
    AddEvent(u"A123456789"_s, u"091600"_s, u"0"_s, key);
    AddEvent(u"A123456789"_s, u"164459"_s, u"1"_s, key);
    // In time at both ends, and two roll calls that fall into the morning and the afternoon.
    AddEvent(u"B223456789"_s, u"091559"_s, u"0"_s, key);
    AddEvent(u"B223456789"_s, u"164500"_s, u"1"_s, key);
    AddEvent(u"B223456789"_s, u"123000"_s, u"9"_s, key);
    AddEvent(u"B223456789"_s, u"183000"_s, u"9"_s, key);
    // Not this class, and before its start.
    AddEvent(u"A123456789"_s, u"080000"_s, u"0"_s, u"11300000002000109:00"_s);
    AddEvent(u"A123456789"_s, u"080000"_s, u"0"_s, key, u"1130903"_s);

    HoursRun run(m_station->dm().Con1(), ClassKey, ReportSettings());
    QList<std::pair<qsizetype, qsizetype>> progress;
    run.SetProgress([&](qsizetype done, qsizetype total) { progress.append({done, total}); });
    run.Run();
    run.ComputeTotals();
    QCOMPARE(run.eventCount(), 7);
    QCOMPARE(progress.last(), (std::pair<qsizetype, qsizetype>(7, 7)));

    QCOMPARE(Count(u"IO_RPT200"_s), 2);
    QSqlRecord a = Row(u"select * from IO_RPT200 where IDNO = ?"_s, {u"A123456789"_s});
    QCOMPARE(a.value(u"cno4"_s).toString(), u"000109:00"_s);
    QCOMPARE(a.value(u"IODATE"_s).toString(), DayRoc);
    QCOMPARE(a.value(u"iTime"_s).toString(), u"091600"_s);
    QCOMPARE(a.value(u"oTime"_s).toString(), u"164459"_s);
    QCOMPARE(a.value(u"istat"_s).toString(), u"遲到"_s);
    QCOMPARE(a.value(u"ostat"_s).toString(), u"早退"_s);
    QCOMPARE(a.value(u"scr"_s).toInt(), 7);
    QCOMPARE(a.value(u"JOBTYPE"_s).toString(), u"學員"_s);
    QSqlRecord b = Row(u"select * from IO_RPT200 where IDNO = ?"_s, {u"B223456789"_s});
    QCOMPARE(b.value(u"istat"_s).toString(), QString());
    QCOMPARE(b.value(u"ostat"_s).toString(), QString());
    QCOMPARE(b.value(u"pTime1"_s).toString(), u"123000"_s);
    QCOMPARE(b.value(u"pTime2"_s).toString(), u"183000"_s);
    QCOMPARE(b.value(u"scr"_s).toInt(), 8);

    QCOMPARE(Count(u"IO_SCORE00"_s), 2);
    QSqlRecord s = Row(u"select * from IO_SCORE00 where IDNO = ?"_s, {u"A123456789"_s});
    QCOMPARE(s.value(u"INDEX_KEY"_s).toString(), CourseId);
    QCOMPARE(s.value(u"IODATE"_s).toString(), DayRoc);
    QCOMPARE(s.value(u"TimeStart"_s).toString(), u"09:00"_s);
    QCOMPARE(s.value(u"TimeEnd"_s).toString(), u"17:00"_s);
    QCOMPARE(s.value(u"t1"_s).toString(), u"09:16"_s);
    QCOMPARE(s.value(u"t2"_s).toString(), u"16:44"_s);
    QCOMPARE(s.value(u"gHours"_s).toInt(), 7);
    QCOMPARE(s.value(u"Hours"_s).toInt(), 8);
    QCOMPARE(s.value(u"Subject"_s).toString(), u"職業安全衛生"_s);
    QCOMPARE(QueryValue(u"select gHours from IO_SCORE00 where IDNO = ?"_s, {u"B223456789"_s}).toInt(), 8);

    // IO_RPT300 marks one-hour lessons only: none here.
    QCOMPARE(Count(u"IO_RPT300"_s), 0);
    QCOMPARE(QueryToList(u"GHour"_s, u"select GHour from Booking order by ID"_s),
             (QStringList{u"7"_s, u"8"_s, u"0"_s}));
    QCOMPARE(QueryToList(u"Score"_s, u"select Score from Booking order by ID"_s),
             (QStringList{u"0"_s, u"0"_s, u"0"_s}));
    QVERIFY(m_prompter->all().isEmpty());
}

void TestHoursRun::rollCallDecidesThePart_data()
{
    QTest::addColumn<QString>("rollCall");
    QTest::addColumn<int>("hours");
    QTest::addColumn<QString>("memo");
    QTest::newRow("a minute early") << u"092900"_s << 0 << u"點名提前簽到"_s;
    QTest::newRow("thirty minutes late") << u"100000"_s << 8 << u""_s;
    QTest::newRow("thirty-one minutes late") << u"100100"_s << 0 << u"點名簽到超過30分鐘"_s;
    QTest::newRow("no roll call") << QString() << 0 << u"點名未到"_s;
}

void TestHoursRun::rollCallDecidesThePart()
{
    QFETCH(QString, rollCall);
    QFETCH(int, hours);
    QFETCH(QString, memo);

    AddClass();
    LessonSpec lesson{u"09:00"_s, u"17:00"_s, 8};
    lesson.r1 = u"09:30"_s;
    AddLesson(lesson);
    AddBooking(u"A123456789"_s);
    AddEvent(u"A123456789"_s, u"085000"_s, u"0"_s, LessonKey(lesson));
    AddEvent(u"A123456789"_s, u"170000"_s, u"1"_s, LessonKey(lesson));
    if (!rollCall.isEmpty())
        AddEvent(u"A123456789"_s, rollCall, u"9"_s, LessonKey(lesson));
    Run();
    QSqlRecord s = Row(u"select gHours, Memo2 from IO_SCORE00"_s);
    QCOMPARE(s.value(0).toInt(), hours);
    QCOMPARE(s.value(1).toString(), memo);
    QCOMPARE(QueryValue(u"select GHour from Booking"_s).toString(), QString::number(hours));
}

void TestHoursRun::swipeInAShortBreakServesBothPairs()
{
    // The afternoon begins RestLimit after the morning ends: one swipe during lunch counts twice.
    AddClass();
    const LessonSpec morning{u"09:00"_s, u"12:00"_s, 3, u"0001"_s, {}, u"上午課程"_s, u"12:00"_s, u"12:30"_s};
    const LessonSpec afternoon{u"12:30"_s, u"16:00"_s, 3, u"0002"_s, {}, u"下午課程"_s, u"12:00"_s, u"12:30"_s};
    AddLesson(morning);
    AddLesson(afternoon);
    AddBooking(u"A123456789"_s);
    AddEvent(u"A123456789"_s, u"085500"_s, u"0"_s, LessonKey(morning));
    AddEvent(u"A123456789"_s, u"121000"_s, u"2"_s, LessonKey(morning));
    AddEvent(u"A123456789"_s, u"121500"_s, u"1"_s, LessonKey(afternoon));
    Run();
    QSqlRecord m = Row(u"select oTime, iTime2, istat2 from IO_RPT200 where cno4 = ?"_s, {u"000109:00"_s});
    QCOMPARE(m.value(0).toString(), u"121000"_s);
    QCOMPARE(m.value(1).toString(), u"121000"_s);
    QCOMPARE(m.value(2).toString(), QString());
    QSqlRecord a = Row(u"select oTime, iTime2 from IO_RPT200 where cno4 = ?"_s, {u"000212:30"_s});
    QCOMPARE(a.value(0).toString(), u"121500"_s);
    QCOMPARE(a.value(1).toString(), u"121500"_s);
}

// Days whose every lesson names the lunch break (as imported lessons do). Lessons: "start-end
// hours", numbered 0001, 0002 ... in order; events: "<lesson number> <type> <time>"; credited:
// gHours of each lesson in order, and the late marks of the rows.
void TestHoursRun::lessonsWithBreakFieldsAreCreditedOverTheirOwnSpan_data()
{
    QTest::addColumn<QStringList>("lessons");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QList<int>>("credited");
    QTest::addColumn<QString>("lateMarks");

    QTest::newRow("a one-hour lesson and a two-hour lesson: 3 approved, never 5")
        << QStringList{u"09:00-10:00 1"_s, u"10:00-12:00 2"_s}
        << QStringList{u"1 0 085500"_s, u"1 1 120500"_s, u"2 0 100000"_s, u"2 1 120500"_s}
        << QList<int>{1, 2} << u"遲到"_s; // 10:00 is late for the morning that began at 09:00
    QTest::newRow("a two-hour lesson, staying until 12:05")
        << QStringList{u"09:00-11:00 2"_s} << QStringList{u"1 0 085500"_s, u"1 1 120500"_s}
        << QList<int>{2} << u""_s;
    // The station signs an afternoon-only day with the first pair.
    QTest::newRow("an afternoon-only day")
        << QStringList{u"13:30-16:30 3"_s} << QStringList{u"1 0 132500"_s, u"1 1 163000"_s}
        << QList<int>{3} << u""_s;
    QTest::newRow("an afternoon-only day, late by 20 minutes")
        << QStringList{u"13:30-16:30 3"_s} << QStringList{u"1 0 135000"_s, u"1 1 163000"_s}
        << QList<int>{2} << u"遲到"_s;
}

void TestHoursRun::lessonsWithBreakFieldsAreCreditedOverTheirOwnSpan()
{
    QFETCH(QStringList, lessons);
    QFETCH(QStringList, events);
    QFETCH(QList<int>, credited);
    QFETCH(QString, lateMarks);

    AddClass();
    AddBooking(u"A123456789"_s);
    QStringList keys;
    for (qsizetype i = 0; i < lessons.size(); ++i) {
        const QStringList parts = lessons.at(i).split(u' ');
        LessonSpec l{parts.at(0).left(5), parts.at(0).mid(6), parts.at(1).toInt(),
                     u"000"_s + QString::number(i + 1)};
        l.noonRS = u"12:00"_s;
        l.noonRE = u"13:00"_s;
        AddLesson(l);
        keys << LessonKey(l);
    }
    for (const QString &event : events) {
        const QStringList e = event.split(u' ');
        AddEvent(u"A123456789"_s, e.at(2), e.at(1), keys.at(e.at(0).toInt() - 1));
    }
    Run();
    QList<int> hours;
    QSqlQuery query = RunQuery(u"select gHours from IO_SCORE00 order by cno4"_s, WorkingConnection());
    while (query.next())
        hours << query.value(0).toInt();
    QCOMPARE(hours, credited);
    QCOMPARE(QueryToList(u"m"_s, u"select coalesce(istat, '') || coalesce(istat2, '') || coalesce(istat3, '') as m "
                         "from IO_RPT200"_s).join(QString()),
             lateMarks);
}

void TestHoursRun::classWithoutLessonsIsCreditedByItsRow()
{
    AddClass(Day, u"09:00"_s, u"12:00"_s, u"3"_s);
    AddBooking(u"A123456789"_s);
    const QString key = CourseId + u"A00109:00"_s;
    AddEvent(u"A123456789"_s, u"091000"_s, u"0"_s, key);
    AddEvent(u"A123456789"_s, u"115000"_s, u"1"_s, key);
    Run();
    QCOMPARE(QueryValue(u"select scr from IO_RPT200"_s).toInt(), 3);
    QSqlRecord s = Row(u"select cno4, Subject, Hours, gHours, t1, t2 from IO_SCORE00"_s);
    QCOMPARE(s.value(0).toString(), u"A00109:00"_s);
    QCOMPARE(s.value(1).toString(), u"堆高機操作人員安全衛生在職教育訓練"_s);
    QCOMPARE(s.value(2).toInt(), 3);
    QCOMPARE(s.value(3).toInt(), 3);
    QCOMPARE(s.value(4).toString(), u"09:10"_s);
    QCOMPARE(s.value(5).toString(), u"11:50"_s);
    QCOMPARE(QueryValue(u"select GHour from Booking"_s).toString(), u"3"_s);
}

void TestHoursRun::classWithoutLessonsCreditsWhatTheStationStored()
{
    // The station signs a class without lessons under the class key; a second person signed
    // under both keys is credited once.
    AddClass(Day, u"09:00"_s, u"12:00"_s, u"3"_s);
    AddBooking(u"A123456789"_s);
    AddBooking(u"B223456789"_s);
    AddEvent(u"A123456789"_s, u"090500"_s, u"0"_s, ClassKey);
    AddEvent(u"A123456789"_s, u"120000"_s, u"1"_s, ClassKey);
    AddEvent(u"B223456789"_s, u"090500"_s, u"0"_s, ClassKey);
    AddEvent(u"B223456789"_s, u"120000"_s, u"1"_s, ClassKey);
    AddEvent(u"B223456789"_s, u"091000"_s, u"0"_s, CourseId + u"A00109:00"_s);
    AddEvent(u"B223456789"_s, u"115000"_s, u"1"_s, CourseId + u"A00109:00"_s);
    Run();
    QCOMPARE(Count(u"IO_SCORE00"_s), 2);
    QCOMPARE(QueryValue(u"select gHours from IO_SCORE00 where IDNO = ?"_s, {u"A123456789"_s}).toInt(), 3);
    QCOMPARE(QueryValue(u"select t1 from IO_SCORE00 where IDNO = ?"_s, {u"B223456789"_s}).toString(),
             u"09:05"_s);
    QCOMPARE(QueryValue(u"select GHour from Booking where ID = ?"_s, {u"A123456789"_s}).toString(), u"3"_s);
    QCOMPARE(QueryValue(u"select GHour from Booking where ID = ?"_s, {u"B223456789"_s}).toString(), u"3"_s);
}

void TestHoursRun::totalsSplitRequiredAndElective()
{
    AddClass();
    const LessonSpec required{u"09:00"_s, u"11:00"_s, 2, u"0001"_s, u"必修"_s};
    const LessonSpec elective{u"11:00"_s, u"12:00"_s, 1, u"0002"_s, u"選修"_s};
    const LessonSpec unmarked{u"13:00"_s, u"15:00"_s, 2, u"0003"_s, u""_s};
    AddLesson(required);
    AddLesson(elective);
    AddLesson(unmarked);
    AddBooking(u"A123456789"_s);
    AddBooking(u"L123456789"_s, u"講師"_s);
    for (const LessonSpec &l : {required, elective, unmarked}) {
        AddEvent(u"A123456789"_s, l.start.left(2) + l.start.mid(3, 2) + u"00"_s, u"0"_s, LessonKey(l));
        AddEvent(u"A123456789"_s, l.end.left(2) + l.end.mid(3, 2) + u"00"_s, u"1"_s, LessonKey(l));
    }
    Run();
    QCOMPARE(QueryToList(u"gHours"_s, u"select gHours from IO_SCORE00 order by cno4"_s),
             (QStringList{u"2"_s, u"1"_s, u"2"_s}));
    QCOMPARE(QueryValue(u"select GHour from Booking where ID = ?"_s, {u"A123456789"_s}).toString(), u"4"_s);
    QCOMPARE(QueryValue(u"select Score from Booking where ID = ?"_s, {u"A123456789"_s}).toString(), u"1"_s);
    QCOMPARE(QueryValue(u"select GHour || '/' || Score from Booking where ID = ?"_s, {u"L123456789"_s}).toString(),
             u"0/0"_s);
    // The one-hour lesson is the second of the date.
    QCOMPARE(QueryValue(u"select coalesce(cos1, '-') || coalesce(cos2, '-') || coalesce(cos3, '-') from IO_RPT300"_s)
                 .toString(),
             u"-V-"_s);
}

void TestHoursRun::totalsAboveTwoDigitsAreWrittenInFull()
{
    AddClass();
    AddBooking(u"A123456789"_s);
    Run(); // creates the work tables, empty
    for (int hours : {60, 63})
        ExecSql(u"insert into IO_SCORE00 (IDNO, cno2, gHours) values (?, ?, ?)"_s,
                {u"A123456789"_s, u""_s, hours});
    HoursRun(m_station->dm().Con1(), ClassKey, ReportSettings()).ComputeTotals();
    QCOMPARE(QueryValue(u"select GHour from Booking"_s).toString(), u"123"_s);
}

void TestHoursRun::apostrophesAreCredited()
{
    AddClass();
    LessonSpec lesson{u"09:00"_s, u"12:00"_s, 3};
    lesson.subject = u"O'Brien's 堆高機實作"_s;
    AddLesson(lesson);
    const QString id = u"O'NEIL0001"_s;
    AddBooking(id);
    AddEvent(id, u"090000"_s, u"0"_s, LessonKey(lesson));
    AddEvent(id, u"120000"_s, u"1"_s, LessonKey(lesson));
    Run();
    QSqlRecord s = Row(u"select IDNO, Subject, gHours from IO_SCORE00"_s);
    QCOMPARE(s.value(0).toString(), id);
    QCOMPARE(s.value(1).toString(), lesson.subject);
    QCOMPARE(s.value(2).toInt(), 3);
    QCOMPARE(QueryValue(u"select GHour from Booking"_s).toString(), u"3"_s);
}

void TestHoursRun::periodsBeyondTheEighthAreNotMarked()
{
    AddClass();
    QList<LessonSpec> lessons;
    for (int h = 8; h < 18; ++h) {
        LessonSpec l{QString::number(h).rightJustified(2, u'0') + u":00"_s,
                     QString::number(h + 1).rightJustified(2, u'0') + u":00"_s, 1};
        l.cno4 = QString::number(h).rightJustified(4, u'0');
        l.noonRS = u"12:00"_s; // keeps the date from being a morning-only day
        AddLesson(l);
        lessons << l;
    }
    AddBooking(u"A123456789"_s);
    AddEvent(u"A123456789"_s, u"075500"_s, u"0"_s, LessonKey(lessons.first()));
    AddEvent(u"A123456789"_s, u"180500"_s, u"1"_s, LessonKey(lessons.first()));
    Run();
    QCOMPARE(QueryValue(u"select scr from IO_RPT200"_s).toInt(), 10);
    QSqlRecord marks = Row(u"select * from IO_RPT300"_s);
    QCOMPARE(marks.value(u"IODATE"_s).toString(), Day);
    for (int n = 1; n <= 8; ++n)
        QCOMPARE(marks.value(u"cos"_s + QString::number(n)).toString(), u"V"_s);
    QCOMPARE(marks.count(), 10);
}

void TestHoursRun::badClassStopsWithoutTouchingTheTables_data()
{
    QTest::addColumn<QString>("dateStart");
    QTest::addColumn<bool>("dropClassRow");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("month 13") << u"2024/13/05"_s << false << u"「2024/13/05」不是正確的日期"_s;
    QTest::newRow("not a date") << u"下週一"_s << false << u"「下週一」不是正確的日期"_s;
    QTest::newRow("no class row") << Day << true << u"找不到講習「1130000000101」"_s;
}

void TestHoursRun::badClassStopsWithoutTouchingTheTables()
{
    QFETCH(QString, dateStart);
    QFETCH(bool, dropClassRow);
    QFETCH(QString, messagePart);

    AddClass();
    const LessonSpec lesson{u"09:00"_s, u"12:00"_s, 3};
    AddLesson(lesson);
    AddBooking(u"A123456789"_s);
    AddEvent(u"A123456789"_s, u"090000"_s, u"0"_s, LessonKey(lesson));
    AddEvent(u"A123456789"_s, u"120000"_s, u"1"_s, LessonKey(lesson));
    Run();
    QCOMPARE(Count(u"IO_SCORE00"_s), 1);

    // A new event and a broken class row: the run stops and the earlier results stay.
    AddEvent(u"B223456789"_s, u"090000"_s, u"0"_s, LessonKey(lesson));
    if (dropClassRow)
        ExecSql(u"delete from Courses"_s);
    else
        ExecSql(u"update Courses set DateStart = ?"_s, {dateStart});
    HoursRun run(m_station->dm().Con1(), ClassKey, ReportSettings());
    try {
        run.Run();
        QFAIL("the run went on");
    } catch (const RolvanError &e) {
        QVERIFY2(e.message().contains(messagePart), qPrintable(e.message()));
    }
    QCOMPARE(Count(u"IO_RPT200"_s), 1);
    QCOMPARE(Count(u"IO_SCORE00"_s), 1);
    QCOMPARE(QueryValue(u"select gHours from IO_SCORE00"_s).toInt(), 3);
}

void TestHoursRun::classNumberMatchesAsAPrefixWhateverTheLetterCase()
{
    ExecSql(u"insert into Courses (CourseId, Echelon, DateStart, TimeStart, TimeEnd) values (?, ?, ?, ?, ?)"_s,
            {u"AB_00000001"_s, u"01"_s, Day, u"09:00"_s, u"12:00"_s});
    ExecSql(u"insert into Course (INDEX_KEY, CNo4, DateStart, TimeStart, TimeEnd, Hours) values (?, ?, ?, ?, ?, ?)"_s,
            {u"AB_0000000101"_s, u"0001"_s, Day, u"09:00"_s, u"12:00"_s, 3});
    AddEvent(u"A1"_s, u"090000"_s, u"0"_s, u"AB_00000001000109:00"_s);
    AddEvent(u"A2"_s, u"090000"_s, u"0"_s, u"ab_00000001000109:00"_s);
    AddEvent(u"A3"_s, u"090000"_s, u"0"_s, u"aB_00000001000109:00"_s);
    AddEvent(u"X1"_s, u"090000"_s, u"0"_s, u"ABz00000001000109:00"_s); // "_" is no wildcard here
    AddEvent(u"X2"_s, u"090000"_s, u"0"_s, u"AB_0000000"_s);
    HoursRun run(m_station->dm().Con1(), u"AB_0000000101"_s, ReportSettings());
    run.Run();
    QCOMPARE(run.eventCount(), 3);
    QCOMPARE(QueryToList(u"IDNO"_s, u"select IDNO from IO_RPT200 order by IDNO"_s),
             (QStringList{u"A1"_s, u"A2"_s, u"A3"_s}));
}

void TestHoursRun::settingsAreReadAndBadNumbersCountAsZero()
{
    const QString sample = m_station->dir() + u"/SampleQuorin.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, sample));
    QString error;
    QVERIFY2(m_station->dm().OpenSampleDatabase(sample, &error), qPrintable(error));

    ReportSettings s = ReadReportSettings(m_station->dm().ConSample());
    QCOMPARE(s.LateGrace, u"0015"_s);
    QCOMPARE(s.RestLimit, u"00:30"_s);
    QCOMPARE(s.HourMinutes, 45);
    QCOMPARE(s.RollCallLimit, 30);
    QCOMPARE(s.ClassPeriods, u"093012001330173018302130"_s);
    QCOMPARE(s.CourseNoLength, 11);
    QVERIFY(m_prompter->all().isEmpty());

    // The per-unit keys follow the unit code; a value that is no number is reported and is 0.
    WriteIniSetting(IniSection::Base, IniKey::TrainingUnitCode, u"Y002"_s);
    WriteIniSetting(IniSection::Base, u"每小時須上滿分鐘數Y"_s, u"50"_s);
    WriteIniSetting(IniSection::Base, IniKey::RollCallLimit, u"三十"_s);
    ExecSqlOn(u"insert into sys_ini (SystemName, ini1, ini2, ini3) values (?, ?, ?, ?)"_s,
              m_station->dm().ConSample(),
              {m_station->globals().ProgramName, u"Base"_s, u"遲到早退分鐘認定Y"_s, u"10"_s});
    s = ReadReportSettings(m_station->dm().ConSample());
    QCOMPARE(s.HourMinutes, 50);
    QCOMPARE(s.LateGrace, u"0010"_s);
    QCOMPARE(s.RollCallLimit, 0);
    QCOMPARE(m_prompter->errors.size(), 1);
    QVERIFY(m_prompter->errors.first().contains(u"三十"_s));
}

void TestHoursRun::settingsStoredEmptyReadAsZero()
{
    const QString sample = m_station->dir() + u"/SampleQuorin.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, sample));
    QString error;
    QVERIFY2(m_station->dm().OpenSampleDatabase(sample, &error), qPrintable(error));

    // A key stored empty is read as empty, 0 minutes, as the station reads it; no message.
    WriteIniSetting(IniSection::Base, u"每小時須上滿分鐘數X"_s, QString());
    WriteIniSetting(IniSection::Base, IniKey::RollCallLimit, QString());
    ExecSqlOn(u"delete from sys_ini where ini2 in (?, ?)"_s, m_station->dm().ConSample(),
              {u"遲到早退分鐘認定X"_s, IniKey::BreakLimit});
    for (const QString &key : {u"遲到早退分鐘認定X"_s, IniKey::BreakLimit})
        ExecSqlOn(u"insert into sys_ini (SystemName, ini1, ini2, ini3) values (?, ?, ?, ?)"_s,
                  m_station->dm().ConSample(), {m_station->globals().ProgramName, u"Base"_s, key, u""_s});
    // The class number keeps its length: none would read every class's events.
    WriteIniSetting(IniSection::Base, IniKey::CourseNoLength, QString());
    WriteIniSetting(IniSection::Baae, IniKey::ClassPeriods, QString());

    const ReportSettings s = ReadReportSettings(m_station->dm().ConSample());
    QCOMPARE(s.HourMinutes, 0);
    QCOMPARE(s.RollCallLimit, 0);
    QCOMPARE(s.LateGrace, u"0000"_s);
    QCOMPARE(s.RestLimit, u"00:00"_s);
    QCOMPARE(s.CourseNoLength, 11);
    QCOMPARE(s.ClassPeriods, u"093012001330173018302130"_s);
    QVERIFY(m_prompter->all().isEmpty());
}

QTEST_GUILESS_MAIN(TestHoursRun)
#include "tst_hoursrun.moc"
