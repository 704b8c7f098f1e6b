// The calculated columns of the report datasets and the four CSV files of a class's audit
// package, compared with hand-written golden files: titles, column order, row selection and
// order, and values with commas, quotes and apostrophes. Also where the files go, and what
// happens when they cannot be written.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reports/ReportDatasets.h"
#include "reports/ReportOutputs.h"

#include "WorkbookReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"1130000120101"_s;
const QString ClassNumber = u"11300001201"_s;
const QString NoLessonsKey = u"1130000130102"_s;

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString GoldenPath(const QString &name)
{
    return qEnvironmentVariable("ROLVAN_SOURCE_DIR") + u"/tests/reports/golden/"_s + name;
}

// Compares line by line first so a difference names the line.
void CompareWithGolden(const QString &path, const QString &golden)
{
    const QByteArray actual = ReadFile(path);
    const QByteArray expected = ReadFile(GoldenPath(golden));
    QVERIFY2(!expected.isEmpty(), qPrintable(u"golden file missing: "_s + golden));
    QVERIFY2(!actual.isEmpty(), qPrintable(u"output missing: "_s + path));
    const QList<QByteArray> actualLines = actual.split('\n');
    const QList<QByteArray> expectedLines = expected.split('\n');
    for (qsizetype i = 0; i < qMin(actualLines.size(), expectedLines.size()); ++i)
        QCOMPARE(QString::fromUtf8(actualLines.at(i)), QString::fromUtf8(expectedLines.at(i)));
    QCOMPARE(actualLines.size(), expectedLines.size());
    QCOMPARE(actual, expected);
}

void Exec(const QString &sql, const QVariantList &params = {})
{
    QSqlQuery query = RunQuery(sql, WorkingConnection(), params);
    Q_UNUSED(query);
}

void AddClass(const QString &courseId, const QString &echelon, const QString &name,
              const QString &first, const QString &last, const QString &cno4)
{
    Exec(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, TimeEnd, "
         "Place, TotHours, CNo2, CNo4, SignType) "
         "values (?, ?, ?, ?, ?, '09:00', '16:00', '本中心第一教室', '6', '必修', ?, '111100')"_s,
         {courseId, echelon, name, first, last, cno4});
}

void AddLesson(const QString &classKey, const QString &cno2, const QString &cno4,
               const QString &start, const QString &end, const QString &subject,
               const QVariant &noonRS, const QVariant &noonRE, const QString &r1, const QString &r2,
               const QString &content)
{
    Exec(u"insert into Course (INDEX_KEY, CNo2, CNo4, DateStart, TimeStart, TimeEnd, Hours, "
         "noonRS, noonRE, nightRS, nightRE, Subject, R1, R2, R3, CourseContent) "
         "values (?, ?, ?, '2024/09/05', ?, ?, 3, ?, ?, NULL, NULL, ?, ?, ?, '', ?)"_s,
         {classKey, cno2, cno4, start, end, noonRS, noonRE, subject, r1, r2, content});
}

void AddEvent(const QString &door, const QString &idno, const QString &time, const QString &type,
              const QString &way, const QString &web, const QString &indexKey,
              const QVariant &seats, const QVariant &rid2, const QString &ntp)
{
    Exec(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, Web, INDEX_KEY, SEATS, "
         "RID2, NTP) values (?, ?, '1130905', ?, ?, ?, 'N', ?, ?, ?, ?, ?)"_s,
         {door, idno, time, type, way, web, indexKey, seats, rid2, ntp});
}

const QString ScoreTable =
    u" Create Table IO_SCORE00 ( INDEX_KEY Varchar(20) ,IDNO char(10) ,IODATE Varchar(10) ,cno2 char(5) "
    ",cno4 char(10),TimeStart char(5),TimeEnd char(5),Hours int ,t1 Varchar(5) ,t2 Varchar(5) ,t3 Varchar(5) "
    ",t4 Varchar(5) ,t5 Varchar(5) ,t6 Varchar(5),gHours int ,Subject Varchar(50),Memo2 Varchar(20)  ) "_s;

void AddScore(const QString &idno, const QString &date, const QString &cno2, const QString &cno4,
              const QString &start, const QString &end, int hours, const QStringList &times,
              int credited, const QString &subject, const QString &memo)
{
    QVariantList params{ClassNumber, idno, date, cno2, cno4, start, end, hours};
    for (const QString &t : times)
        params << t;
    params << credited << subject << memo;
    Exec(u"insert into IO_SCORE00 (INDEX_KEY, IDNO, IODATE, cno2, cno4, TimeStart, TimeEnd, Hours, "
         "t1, t2, t3, t4, t5, t6, gHours, Subject, Memo2) "
         "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
         params);
}

void AddBooking(const QString &indexKey, const QString &id, const QString &name, const QVariant &ghour,
                const QVariant &score)
{
    Exec(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, JOBTYPE, GHour, Score) "
         "values (?, ?, ?, ?, '學員', ?, ?)"_s,
         {indexKey, id, id, name, ghour, score});
}

} // namespace

class TestReportOutputs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void firstSignInAndLastSignOut_data();
    void firstSignInAndLastSignOut();
    void typeAndWayCaptions_data();
    void typeAndWayCaptions();
    void classPeriodBreaksAndClassNumber();

    void signEventsOfTheClassNumberByRid();
    void lessonsByDateAndStart();
    void classWithoutLessonsWritesItsClassRow();
    void classWithoutLessonsOrClassRowWritesNoFile();
    void hoursDetailShowsFirstSignInAndLastSignOut();
    void hoursListOfTheClassById();
    void workbookBesideEachCsv();

    void filesGoToTheClassFolderUnderEitherRule_data();
    void filesGoToTheClassFolderUnderEitherRule();
    void emptyPictureFolderFallsBackToTheDataRoot();
    void unwritableFileIsReportedAndLeavesNoFile();
    void outputsNeedAChosenClass();

private:
    // A station with two classes on a fresh database; the pure column tests need none.
    void SetUpStation();
    void Activate(const QString &classKey);
    QString PictureFolder() const { return m_db->dir() + u"/查核資料檔案"_s; }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<ReportOutputs> m_outputs;
};

void TestReportOutputs::SetUpStation()
{
    m_db = std::make_unique<TestDatabase>();
    m_prompter = std::make_unique<ScriptedPrompter>();
    // The template beside the program (its sys_ini holds the shared settings) and a working
    // database copied from it.
    const QString templatePath = qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
    const QString sample = m_db->globals().samplePath();
    const QString working = m_db->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(templatePath, sample));
    QVERIFY(QFile::copy(templatePath, working));
    QFile::setPermissions(sample, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(working, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(m_db->dm().OpenSampleDatabase(sample, &error), qPrintable(error));
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_db->dm(), working, &error), qPrintable(error));
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, PictureFolder());
    WriteIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, u"課程編號"_s);
    // Normal class periods of this station: noon break 12:15-13:15, evening break 18:00-18:45.
    WriteIniSetting(IniSection::Baae, IniKey::ClassPeriods, u"083012151315180018452130"_s);

    AddClass(u"11300001201"_s, u"01"_s, u"堆高機操作人員安全衛生教育訓練"_s, u"2024/09/05"_s,
             u"2024/09/05"_s, u"A101"_s);
    AddClass(u"11300001301"_s, u"02"_s, u"急救人員安全衛生教育訓練"_s, u"2024/09/10"_s,
             u"2024/09/12"_s, u"B201"_s);
    m_outputs = std::make_unique<ReportOutputs>(m_db->dm());
}

void TestReportOutputs::cleanup()
{
    m_outputs.reset();
    m_prompter.reset();
    m_db.reset();
}

void TestReportOutputs::Activate(const QString &classKey)
{
    G().CurrentClassKey = classKey;
    m_outputs->Activate();
}

void TestReportOutputs::firstSignInAndLastSignOut_data()
{
    QTest::addColumn<QStringList>("times"); // t1 .. t6
    QTest::addColumn<QString>("signIn");
    QTest::addColumn<QString>("signOut");

    QTest::newRow("morning pair") << QStringList{u"08:58"_s, u"12:03"_s, {}, {}, {}, {}}
                                  << u"08:58"_s << u"12:03"_s;
    QTest::newRow("only afternoon times") << QStringList{{}, {}, u"13:02"_s, u"16:05"_s, {}, {}}
                                          << u"13:02"_s << u"16:05"_s;
    QTest::newRow("only evening times") << QStringList{{}, {}, {}, {}, u"18:40"_s, u"21:01"_s}
                                        << u"18:40"_s << u"21:01"_s;
    QTest::newRow("whole day: first in, last out")
        << QStringList{u"08:55"_s, u"12:00"_s, u"13:10"_s, u"17:30"_s, u"18:30"_s, u"21:00"_s}
        << u"08:55"_s << u"21:00"_s;
    QTest::newRow("morning in, afternoon out")
        << QStringList{u"08:55"_s, {}, {}, u"17:31"_s, {}, {}} << u"08:55"_s << u"17:31"_s;
    QTest::newRow("blank texts count as empty")
        << QStringList{u"  "_s, u" "_s, u"13:00"_s, {}, {}, u"21:00"_s} << u"13:00"_s << u"21:00"_s;
    QTest::newRow("no times") << QStringList{{}, {}, {}, {}, {}, {}} << QString() << QString();
}

void TestReportOutputs::firstSignInAndLastSignOut()
{
    QFETCH(QStringList, times);
    QFETCH(QString, signIn);
    QFETCH(QString, signOut);
    QCOMPARE(iTimeCal(times.at(0), times.at(2), times.at(4)), signIn);
    QCOMPARE(oTimeCal(times.at(1), times.at(3), times.at(5)), signOut);
}

void TestReportOutputs::typeAndWayCaptions_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("typeCaption");
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("wayCaption");

    QTest::newRow("0 keyboard") << u"0"_s << u"簽到"_s << u"KB"_s << u"鍵盤"_s;
    QTest::newRow("1 screen") << u"1"_s << u"簽退"_s << u"SC"_s << u"螢幕"_s;
    QTest::newRow("2 card reader") << u"2"_s << u"午到"_s << u"SR"_s << QString();
    QTest::newRow("3 manual") << u"3"_s << u"午退"_s << u"IT"_s << QString();
    QTest::newRow("4") << u"4"_s << u"晚到"_s << u"kb"_s << QString();
    QTest::newRow("5") << u"5"_s << u"晚退"_s << QString() << QString();
    QTest::newRow("9 roll call") << u"9"_s << u"點名"_s << u"KB"_s << u"鍵盤"_s;
    QTest::newRow("A time card") << u"A"_s << u"上班"_s << u"SC"_s << u"螢幕"_s;
    QTest::newRow("D time card") << u"D"_s << u"下班"_s << u"SC"_s << u"螢幕"_s;
    QTest::newRow("unknown 7") << u"7"_s << QString() << u"KB"_s << u"鍵盤"_s;
    QTest::newRow("lower-case a") << u"a"_s << QString() << u"KB"_s << u"鍵盤"_s;
    QTest::newRow("empty") << QString() << QString() << QString() << QString();
}

void TestReportOutputs::typeAndWayCaptions()
{
    QFETCH(QString, type);
    QFETCH(QString, typeCaption);
    QFETCH(QString, way);
    QFETCH(QString, wayCaption);
    QCOMPARE(IotypeCal(type), typeCaption);
    QCOMPARE(IOWAYCal(way), wayCaption);
}

void TestReportOutputs::classPeriodBreaksAndClassNumber()
{
    const QString periods = u"093012001330173018302130"_s;
    QCOMPARE(CalNs(periods), u"12:00"_s);
    QCOMPARE(CalNe(periods), u"13:30"_s);
    QCOMPARE(Cal9s(periods), u"17:30"_s);
    QCOMPARE(Cal9e(periods), u"18:30"_s);
    // A short setting gives what is there, never a crash.
    QCOMPARE(Cal9e(u"0930120013301730"_s), u":"_s);

    // Always 11 characters, whatever the station's class-number length.
    G().CourseNoLength = 9;
    QCOMPARE(CalIndex(u"1130000120101"_s), u"11300001201"_s);
    QCOMPARE(CalIndex(u"11300"_s), u"11300"_s);
}

// The sign events of golden/signevents.csv, and one of another class number.
static void AddGoldenSignEvents()
{
    const QString morning = ClassNumber + u"A10109:00"_s;
    const QString afternoon = ClassNumber + u"A10213:00"_s;
    AddEvent(u"01"_s, u"A123456789"_s, u"085812"_s, u"0"_s, u"KB"_s, u"0"_s, morning, QVariant(), QVariant(), u"Y"_s);
    // Another class number: not exported.
    AddEvent(u"01"_s, u"A123456789"_s, u"085900"_s, u"0"_s, u"KB"_s, u"0"_s, u"11300001202A10109:00"_s,
             QVariant(), QVariant(), u"Y"_s);
    AddEvent(u"02"_s, u"B234567890"_s, u"093012"_s, u"9"_s, u"SC"_s, u"0"_s, morning, QVariant(), 17, u"N"_s);
    AddEvent(u"01"_s, u"A123456789"_s, u"120301"_s, u"1"_s, u"SR"_s, u"0"_s, morning, QVariant(), QVariant(), u"Y"_s);
    AddEvent(u"01"_s, u"C345678901"_s, u"130001"_s, u"2"_s, u"IT"_s, u"1"_s, afternoon, u"A-12"_s, QVariant(), u"Y"_s);
    AddEvent(u"03"_s, u"D456789012"_s, u"160502"_s, u"7"_s, u"KB"_s, u"0"_s, afternoon, QVariant(), QVariant(), u"Y"_s);
}

void TestReportOutputs::signEventsOfTheClassNumberByRid()
{
    SetUpStation();
    AddGoldenSignEvents();
    Activate(ClassKey);
    const QString file = m_outputs->SignEventsCsv();
    QCOMPARE(file, QDir(PictureFolder()).filePath(ClassNumber + u"/11300001201.csv"_s));
    CompareWithGolden(file, u"signevents.csv"_s);
}

void TestReportOutputs::lessonsByDateAndStart()
{
    SetUpStation();
    // Stored afternoon first: the file is in date and start order.
    AddLesson(ClassKey, u"選修"_s, u"A102"_s, u"13:00"_s, u"16:00"_s, u"O'Neil 實務操作"_s, QVariant(),
              QVariant(), QString(), u"13:30"_s, u"含\"實機\"演練"_s);
    AddLesson(ClassKey, u"必修"_s, u"A101"_s, u"09:00"_s, u"12:00"_s, u"堆高機安全, 法規概論"_s,
              u"12:00"_s, u"13:00"_s, u"09:30"_s, QString(), u"第一堂"_s);
    // A lesson of another class.
    AddLesson(u"1130000120201"_s, u"必修"_s, u"A101"_s, u"09:00"_s, u"12:00"_s, u"其他班"_s, QVariant(),
              QVariant(), QString(), QString(), QString());

    Activate(ClassKey);
    const QString file = m_outputs->CoursesCsv();
    QCOMPARE(QFileInfo(file).fileName(), u"11300001201_Course.csv"_s);
    CompareWithGolden(file, u"courses.csv"_s);
}

void TestReportOutputs::classWithoutLessonsWritesItsClassRow()
{
    SetUpStation();
    Activate(NoLessonsKey);
    const QString file = m_outputs->CoursesCsv();
    QCOMPARE(file, QDir(PictureFolder()).filePath(u"11300001301/11300001301_Course.csv"_s));
    CompareWithGolden(file, u"courses_classrow.csv"_s);
}

void TestReportOutputs::classWithoutLessonsOrClassRowWritesNoFile()
{
    SetUpStation();
    Activate(u"1139999999900"_s);
    QCOMPARE(m_outputs->CoursesCsv(), QString());
    QVERIFY(!QFile::exists(m_outputs->CoursesFile()));
}

void TestReportOutputs::hoursDetailShowsFirstSignInAndLastSignOut()
{
    SetUpStation();
    // Made as the hours run makes it: a work table of this connection (on PostgreSQL a char(n)
    // column of an ordinary table would pad its texts with blanks).
    RecreateWorkTable(WorkingConnection(), u"IO_SCORE00"_s, ScoreTable);
    const QString subject = u"堆高機安全, 法規概論"_s;
    AddScore(u"A123456789"_s, u"1130905"_s, u"必修"_s, u"A10109:00"_s, u"09:00"_s, u"12:00"_s, 3,
             {u"08:58"_s, u"12:03"_s, {}, {}, {}, {}}, 3, subject, {});
    AddScore(u"C345678901"_s, u"1130905"_s, u"選修"_s, u"A10213:00"_s, u"13:00"_s, u"16:00"_s, 3,
             {{}, {}, u"13:00"_s, u"16:05"_s, {}, {}}, 3, u"O'Neil 實務操作"_s, {});
    AddScore(u"E567890123"_s, u"1130906"_s, u"必修"_s, u"B30109:00"_s, u"09:00"_s, u"21:00"_s, 9,
             {u"08:55"_s, u"12:00"_s, u"13:10"_s, u"17:30"_s, u"18:30"_s, u"21:00"_s}, 0, u"全日實作"_s,
             u"點名未到"_s);
    AddScore(u"F678901234"_s, u"1130905"_s, u"必修"_s, u"A10109:00"_s, u"09:00"_s, u"12:00"_s, 3,
             {{}, {}, {}, {}, {}, {}}, 0, subject, {});

    Activate(ClassKey);
    const QString file = m_outputs->WriteHoursPerCourse();
    QCOMPARE(QFileInfo(file).fileName(), u"11300001201_HoursPerCourse.csv"_s);
    CompareWithGolden(file, u"hourspercourse.csv"_s);
}

void TestReportOutputs::hoursListOfTheClassById()
{
    SetUpStation();
    AddBooking(ClassKey, u"C345678901"_s, u"陳, 小華"_s, QVariant(), QVariant());
    AddBooking(ClassKey, u"B234567890"_s, u"O'Brien 林"_s, u"6"_s, u"0"_s);
    AddBooking(u"1130000120201"_s, u"Z999999999"_s, u"別班學員"_s, u"9"_s, u"0"_s);
    AddBooking(ClassKey, u"A123456789"_s, u"王大明"_s, u"3"_s, u"3"_s);

    Activate(ClassKey);
    const QString file = m_outputs->WritePermitHours();
    QCOMPARE(QFileInfo(file).fileName(), u"11300001201_PermitHours.csv"_s);
    CompareWithGolden(file, u"permithours.csv"_s);
}

void TestReportOutputs::workbookBesideEachCsv()
{
    SetUpStation();
    AddGoldenSignEvents();
    AddLesson(ClassKey, u"必修"_s, u"A101"_s, u"09:00"_s, u"12:00"_s, u"堆高機安全, 法規概論"_s,
              u"12:00"_s, u"13:00"_s, u"09:30"_s, QString(), u"第一堂"_s);
    AddBooking(ClassKey, u"A123456789"_s, u"=HYPERLINK(\"http://example.invalid\",\"王\")"_s, u"6"_s, u"3"_s);
    AddBooking(ClassKey, u"B234567890"_s, u"@林"_s, u"12"_s, u"0"_s);
    Activate(ClassKey);

    const QString events = m_outputs->SignEventsCsv();
    // The CSV file keeps its bytes.
    CompareWithGolden(events, u"signevents.csv"_s);
    const QString courses = m_outputs->CoursesCsv();
    const QString permit = m_outputs->WritePermitHours();
    QVERIFY(ReadFile(permit).contains("\n11300001201,A123456789,\"=HYPERLINK(\"\"http://example.invalid\"\","));

    struct Expected
    {
        QString file;
        QString cell;
        QString type;
        QString value;
    };
    const QList<Expected> expected{
        {events, u"A1"_s, u"s"_s, u"DOOR"_s},
        {events, u"A2"_s, u"s"_s, u"01"_s},              // station
        {events, u"C2"_s, u"s"_s, u"1130905"_s},         // date
        {events, u"H2"_s, u"s"_s, u"085812"_s},          // event time
        {events, u"G2"_s, u"s"_s, u"11300001201A10109:00"_s},
        {events, u"K2"_s, u"s"_s, u"1"_s},               // RID: a code, not hours
        {courses, u"C2"_s, u"s"_s, u"2024/09/05"_s},
        {courses, u"D2"_s, u"s"_s, u"09:00"_s},
        {courses, u"F1"_s, u"s"_s, u"核定時數"_s},
        {courses, u"F2"_s, u"n"_s, u"3"_s},              // hours
        {permit, u"B2"_s, u"s"_s, u"A123456789"_s},
        {permit, u"C2"_s, u"s"_s, u"=HYPERLINK(\"http://example.invalid\",\"王\")"_s},
        {permit, u"C3"_s, u"s"_s, u"@林"_s},
        {permit, u"D2"_s, u"n"_s, u"6"_s},
        {permit, u"D3"_s, u"n"_s, u"12"_s},
        {permit, u"E2"_s, u"n"_s, u"3"_s},               // elective hours
    };
    QHash<QString, WorkbookRead> books;
    for (const Expected &e : expected) {
        const QString path = WorkbookPathFor(e.file);
        if (!books.contains(path)) {
            QVERIFY2(QFileInfo(path).absolutePath() == QFileInfo(e.file).absolutePath(), qPrintable(path));
            books.insert(path, ReadWorkbook(path));
            QVERIFY2(books.value(path).ok, qPrintable(path));
            QVERIFY(!books.value(path).sheetXml.contains("<f>"));
        }
        const WorkbookCellRead cell = books.value(path).cells.value(e.cell);
        QVERIFY2(cell.type == e.type && cell.value == e.value,
                 qPrintable(u"%1 %2: %3 \"%4\""_s.arg(QFileInfo(path).fileName(), e.cell, cell.type, cell.value)));
    }
}

void TestReportOutputs::filesGoToTheClassFolderUnderEitherRule_data()
{
    QTest::addColumn<QString>("rule");
    QTest::newRow("by class number") << u"課程編號"_s;
    QTest::newRow("by year and month") << u"年月"_s;
    QTest::newRow("rule not set") << QString();
}

void TestReportOutputs::filesGoToTheClassFolderUnderEitherRule()
{
    QFETCH(QString, rule);
    SetUpStation();
    if (rule.isEmpty())
        WriteIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, QString());
    else
        WriteIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, rule);

    Activate(ClassKey);
    const QString classFolder = QDir(PictureFolder()).filePath(ClassNumber);
    QCOMPARE(QDir::fromNativeSeparators(m_outputs->ExportDir), classFolder);
    QCOMPARE(QDir::fromNativeSeparators(m_outputs->PicDir), classFolder + u"/PIC"_s);
    QCOMPARE(QDir::fromNativeSeparators(m_outputs->PdfDir), classFolder + u"/PDF"_s);
    QVERIFY(QFileInfo(m_outputs->PicDir).isDir());
    QVERIFY(QFileInfo(m_outputs->PdfDir).isDir());
    QCOMPARE(QFileInfo(m_outputs->SignEventsCsv()).absolutePath(), classFolder);
}

void TestReportOutputs::emptyPictureFolderFallsBackToTheDataRoot()
{
    SetUpStation();
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", m_db->dir().toUtf8());
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, QString());
    Activate(ClassKey);
    const QString expected = QDir(DefaultDataRoot()).filePath(u"查核資料檔案/"_s + ClassNumber);
    qputenv("HOME", home);

    QVERIFY(expected.startsWith(m_db->dir()));
    QCOMPARE(QDir::fromNativeSeparators(m_outputs->ExportDir), QDir::fromNativeSeparators(expected));
    QVERIFY(QFileInfo(m_outputs->PicDir).isDir());
}

void TestReportOutputs::unwritableFileIsReportedAndLeavesNoFile()
{
    SetUpStation();
    Activate(ClassKey);
    // A folder stands where the file should go: nothing can be written there.
    QVERIFY(QDir().mkpath(m_outputs->SignEventsFile()));
    try {
        m_outputs->SignEventsCsv();
        QFAIL("an unwritable file must not be reported as written");
    } catch (const RolvanError &error) {
        // The file and the reason are named.
        QVERIFY2(error.message().startsWith(u"無法寫入檔案「"_s), qPrintable(error.message()));
        QVERIFY(error.message().contains(ClassNumber + u".csv"_s));
        QVERIFY2(error.message().contains(u"資料夾"_s), qPrintable(error.message()));
    }
    QVERIFY(QFileInfo(m_outputs->SignEventsFile()).isDir());
}

void TestReportOutputs::outputsNeedAChosenClass()
{
    SetUpStation();
    Activate(QString());
    QVERIFY_THROWS_EXCEPTION(RolvanError, m_outputs->SignEventsCsv());
    QVERIFY_THROWS_EXCEPTION(RolvanError, m_outputs->CoursesCsv());
    QVERIFY_THROWS_EXCEPTION(RolvanError, m_outputs->WritePermitHours());
    // Nothing was written beside the picture folder.
    QVERIFY(QDir(PictureFolder()).entryList(QDir::Files).isEmpty());
}

QTEST_GUILESS_MAIN(TestReportOutputs)
#include "tst_reportoutputs.moc"
