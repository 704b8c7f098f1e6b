// The sign-in-sheet data on a copy of the template: the rows of the chosen lesson in IO_RPT200,
// the lecturers and head counts, snapshot names, a cancelled choice, a class without lessons,
// and the sheet rows read with their IO_RPT200 values.

#include "core/DbFunctions.h"
#include "base/RolvanError.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reports/SheetData.h"

#include <QFile>
#include <QSqlQuery>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString CourseId = u"11300000001"_s;
const QString ClassKey = u"1130000000101"_s;
const QString Day = u"2024/09/05"_s;
const QString DayRoc = u"1130905"_s;
const QString LessonKey = u"000109:00"_s;
const QString FullKey = CourseId + LessonKey;

} // namespace

class TestSheetData : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headCountsLecturersAndSheetRows();
    void sheetRowsWithoutJobTypeOrIdentityFirst();
    void snapshotNames_data();
    void snapshotNames();
    void cancelledChoiceStopsSilently();
    void classWithoutLessonsUsesItsOwnTimes();

private:
    void AddClass(const QString &signType = u"110000"_s)
    {
        ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, "
                "TimeEnd, TotHours, SignType, Place) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {CourseId, u"01"_s, u"堆高機操作人員安全衛生在職教育訓練"_s, Day, Day, u"09:00"_s,
                 u"12:00"_s, u"3"_s, signType, u"台北市"_s});
    }
    void AddLesson()
    {
        ExecSql(u"insert into Course (INDEX_KEY, Subject, CNo4, DateStart, TimeStart, TimeEnd, Hours, "
                "teacherID, R1) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {ClassKey, u"職業安全衛生"_s, u"0001"_s, Day, u"09:00"_s, u"12:00"_s, 3, u"T1"_s, u"09:30"_s});
    }
    void AddBooking(const QString &id, const QString &jobType = u"學員"_s)
    {
        ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE) values (?, ?, ?, ?)"_s,
                {ClassKey, id, u"陳志豪"_s, jobType});
    }
    void AddEvent(const QString &id, const QString &time, const QString &type,
                  const QString &indexKey = FullKey)
    {
        ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY) "
                "values (?, ?, ?, ?, ?, ?, ?)"_s,
                {u"01"_s, id, DayRoc, time, type, u"KB"_s, indexKey});
    }
    static SheetChoice Chosen() { return {u"1130905(四)"_s, LessonKey, FullKey}; }

    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestSheetData::init()
{
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_station->dm(), work, &error), qPrintable(error));
    m_station->globals().CurrentClassKey = ClassKey;
    m_prompter = std::make_unique<ScriptedPrompter>();
}

void TestSheetData::cleanup()
{
    m_prompter.reset();
    m_station.reset();
}

void TestSheetData::headCountsLecturersAndSheetRows()
{
    AddClass();
    AddLesson();
    for (const QString &id : {u"S1"_s, u"S2"_s, u"S3"_s})
        AddBooking(id);
    AddBooking(u"L1"_s, u"講師"_s); // a lecturer who signs in
    AddBooking(u"T1"_s, u"講師"_s); // the lesson's teacher, who does not
    AddBooking(u"X1"_s, u"講師"_s); // another lecturer, neither
    AddEvent(u"S1"_s, u"085500"_s, u"0"_s);
    AddEvent(u"S1"_s, u"094500"_s, u"9"_s);
    AddEvent(u"S1"_s, u"120500"_s, u"1"_s);
    AddEvent(u"S2"_s, u"091600"_s, u"0"_s);
    AddEvent(u"S2"_s, u"183000"_s, u"9"_s); // the afternoon's roll call on the sheet
    AddEvent(u"L1"_s, u"085000"_s, u"0"_s);
    AddEvent(u"S3"_s, u"090000"_s, u"0"_s, CourseId + u"000213:00"_s); // another lesson

    QVERIFY(SheetNeedsCourseChoice(m_station->dm().Con1(), ClassKey));
    const SheetData d = BuildSheetData(m_station->dm().Con1(), ClassKey, Chosen(), ReportSettings(), false);
    QCOMPARE(d.SheetDate, u"1130905(四)"_s);
    QCOMPARE(d.LessonDate, Day);
    QCOMPARE(d.TeacherID, u"T1"_s);
    QCOMPARE(d.LecturerList, u"('L1' )"_s);
    QCOMPARE(d.LecturerIds, QStringList{u"L1"_s});
    QCOMPARE(d.Expected, 3);
    QCOMPARE(d.Present, 2);
    QCOMPARE(d.Absent, 1);
    QCOMPARE(d.MorningRollCalls, 1);
    QCOMPARE(d.AfternoonRollCalls, 1);
    QCOMPARE(d.EveningRollCalls, 0);
    QCOMPARE(d.RollCallText, u"(09:30)"_s);
    QCOMPARE(d.RollCallMask, u"100"_s);
    QCOMPARE(d.ChosenLesson.value(u"Subject"_s).toString(), u"職業安全衛生"_s);
    QCOMPARE(d.Windows.ArrivalDeadline[0], u"091559"_s);

    QCOMPARE(QueryValue(u"select count(*) from IO_RPT200"_s).toInt(), 3);
    QCOMPARE(QueryValue(u"select istat from IO_RPT200 where IDNO = 'S2'"_s).toString(), u"遲到"_s);
    QCOMPARE(QueryValue(u"select scr from IO_RPT200 where IDNO = 'S1'"_s).toInt(), 3);

    // The sheet rows: students, the teacher and the lecturers met, by job type and identity.
    const QList<QSqlRecord> rows = OpenADOBooking(m_station->dm().Con1(), ClassKey, d.TeacherID, d.LecturerIds);
    QStringList ids;
    for (const QSqlRecord &r : rows)
        ids << r.value(u"ID"_s).toString();
    QCOMPARE(ids, (QStringList{u"S1"_s, u"S2"_s, u"S3"_s, u"L1"_s, u"T1"_s}));
    QCOMPARE(rows.at(0).value(u"iTime"_s).toString(), u"08550"_s);
    QCOMPARE(rows.at(0).value(u"oTime"_s).toString(), u"12050"_s);
    QCOMPARE(rows.at(0).value(u"pTime1"_s).toString(), u"09450"_s);
    QCOMPARE(rows.at(1).value(u"iStat"_s).toString(), u"遲到"_s);
    QCOMPARE(rows.at(1).value(u"pTime2"_s).toString(), u"18300"_s);
    QCOMPARE(rows.at(2).value(u"iTime"_s).toString(), QString());
    // (The columns of Booking as a query gives them: the driver's table lookup takes the name
    // as written, and PostgreSQL keeps it in lower case.)
    QCOMPARE(rows.at(0).count(),
        RunQuery(u"select * from Booking where 1 = 0"_s, WorkingConnection()).record().count() + 24);

    // Without lecturers every enrolment row of the class shows.
    QCOMPARE(OpenADOBooking(m_station->dm().Con1(), ClassKey, d.TeacherID, {}).size(), 6);
}

// The sheet rows in one order on every database: a row without a job type, or without an
// identity among its job type, comes first.
void TestSheetData::sheetRowsWithoutJobTypeOrIdentityFirst()
{
    AddClass();
    AddBooking(u"S2"_s);
    AddBooking(u"L1"_s, u"講師"_s);
    ExecSql(u"insert into Booking (INDEX_KEY, NAME, JOBTYPE) values (?, '林小華', '學員')"_s, {ClassKey});
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME) values (?, 'S1', '王大同')"_s, {ClassKey});
    QStringList rows;
    for (const QSqlRecord &r : OpenADOBooking(m_station->dm().Con1(), ClassKey, QString(), {}))
        rows << r.value(u"JOBTYPE"_s).toString() + u'/' + r.value(u"ID"_s).toString();
    QCOMPARE(rows, (QStringList{u"/S1"_s, u"學員/"_s, u"學員/S2"_s, u"講師/L1"_s}));
}

void TestSheetData::snapshotNames_data()
{
    QTest::addColumn<bool>("photoOn");
    QTest::addColumn<QString>("ipic");
    QTest::addColumn<QString>("ppic1");
    QTest::newRow("off") << false << QString() << QString();
    QTest::newRow("on") << true << ClassKey + u"S111309050855000KB.jpg"_s
                        << ClassKey + u"S111309050945009KB.jpg"_s;
}

void TestSheetData::snapshotNames()
{
    QFETCH(bool, photoOn);
    QFETCH(QString, ipic);
    QFETCH(QString, ppic1);

    AddClass();
    AddLesson();
    AddBooking(u"S1"_s);
    AddEvent(u"S1"_s, u"085500"_s, u"0"_s);
    AddEvent(u"S1"_s, u"094500"_s, u"9"_s);
    BuildSheetData(m_station->dm().Con1(), ClassKey, Chosen(), ReportSettings(), photoOn);
    QSqlQuery q = RunQuery(u"select ipic, opic, ppic1 from IO_RPT200"_s, WorkingConnection());
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), ipic);
    QCOMPARE(q.value(1).toString(), QString());
    QCOMPARE(q.value(2).toString(), ppic1);
}

void TestSheetData::cancelledChoiceStopsSilently()
{
    AddClass();
    AddLesson();
    AddBooking(u"S1"_s);
    AddEvent(u"S1"_s, u"085500"_s, u"0"_s);
    BuildSheetData(m_station->dm().Con1(), ClassKey, Chosen(), ReportSettings(), false);
    QVERIFY_THROWS_EXCEPTION(SilentAbort,
                             BuildSheetData(m_station->dm().Con1(), ClassKey, {u"abort"_s, {}, {}}, ReportSettings(), false));
    QCOMPARE(QueryValue(u"select count(*) from IO_RPT200"_s).toInt(), 1);
    QVERIFY(m_prompter->all().isEmpty());
}

void TestSheetData::classWithoutLessonsUsesItsOwnTimes()
{
    AddClass(u"110000"_s);
    AddBooking(u"S1"_s);
    AddEvent(u"S1"_s, u"091600"_s, u"0"_s, ClassKey);
    AddEvent(u"S1"_s, u"114500"_s, u"1"_s, ClassKey);
    QVERIFY(!SheetNeedsCourseChoice(m_station->dm().Con1(), ClassKey));
    // The course choice plays no part: there is nothing to choose.
    const SheetData d = BuildSheetData(m_station->dm().Con1(), ClassKey, {u"abort"_s, {}, {}}, ReportSettings(), false);
    QCOMPARE(d.SheetDate, u"1130905(四)"_s);
    QCOMPARE(d.FullKey, CourseId);
    QCOMPARE(d.SheetSignType, u"110000"_s);
    QCOMPARE(d.Windows.ArrivalDeadline[0], u"091559"_s);
    QCOMPARE(d.Windows.LeaveEarliest[0], u"1145"_s);
    QCOMPARE(QueryValue(u"select istat || '/' || ostat || '/' || scr from IO_RPT200"_s).toString(),
             u"遲到//2"_s);
    QCOMPARE(d.Present, 1);
    QCOMPARE(d.Absent, 0);
}

QTEST_GUILESS_MAIN(TestSheetData)
#include "tst_sheetdata.moc"
