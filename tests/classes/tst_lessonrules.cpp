// The lessons of a class: what is refused before a lesson is stored and in which order, what a
// stored lesson writes (the teacher's enrolment included), deletion, and the day flags written
// when the lesson window closes.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/LessonRules.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QFile>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"1130123456701"_s; // class number 11301234567, echelon 01
const QString Day = u"2024/05/06"_s;

const QString TimeFormat = u"時間格式錯誤"_s;
const QString BadDate = u"請輸入正確日期"_s;
const QString NoNumber = u"請輸入編號"_s;
const QString BadHours = u"核定時數請輸入整數"_s;
const QString Overlap = u"課程起訖時間請勿重疊 "_s;
const QString Signed = u"已經開始刷卡,不允許變更日期、起始時間 或 編號 "_s;
const QString Bracket = u"系統限制課程名稱不得使用 ( 括號  "_s;

LessonRecord Lesson(const QString &cno4, const QString &date, const QString &start,
                    const QString &end, const QString &subject = u"職業安全衛生概論"_s)
{
    LessonRecord lesson;
    lesson.CNo4 = cno4;
    lesson.DateStart = date;
    lesson.TimeStart = start;
    lesson.TimeEnd = end;
    lesson.Subject = subject;
    lesson.Hours = u"1"_s;
    return lesson;
}

int Count(const QString &sql, const QVariantList &params = {})
{
    return QueryValue(sql, params).toInt();
}

} // namespace

class TestLessonRules : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void checksInOrder_data();
    void checksInOrder();
    void signEventsFreezeDateStartAndNumber_data();
    void signEventsFreezeDateStartAndNumber();
    void refusedLessonShowsItsMessageAndWritesNothing();
    void storedLessonKeepsTextsWithApostrophes();
    void teacherIsEnrolledOnce_data();
    void teacherIsEnrolledOnce();
    void teacherIdIsLookedUpInTheClass();
    void deleteAsksWithTheTitle();
    void dateBetOnClosing_data();
    void dateBetOnClosing();
    void dateBetIsCutAt255Days();
    void subjectListFollowsTheTrainingUnit();

private:
    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    FixedClock m_clock{QDateTime(QDate(2024, 5, 20), QTime(10, 0))};
    int m_signedRid = 0;   // A001 09:00-10:00 on Day, with a sign event
    int m_unsignedRid = 0; // A003 13:30-16:30 on Day, without
};

void TestLessonRules::init()
{
    SetCurrentClock(&m_clock);
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_station->dm(), work, &error), qPrintable(error));
    // A scratch copy need not survive a power cut: no waiting for the disk in tests.
    if (!TestBackend::UsesPostgres())
        ExecSql(u"PRAGMA synchronous = OFF"_s);
    m_prompter = std::make_unique<ScriptedPrompter>();

    ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd) values (?, ?, ?, ?, ?)"_s,
            {u"11301234567"_s, u"01"_s, u"職業安全衛生教育訓練"_s, Day, u"2024/05/08"_s});
    LessonRules rules(m_station->dm(), ClassKey, 11);
    m_signedRid = rules.StoreLesson(Lesson(u"A001"_s, Day, u"09:00"_s, u"10:00"_s), {});
    m_unsignedRid = rules.StoreLesson(Lesson(u"A003"_s, Day, u"13:30"_s, u"16:30"_s), {});
    QVERIFY(m_signedRid > 0 && m_unsignedRid > 0);
    // A sign event of the first lesson: class number + CNo4 + start time, on its ROC date.
    ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY) values (?, ?, ?, ?, ?, ?, ?)"_s,
            {u"01"_s, u"A223456789"_s, u"1130506"_s, u"085500"_s, u"0"_s, u"KB"_s,
             u"11301234567A00109:00"_s});
    // The same lesson times in another class must not collide.
    ExecSql(u"insert into Course (INDEX_KEY, CNo4, DateStart, TimeStart, TimeEnd) values (?, ?, ?, ?, ?)"_s,
            {u"1130123456702"_s, u"A001"_s, Day, u"10:00"_s, u"11:00"_s});
    QVERIFY(m_prompter->all().isEmpty());
}

void TestLessonRules::cleanup()
{
    m_prompter.reset();
    m_station.reset();
    SetCurrentClock(nullptr);
}

// A new lesson on the day of 09:00-10:00 and 13:30-16:30; each row changes one thing or two
// (to show which check comes first).
void TestLessonRules::checksInOrder_data()
{
    QTest::addColumn<QString>("cno4");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("breakOrRollCall"); // put into noonRS
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("refusal");

    const QString S = u"勞動法令概要"_s;
    QTest::newRow("accepted") << u"A002"_s << Day << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << u""_s;
    QTest::newRow("start without leading zero") << u"A002"_s << Day << u"9:00"_s << u"11:00"_s << u""_s << S << u"2"_s << TimeFormat;
    QTest::newRow("end out of range") << u"A002"_s << Day << u"10:10"_s << u"25:61"_s << u""_s << S << u"2"_s << TimeFormat;
    QTest::newRow("end with letters") << u"A002"_s << Day << u"10:10"_s << u"1l:00"_s << u""_s << S << u"2"_s << TimeFormat;
    QTest::newRow("end blank") << u"A002"_s << Day << u"10:10"_s << u""_s << u""_s << S << u"2"_s << TimeFormat;
    QTest::newRow("break without colon") << u"A002"_s << Day << u"10:10"_s << u"11:00"_s << u"1230"_s << S << u"2"_s << TimeFormat;
    QTest::newRow("break 24:00") << u"A002"_s << Day << u"10:10"_s << u"11:00"_s << u"24:00"_s << S << u"2"_s << TimeFormat;
    QTest::newRow("break with blanks around") << u"A002"_s << Day << u"10:10"_s << u"11:00"_s << u" 12:30 "_s << S << u"2"_s << u""_s;
    QTest::newRow("blank break") << u"A002"_s << Day << u"10:10"_s << u"11:00"_s << u"   "_s << S << u"2"_s << u""_s;
    QTest::newRow("date without leading zeros") << u"A002"_s << u"2024/5/6"_s << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << BadDate;
    QTest::newRow("date out of range") << u"A002"_s << u"2024/13/40"_s << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << BadDate;
    QTest::newRow("day that does not exist") << u"A002"_s << u"2023/02/29"_s << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << BadDate;
    QTest::newRow("date with dashes") << u"A002"_s << u"2024-05-06"_s << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << BadDate;
    QTest::newRow("today's date in another form is still refused") << u"A002"_s << u"113/05/20"_s << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << BadDate;
    QTest::newRow("no date") << u"A002"_s << u""_s << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << BadDate;
    QTest::newRow("no number") << u""_s << Day << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << NoNumber;
    QTest::newRow("blank number") << u"  "_s << Day << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << NoNumber;
    QTest::newRow("hours not a number") << u"A002"_s << Day << u"10:10"_s << u"11:00"_s << u""_s << S << u"2.5"_s << BadHours;
    QTest::newRow("starts when another ends") << u"A002"_s << Day << u"10:00"_s << u"11:00"_s << u""_s << S << u"2"_s << Overlap;
    QTest::newRow("ends when another starts") << u"A002"_s << Day << u"08:00"_s << u"09:00"_s << u""_s << S << u"2"_s << Overlap;
    QTest::newRow("inside another") << u"A002"_s << Day << u"09:15"_s << u"09:45"_s << u""_s << S << u"2"_s << Overlap;
    QTest::newRow("around another") << u"A002"_s << Day << u"12:00"_s << u"17:00"_s << u""_s << S << u"2"_s << Overlap;
    QTest::newRow("ends a minute before another") << u"A002"_s << Day << u"08:00"_s << u"08:59"_s << u""_s << S << u"2"_s << u""_s;
    QTest::newRow("same times on another day") << u"A002"_s << u"2024/05/07"_s << u"09:00"_s << u"10:00"_s << u""_s << S << u"2"_s << u""_s;
    QTest::newRow("bracket in the title") << u"A002"_s << Day << u"10:10"_s << u"11:00"_s << u""_s << u"職業安全(一)"_s << u"2"_s << Bracket;
    QTest::newRow("full-width bracket is allowed") << u"A002"_s << Day << u"10:10"_s << u"11:00"_s << u""_s << u"職業安全（一）"_s << u"2"_s << u""_s;
    // Two faults: the earlier check speaks.
    QTest::newRow("time before date") << u"A002"_s << u"2024/5/6"_s << u"25:00"_s << u"11:00"_s << u""_s << S << u"2"_s << TimeFormat;
    QTest::newRow("date before number") << u""_s << u"2024/5/6"_s << u"10:10"_s << u"11:00"_s << u""_s << S << u"2"_s << BadDate;
    QTest::newRow("number before overlap") << u""_s << Day << u"10:00"_s << u"11:00"_s << u""_s << S << u"2"_s << NoNumber;
    QTest::newRow("overlap before bracket") << u"A002"_s << Day << u"10:00"_s << u"11:00"_s << u""_s << u"安全(一)"_s << u"2"_s << Overlap;
}

void TestLessonRules::checksInOrder()
{
    QFETCH(QString, cno4);
    QFETCH(QString, date);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, breakOrRollCall);
    QFETCH(QString, subject);
    QFETCH(QString, hours);
    QFETCH(QString, refusal);

    LessonRecord lesson = Lesson(cno4, date, start, end, subject);
    lesson.noonRS = breakOrRollCall;
    lesson.Hours = hours;
    LessonRules rules(m_station->dm(), ClassKey, 11);
    QCOMPARE(rules.FirstRefusal(lesson, {}), refusal);

    // The same for every break and roll-call field.
    if (!breakOrRollCall.isEmpty()) {
        for (QString LessonRecord::*field : {&LessonRecord::noonRE, &LessonRecord::nightRS,
                                             &LessonRecord::nightRE, &LessonRecord::R1,
                                             &LessonRecord::R2, &LessonRecord::R3}) {
            LessonRecord other = Lesson(cno4, date, start, end, subject);
            other.Hours = hours;
            other.*field = breakOrRollCall;
            QCOMPARE(rules.FirstRefusal(other, {}), refusal);
        }
    }
}

void TestLessonRules::signEventsFreezeDateStartAndNumber_data()
{
    QTest::addColumn<bool>("signedLesson");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("date") << true << u"date"_s << Signed;
    QTest::newRow("start time") << true << u"start"_s << Signed;
    QTest::newRow("number") << true << u"number"_s << Signed;
    QTest::newRow("title, hours and teacher") << true << u"title"_s << u""_s;
    QTest::newRow("nothing: never collides with itself") << true << u""_s << u""_s;
    QTest::newRow("date of a lesson without events") << false << u"date"_s << u""_s;
    QTest::newRow("number of a lesson without events") << false << u"number"_s << u""_s;
}

void TestLessonRules::signEventsFreezeDateStartAndNumber()
{
    QFETCH(bool, signedLesson);
    QFETCH(QString, change);
    QFETCH(QString, refusal);

    LessonRules rules(m_station->dm(), ClassKey, 11);
    const int rid = signedLesson ? m_signedRid : m_unsignedRid;
    LessonRecord lesson = *rules.LoadLesson(rid);
    const RememberedLesson remembered{lesson.DateStart, lesson.TimeStart, lesson.CNo4};
    if (change == u"date")
        lesson.DateStart = u"2024/05/07"_s;
    else if (change == u"start")
        lesson.TimeStart = QString(lesson.TimeStart).replace(3, 2, u"05"_s);
    else if (change == u"number")
        lesson.CNo4 = u"A009"_s;
    else if (change == u"title") {
        lesson.Subject = u"職業安全衛生概論（複訓）"_s;
        lesson.Hours = u"3"_s;
        lesson.teacher = u"林美惠"_s;
    }
    QCOMPARE(rules.FirstRefusal(lesson, remembered), refusal);
}

void TestLessonRules::refusedLessonShowsItsMessageAndWritesNothing()
{
    LessonRules rules(m_station->dm(), ClassKey, 11);
    const int lessons = Count(u"select count(*) from Course"_s);

    LessonRecord badDate = Lesson(u"A002"_s, u"2024/13/40"_s, u"10:10"_s, u"11:00"_s);
    badDate.teacher = u"陳大文"_s;
    badDate.teacherID = u"B123456789"_s;
    QCOMPARE(rules.StoreLesson(badDate, {}), 0);
    QCOMPARE(m_prompter->messages, QStringList{BadDate});

    // An existing lesson whose end time is changed to a time that does not exist.
    LessonRecord badTime = *rules.LoadLesson(m_unsignedRid);
    badTime.TimeEnd = u"25:61"_s;
    QCOMPARE(rules.StoreLesson(badTime, {badTime.DateStart, badTime.TimeStart, badTime.CNo4}), 0);
    QCOMPARE(m_prompter->messages, (QStringList{BadDate, TimeFormat}));

    QCOMPARE(Count(u"select count(*) from Course"_s), lessons);
    QCOMPARE(rules.LoadLesson(m_unsignedRid)->TimeEnd, u"16:30"_s);
    QCOMPARE(Count(u"select count(*) from Booking"_s), 0);
}

void TestLessonRules::storedLessonKeepsTextsWithApostrophes()
{
    LessonRules rules(m_station->dm(), u" "_s + ClassKey + u" "_s, 11);
    LessonRecord lesson = Lesson(u"A002"_s, u"2024/05/07"_s, u"09:00"_s, u"12:00"_s,
                                 u"O'Brien's 安全講座"_s);
    lesson.INDEX_KEY = u"somewhere else"_s;
    lesson.CNo2 = u"必修"_s;
    lesson.teacher = u"O'Neil"_s;
    lesson.teacherID = u"C123456789"_s;
    lesson.noonRS = u" 12:00"_s;
    lesson.R1 = u"08:50 "_s;
    lesson.CourseContent = u"學員請攜帶 'Safety' 手冊"_s;
    const int rid = rules.StoreLesson(lesson, {});
    QVERIFY(rid > 0);
    QVERIFY2(m_prompter->all().isEmpty(), qPrintable(m_prompter->all().join(u'\n')));

    const LessonRecord stored = *rules.LoadLesson(rid);
    QCOMPARE(stored.INDEX_KEY, ClassKey); // the window's class key, whatever the row said
    QCOMPARE(stored.Subject, lesson.Subject);
    QCOMPARE(stored.teacher, lesson.teacher);
    QCOMPARE(stored.CourseContent, lesson.CourseContent);
    QCOMPARE(stored.noonRS, u"12:00"_s);
    QCOMPARE(stored.R1, u"08:50"_s);
    QCOMPARE(stored.Hours, u"1"_s);
    // Blank fields are stored as NULL.
    QCOMPARE(Count(u"select count(*) from Course where RID = ? and noonRE is null and R3 is null"_s, {rid}), 1);
    QCOMPARE(QueryValue(u"select NAME from Booking where ID = ?"_s, {lesson.teacherID}).toString(),
             u"O'Neil"_s);

    // Editing it keeps one row and changes the text.
    LessonRecord edited = stored;
    edited.Subject = u"D'Arcy 急救"_s;
    QCOMPARE(rules.StoreLesson(edited, {stored.DateStart, stored.TimeStart, stored.CNo4}), rid);
    QCOMPARE(rules.LoadLesson(rid)->Subject, u"D'Arcy 急救"_s);
}

void TestLessonRules::teacherIsEnrolledOnce_data()
{
    QTest::addColumn<QString>("teacher");
    QTest::addColumn<QString>("teacherID");
    QTest::addColumn<int>("enrolled");

    QTest::newRow("ten characters") << u"王大明"_s << u"A123456789"_s << 1;
    QTest::newRow("ten after trimming") << u"王大明"_s << u" A123456789 "_s << 1;
    QTest::newRow("nine characters") << u"王大明"_s << u"A12345678"_s << 0;
    QTest::newRow("eleven characters") << u"王大明"_s << u"A1234567890"_s << 0;
    QTest::newRow("no name") << u"  "_s << u"A123456789"_s << 0;
}

void TestLessonRules::teacherIsEnrolledOnce()
{
    QFETCH(QString, teacher);
    QFETCH(QString, teacherID);
    QFETCH(int, enrolled);

    LessonRules rules(m_station->dm(), ClassKey, 11);
    LessonRecord lesson = Lesson(u"A002"_s, u"2024/05/07"_s, u"09:00"_s, u"12:00"_s);
    lesson.teacher = teacher;
    lesson.teacherID = teacherID;
    const int rid = rules.StoreLesson(lesson, {});
    QVERIFY(rid > 0);
    // Stored again and as a second lesson: still one enrolment.
    lesson.RID = rid;
    QCOMPARE(rules.StoreLesson(lesson, {lesson.DateStart, lesson.TimeStart, lesson.CNo4}), rid);
    LessonRecord second = Lesson(u"A004"_s, u"2024/05/08"_s, u"09:00"_s, u"12:00"_s);
    second.teacher = teacher;
    second.teacherID = teacherID;
    QVERIFY(rules.StoreLesson(second, {}) > 0);

    QCOMPARE(Count(u"select count(*) from Booking"_s), enrolled);
    if (enrolled) {
        QCOMPARE(Count(u"select count(*) from Booking where INDEX_KEY = ? and ID = ? and NAME = ?"
                       " and CR_TYPE = ? and JOBTYPE = ? and CR_DATE is null"_s,
                       {ClassKey, u"A123456789"_s, teacher, u"課程"_s, u"講師"_s}),
                 1);
    }
}

void TestLessonRules::teacherIdIsLookedUpInTheClass()
{
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME) values (?, ?, ?)"_s,
            {ClassKey, u"D123456789"_s, u"黃志強"_s});
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME) values (?, ?, ?)"_s,
            {u"1130999999900"_s, u"E123456789"_s, u"李淑芬"_s});
    LessonRules rules(m_station->dm(), ClassKey, 11);
    QCOMPARE(rules.TeacherIdOfName(u"黃志強"_s), u"D123456789"_s);
    QCOMPARE(rules.TeacherIdOfName(u"李淑芬"_s), QString());
    QCOMPARE(rules.TeacherIdOfName(u"無此人"_s), QString());
}

void TestLessonRules::deleteAsksWithTheTitle()
{
    LessonRules rules(m_station->dm(), ClassKey, 11);
    m_prompter->queueButton(Prompter::Button::No);
    QVERIFY_THROWS_EXCEPTION(SilentAbort, rules.DeleteLesson(m_unsignedRid, u"職業安全衛生概論"_s));
    QCOMPARE(m_prompter->asked, QStringList{u"刪除這筆 課程名稱: 職業安全衛生概論 的資料? ??"_s});
    QCOMPARE(m_prompter->askedButtons.first().first().caption, u"刪除"_s);
    QVERIFY(rules.LoadLesson(m_unsignedRid).has_value());

    m_prompter->queueButton(Prompter::Button::Yes);
    rules.DeleteLesson(m_unsignedRid, u"職業安全衛生概論"_s);
    QVERIFY(!rules.LoadLesson(m_unsignedRid).has_value());
    QVERIFY(rules.LoadLesson(m_signedRid).has_value());
}

void TestLessonRules::dateBetOnClosing_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QStringList>("lessonDates");
    QTest::addColumn<QString>("dateBet");

    QTest::newRow("one day with a lesson") << u"2024/06/03"_s << u"2024/06/03"_s
                                           << QStringList{u"2024/06/03"_s} << u"1"_s;
    QTest::newRow("two days, lessons on the second") << u"2024/06/03"_s << u"2024/06/04"_s
                                                     << QStringList{u"2024/06/04"_s, u"2024/06/04"_s} << u"01"_s;
    QTest::newRow("three days, lessons on days 1 and 2") << u"2024/06/03"_s << u"2024/06/05"_s
        << QStringList{u"2024/06/03"_s, u"2024/06/03"_s, u"2024/06/04"_s} << u"110"_s;
    QTest::newRow("three days, lessons on day 3") << u"2024/06/03"_s << u"2024/06/05"_s
                                                  << QStringList{u"2024/06/05"_s} << u"001"_s;
    QTest::newRow("three days, no lessons") << u"2024/06/03"_s << u"2024/06/05"_s
                                            << QStringList{} << u"000"_s;
    QTest::newRow("lessons outside the period mark nothing") << u"2024/06/03"_s << u"2024/06/05"_s
        << QStringList{u"2024/06/02"_s, u"2024/06/04"_s, u"2024/06/06"_s} << u"010"_s;
    QTest::newRow("a month's turn") << u"2024/02/28"_s << u"2024/03/02"_s
                                    << QStringList{u"2024/02/29"_s, u"2024/03/02"_s} << u"0101"_s;
}

void TestLessonRules::dateBetOnClosing()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QStringList, lessonDates);
    QFETCH(QString, dateBet);

    const QString key = u"O'KEY000001"_s + u"03"_s;
    ExecSql(u"insert into Courses (CourseId, Echelon, DateStart, DateEnd, DateBet) values (?, ?, ?, ?, ?)"_s,
            {u"O'KEY000001"_s, u"03"_s, first, last, u"1111111"_s});
    int minute = 0;
    for (const QString &date : lessonDates) {
        const QString start = u"09:%1"_s.arg(minute, 2, 10, QLatin1Char('0'));
        ++minute;
        ExecSql(u"insert into Course (INDEX_KEY, CNo4, DateStart, TimeStart, TimeEnd) values (?, ?, ?, ?, ?)"_s,
                {key, u"A001"_s, date, start, start});
    }
    LessonRules rules(m_station->dm(), key, 11);
    QCOMPARE(rules.ComputeDateBet(), dateBet);
    rules.WriteDateBet();
    QCOMPARE(QueryValue(u"select DateBet from Courses where CourseId = ?"_s, {u"O'KEY000001"_s}).toString(),
             dateBet);
    // The other class is left alone.
    QCOMPARE(QueryValue(u"select DateBet from Courses where CourseId = ?"_s, {u"11301234567"_s}).toString(),
             QString());
}

void TestLessonRules::dateBetIsCutAt255Days()
{
    const QDate first(2024, 1, 1);
    const QString flags = LessonRules::DateBetText(first, first.addDays(299),
                                                   {first, first.addDays(254), first.addDays(255)});
    QCOMPARE(flags.size(), 255);
    QCOMPARE(flags.front(), u'1');
    QCOMPARE(flags.back(), u'1');
    QCOMPARE(flags.count(u'1'), 2);
    // A last day before the first gives no days at all.
    QCOMPARE(LessonRules::DateBetText(first, first.addDays(-1), {first}), QString());
}

void TestLessonRules::subjectListFollowsTheTrainingUnit()
{
    QList<SubjectCode> subjects = LessonRules::SubjectList(m_station->dm().Con1());
    QVERIFY(subjects.size() >= 12);
    QCOMPARE(subjects.first().code, u"A001"_s);
    QCOMPARE(subjects.first().description, u"職業安全衛生概論"_s);

    WriteIniSetting(IniSection::Base, IniKey::TrainingUnitCode, u"Y007"_s);
    ExecSql(u"insert into SYS_CODE (CODE_TYPE, CODE_SEQ, CODE_DESC) values (?, ?, ?)"_s,
            {u"課程科目Y"_s, u"B001"_s, u"堆高機操作"_s});
    subjects = LessonRules::SubjectList(m_station->dm().Con1());
    QCOMPARE(subjects.size(), 1);
    QCOMPARE(subjects.first().description, u"堆高機操作"_s);
}

QTEST_GUILESS_MAIN(TestLessonRules)
#include "tst_lessonrules.moc"
