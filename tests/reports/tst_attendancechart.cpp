// The attendance chart's numbers on a copy of the template: per lesson the people present,
// late, left early and absent after the hours run, and the spread of the credited hours of the
// enrolled people against the required hours.

#include "core/DbFunctions.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reports/AttendanceChart.h"

#include <QFile>
#include <QSqlQuery>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString CourseId = u"11300000001"_s;
const QString ClassKey = u"1130000000101"_s;

void Exec(const QString &sql, const QVariantList &params = {})
{
    QSqlQuery query = RunQuery(sql, WorkingConnection(), params);
    Q_UNUSED(query);
}

void AddEvent(const QString &id, const QString &roc, const QString &time, const QString &type,
              const QString &indexKey)
{
    Exec(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY) "
         "values ('01', ?, ?, ?, ?, 'KB', ?)"_s,
         {id, roc, time, type, indexKey});
}

} // namespace

class TestAttendanceChart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lessonCounts_data();
    void lessonCounts();
    void creditedHoursSpread();
    void classWithoutLessonsCountsByDate();

private:
    AttendanceChartData TwoLessonClass();

    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestAttendanceChart::init()
{
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_station->dm(), work, &error), qPrintable(error));
    m_prompter = std::make_unique<ScriptedPrompter>();
}

void TestAttendanceChart::cleanup()
{
    m_prompter.reset();
    m_station.reset();
}

// Two one-morning lessons of three hours on two days; four people enrolled and one stranger.
//   day 1: A in time, B late, C leaves early, D absent; the stranger signs too
//   day 2: A in time and leaves early, everybody else absent
AttendanceChartData TestAttendanceChart::TwoLessonClass()
{
    Exec(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, TimeEnd, "
         "TotHours, CNo4, CNo2, SignType) values (?, '01', '堆高機操作人員安全衛生教育訓練', "
         "'2024/09/05', '2024/09/06', '09:00', '12:00', '6', 'A001', '', '110000')"_s,
         {CourseId});
    for (const QString &day : {u"2024/09/05"_s, u"2024/09/06"_s})
        Exec(u"insert into Course (INDEX_KEY, Subject, CNo4, CNo2, DateStart, TimeStart, TimeEnd, "
             "Hours) values (?, '職業安全衛生', '0001', '必修', ?, '09:00', '12:00', 3)"_s,
             {ClassKey, day});
    for (const QString &id : {u"A123456789"_s, u"B223456789"_s, u"C123456789"_s, u"D223456789"_s})
        Exec(u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE) values (?, ?, '王小明', '學員')"_s,
             {ClassKey, id});
    const QString key = CourseId + u"000109:00"_s;
    AddEvent(u"A123456789"_s, u"1130905"_s, u"085000"_s, u"0"_s, key);
    AddEvent(u"A123456789"_s, u"1130905"_s, u"120500"_s, u"1"_s, key);
    AddEvent(u"B223456789"_s, u"1130905"_s, u"092000"_s, u"0"_s, key);
    AddEvent(u"B223456789"_s, u"1130905"_s, u"120500"_s, u"1"_s, key);
    AddEvent(u"C123456789"_s, u"1130905"_s, u"085000"_s, u"0"_s, key);
    AddEvent(u"C123456789"_s, u"1130905"_s, u"113000"_s, u"1"_s, key);
    AddEvent(u"Z999999999"_s, u"1130905"_s, u"085000"_s, u"0"_s, key);
    AddEvent(u"A123456789"_s, u"1130906"_s, u"085000"_s, u"0"_s, key);
    AddEvent(u"A123456789"_s, u"1130906"_s, u"110000"_s, u"1"_s, key);
    return ComputeAttendanceChart(m_station->dm().Con1(), ClassKey, ReportSettings());
}

void TestAttendanceChart::lessonCounts_data()
{
    QTest::addColumn<int>("lesson");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QList<int>>("counts"); // present, late, left early, absent
    QTest::newRow("day 1") << 0 << u"09/05 09:00"_s << QList<int>{3, 1, 1, 1};
    QTest::newRow("day 2") << 1 << u"09/06 09:00"_s << QList<int>{1, 0, 1, 3};
}

void TestAttendanceChart::lessonCounts()
{
    QFETCH(int, lesson);
    QFETCH(QString, caption);
    QFETCH(QList<int>, counts);
    const AttendanceChartData chart = TwoLessonClass();
    QCOMPARE(chart.Enrolled, 4);
    QCOMPARE(chart.lessons.size(), 2);
    const LessonAttendance &row = chart.lessons.at(lesson);
    QCOMPARE(row.Caption(), caption);
    QCOMPARE(row.Subject, u"職業安全衛生"_s);
    QCOMPARE((QList<int>{row.Present, row.Late, row.LeftEarly, row.Absent}), counts);
}

void TestAttendanceChart::creditedHoursSpread()
{
    const AttendanceChartData chart = TwoLessonClass();
    QCOMPARE(chart.RequiredHours, 6);
    // Every enrolled person once, the stranger not at all.
    int people = 0;
    for (const int n : chart.PeopleByCreditedHours)
        people += n;
    QCOMPARE(people, 4);
    QCOMPARE(chart.PeopleByCreditedHours.size(), 7); // 0 .. the required hours
    QCOMPARE(chart.PeopleByCreditedHours.at(0), 1);  // D
    // Each person's place is the sum of what the run credited them.
    QSqlQuery query = RunQuery(u"select IDNO, sum(gHours) from IO_SCORE00 group by IDNO"_s,
                               WorkingConnection());
    QList<int> expected(7, 0);
    expected[0] = 1;
    while (query.next())
        if (query.value(0).toString() != u"Z999999999"_s)
            ++expected[query.value(1).toInt()];
    QCOMPARE(chart.PeopleByCreditedHours, expected);
    QVERIFY(chart.PeopleByCreditedHours.at(5) + chart.PeopleByCreditedHours.at(6) >= 1); // A
}

void TestAttendanceChart::classWithoutLessonsCountsByDate()
{
    Exec(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, TimeEnd, "
         "TotHours, CNo4, CNo2, SignType) values (?, '01', '急救人員訓練', '2024/09/05', "
         "'2024/09/05', '09:00', '12:00', '3', 'A001', '', '110000')"_s,
         {CourseId});
    for (const QString &id : {u"A123456789"_s, u"B223456789"_s})
        Exec(u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE) values (?, ?, '王小明', '學員')"_s,
             {ClassKey, id});
    AddEvent(u"A123456789"_s, u"1130905"_s, u"092000"_s, u"0"_s, ClassKey);
    AddEvent(u"A123456789"_s, u"1130905"_s, u"120500"_s, u"1"_s, ClassKey);
    const AttendanceChartData chart = ComputeAttendanceChart(m_station->dm().Con1(), ClassKey, ReportSettings());
    QCOMPARE(chart.lessons.size(), 1);
    const LessonAttendance &row = chart.lessons.first();
    QCOMPARE((QList<int>{row.Present, row.Late, row.LeftEarly, row.Absent}),
             (QList<int>{1, 1, 0, 1}));
    QCOMPARE(chart.RequiredHours, 3);
}

QTEST_MAIN(TestAttendanceChart)
#include "tst_attendancechart.moc"
