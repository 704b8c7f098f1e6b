// The class records behind the class window: when the station may start on a class, the
// period-date buttons, the checks before a class is stored and the steps after, the search,
// deletion and the numbering of the unit's own classes.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/ClassRecords.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/Schema.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QSqlQuery>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

int AddClass(const QString &courseId, const QString &echelon, const QString &name,
             const QString &first, const QString &last, const QString &dateBet = QString())
{
    ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, DateBet, "
            "TimeStart, TimeEnd, SignType, Signer) values (?, ?, ?, ?, ?, ?, '09:00', '16:00', "
            "'111100', '外部')"_s,
            { courseId, echelon, name, first, last, dateBet });
    return QueryValue(u"select max(RID) from Courses"_s).toInt();
}

void AddLesson(const QString &classKey, const QString &date, const QString &start = u"09:00"_s)
{
    ExecSql(u"insert into Course (INDEX_KEY, Subject, CNo4, DateStart, TimeStart, TimeEnd, Hours) "
            "values (?, '職業安全', 'A001', ?, ?, '12:00', 3)"_s,
            { classKey, date, start });
}

int CountOf(const QString &sql, const QVariantList &params = {})
{
    return QueryValue(sql, params).toInt();
}

} // namespace

class TestClassRecords : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startDecision_data();
    void startDecision();

    void periodButtons_data();
    void periodButtons();
    void periodButtonVisibility_data();
    void periodButtonVisibility();

    void refusalsBeforeStoring_data();
    void refusalsBeforeStoring();
    void storingNormalisesTheRow();
    void storingNamesWithApostrophes();
    void teacherIsEnrolledOnceWithATenCharacterId();

    void search_data();
    void search();

    void deleteLeavesLessonsEnrolmentAndEvents();
    void declinedDeleteKeepsTheClass();

    void classNumberLockedByLessonsOrEvents();

    void newClassesAreNumberedInTurn();
    void classNumberPatterns_data();
    void classNumberPatterns();
    void patternWithoutRoomForASerialIsRefused();

private:
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<ClassRecords> m_records;
};

void TestClassRecords::init()
{
    m_db = std::make_unique<TestDatabase>();
    QSqlQuery query(m_db->dm().Con1());
    for (const QString &statement : SchemaStatementsFor(m_db->dm().Con1()))
        QVERIFY2(query.exec(statement), qPrintable(statement));
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2024, 5, 6), QTime(8, 30)));
    SetCurrentClock(m_clock.get());
    m_records = std::make_unique<ClassRecords>(m_db->dm(), 11);
    G().OrganisationName = u"北區職訓中心"_s;
}

void TestClassRecords::cleanup()
{
    m_records.reset();
    SetCurrentClock(nullptr);
    m_clock.reset();
    m_prompter.reset();
    m_db.reset();
}

// ---- Starting the station ---------------------------------------------------------------------

void TestClassRecords::startDecision_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("dateBet");
    QTest::addColumn<QStringList>("lessonDays");
    QTest::addColumn<QString>("courseId");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("refusal"); // empty: the station starts

    const QString a = u"2024/05/06"_s;
    const QString e = u"2024/05/10"_s;
    const QStringList ends { a, e };
    QTest::newRow("five days, first day") << a << e << u"10101"_s << ends << u"11305000001"_s << QDate(2024, 5, 6) << QString();
    QTest::newRow("five days, middle day marked") << a << e << u"10101"_s << ends << u"11305000001"_s << QDate(2024, 5, 8) << QString();
    QTest::newRow("five days, middle day unmarked") << a << e << u"10101"_s << ends << u"11305000001"_s << QDate(2024, 5, 7) << u"請點選期間日期查看"_s;
    QTest::newRow("five days, no flags at all") << a << e << QString() << ends << u"11305000001"_s << QDate(2024, 5, 8) << u"請點選期間日期查看"_s;
    QTest::newRow("five days, last day") << a << e << u"10100"_s << ends << u"11305000001"_s << QDate(2024, 5, 10) << QString();
    QTest::newRow("five days, day after the last") << a << e << u"11111"_s << ends << u"11305000001"_s << QDate(2024, 5, 11) << u"今天並不屬設定日期"_s;
    QTest::newRow("five days, day before the first") << a << e << u"11111"_s << ends << u"11305000001"_s << QDate(2024, 5, 5) << u"今天並不屬設定日期"_s;
    QTest::newRow("no lesson on the first day") << a << e << u"11111"_s << QStringList { e } << u"11305000001"_s << QDate(2024, 5, 6) << u"起始日期未設定課程"_s;
    QTest::newRow("no lesson on the last day") << a << e << u"11111"_s << QStringList { a } << u"11305000001"_s << QDate(2024, 5, 6) << u"結束日期未設定課程"_s;
    QTest::newRow("one-day class needs no lessons") << a << a << QString() << QStringList() << u"11305000001"_s << QDate(2024, 5, 6) << QString();
    QTest::newRow("one-day class, another day") << a << a << QString() << QStringList() << u"11305000001"_s << QDate(2024, 5, 7) << u"今天並不屬設定日期"_s;
    QTest::newRow("two-day class, second day") << a << u"2024/05/07"_s << u"00"_s << QStringList { a, u"2024/05/07"_s } << u"11305000001"_s << QDate(2024, 5, 7) << QString();
    QTest::newRow("no class number") << a << a << QString() << QStringList() << QString() << QDate(2024, 5, 6) << u"尚未選定課程"_s;
}

void TestClassRecords::startDecision()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, dateBet);
    QFETCH(QStringList, lessonDays);
    QFETCH(QString, courseId);
    QFETCH(QDate, today);
    QFETCH(QString, refusal);

    const int rid = AddClass(courseId, u"00"_s, u"職業安全衛生教育訓練"_s, first, last, dateBet);
    for (const QString &day : lessonDays)
        AddLesson(courseId + u"00"_s, day);
    // Lessons of another echelon of the same number do not count.
    AddLesson(courseId + u"01"_s, first);

    const auto record = m_records->LoadClass(rid);
    QVERIFY(record);
    const StartDecision decision = m_records->DecideStart(*record, today);
    QCOMPARE(decision.message, refusal);
    QCOMPARE(decision.mayStart, refusal.isEmpty());
    QCOMPARE(decision.classKey, refusal.isEmpty() ? courseId + u"00"_s : QString());
}

// ---- Period-date panel -------------------------------------------------------------------------

void TestClassRecords::periodButtons_data()
{
    QTest::addColumn<QString>("storedFlags");
    QTest::addColumn<QStringList>("presses");
    QTest::addColumn<QString>("dateBet");
    QTest::addColumn<QString>("label");

    QTest::newRow("1.3.5") << QString() << QStringList { u"135"_s } << u"1010100"_s << u"前後共3天"_s;
    QTest::newRow("1.3.5 then 2") << QString() << QStringList { u"135"_s, u"2"_s } << u"1110100"_s << u"前後共4天"_s;
    QTest::newRow("2.4 replaces what was ticked") << u"1111111"_s << QStringList { u"24"_s } << u"0101000"_s << u"前後共2天"_s;
    QTest::newRow("workdays") << u"0000011"_s << QStringList { u"work"_s } << u"1111100"_s << u"前後共5天"_s;
    QTest::newRow("a weekday adds to the stored days") << u"0000011"_s << QStringList { u"1"_s, u"5"_s } << u"1000111"_s << u"前後共4天"_s;
    QTest::newRow("all, then none") << QString() << QStringList { u"all"_s, u"none"_s } << u"0000000"_s << u"前後共0天"_s;
    QTest::newRow("all") << u"01"_s << QStringList { u"all"_s } << u"1111111"_s << u"前後共7天"_s;
    QTest::newRow("nothing pressed shows the stored flags") << u"0110"_s << QStringList() << u"0110000"_s << u"前後共2天"_s;
}

void TestClassRecords::periodButtons()
{
    QFETCH(QString, storedFlags);
    QFETCH(QStringList, presses);
    QFETCH(QString, dateBet);
    QFETCH(QString, label);

    // A class the unit adds on Monday 2024/05/06 and extends to the Sunday.
    ClassRecord record = m_records->NewClass(m_clock->today());
    QCOMPARE(record.DateStart, u"2024/05/06"_s);
    record.DateEnd = u"2024/05/12"_s;

    QList<PeriodDay> days = ClassRecords::PeriodDays(record.DateStart, record.DateEnd, storedFlags);
    QCOMPARE(days.size(), 7);
    QCOMPARE(days.first().caption, u"2024/05/06(一)"_s);
    QCOMPARE(days.last().caption, u"2024/05/12(日)"_s);
    for (const QString &press : presses) {
        if (press == u"135"_s)
            ClassRecords::ApplyPeriodButton(days, PeriodButton::MonWedFri);
        else if (press == u"24"_s)
            ClassRecords::ApplyPeriodButton(days, PeriodButton::TueThu);
        else if (press == u"work"_s)
            ClassRecords::ApplyPeriodButton(days, PeriodButton::Workdays);
        else if (press == u"all"_s)
            ClassRecords::ApplyPeriodButton(days, PeriodButton::SelectAll);
        else if (press == u"none"_s)
            ClassRecords::ApplyPeriodButton(days, PeriodButton::ClearAll);
        else
            ClassRecords::ApplyPeriodButton(days, PeriodButton::AddWeekday, press.toInt());
    }
    QCOMPARE(ClassRecords::PeriodDateBet(days), dateBet);
    QCOMPARE(ClassRecords::PeriodCountLabel(days), label);
}

void TestClassRecords::periodButtonVisibility_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<int>("editionLevel");
    QTest::addColumn<bool>("visible");

    QTest::newRow("one day") << u"2024/05/06"_s << u"2024/05/06"_s << 2 << false;
    QTest::newRow("two days") << u"2024/05/06"_s << u"2024/05/07"_s << 2 << false;
    QTest::newRow("three days") << u"2024/05/06"_s << u"2024/05/08"_s << 2 << true;
    QTest::newRow("252 days") << u"2024/01/01"_s << u"2024/09/08"_s << 2 << true;
    QTest::newRow("253 days") << u"2024/01/01"_s << u"2024/09/09"_s << 2 << false;
    QTest::newRow("before the station started") << u"2024/05/06"_s << u"2024/05/08"_s << 0 << false;
    QTest::newRow("unreadable last day") << u"2024/05/06"_s << u"2024/5/8"_s << 2 << false;
}

void TestClassRecords::periodButtonVisibility()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(int, editionLevel);
    QFETCH(bool, visible);
    QCOMPARE(ClassRecords::PeriodButtonVisible(first, last, editionLevel), visible);
}

// ---- Storing -----------------------------------------------------------------------------------

void TestClassRecords::refusalsBeforeStoring_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");

    QTest::newRow("number and echelon of another class") << u"CourseId"_s << u"11305000002"_s << u"課程編號重覆"_s;
    QTest::newRow("echelon 0 is the other class's 00") << u"Echelon+CourseId"_s << u"0"_s << u"課程編號重覆"_s;
    QTest::newRow("blank number") << u"CourseId"_s << u"  "_s << u"請輸入講習編號"_s;
    QTest::newRow("blank name") << u"Course"_s << u" "_s << u"請輸入講習名稱"_s;
    QTest::newRow("date without leading zeros") << u"DateStart"_s << u"2024/5/6"_s << u"請輸入正確日期"_s;
    QTest::newRow("a day that does not exist") << u"DateEnd"_s << u"2024/02/30"_s << u"請輸入正確日期"_s;
    QTest::newRow("last day before the first") << u"DateEnd"_s << u"2024/05/01"_s << u"結束日期不得早於起始日期"_s;
    QTest::newRow("start time without leading zero") << u"TimeStart"_s << u"9:30"_s << u"時間格式有誤"_s;
    QTest::newRow("end time out of range") << u"TimeEnd"_s << u"25:00"_s << u"時間格式有誤"_s;
}

void TestClassRecords::refusalsBeforeStoring()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, message);

    const int rid = AddClass(u"11305000001"_s, u"00"_s, u"堆高機操作人員訓練"_s, u"2024/05/06"_s, u"2024/05/08"_s);
    AddClass(u"11305000002"_s, u"00"_s, u"急救人員訓練"_s, u"2024/05/06"_s, u"2024/05/06"_s);
    ClassRecord record = *m_records->LoadClass(rid);
    if (field == u"CourseId"_s)
        record.CourseId = value;
    else if (field == u"Echelon+CourseId"_s) {
        record.CourseId = u"11305000002"_s;
        record.Echelon = value;
    } else if (field == u"Course"_s)
        record.Course = value;
    else if (field == u"DateStart"_s)
        record.DateStart = value;
    else if (field == u"DateEnd"_s)
        record.DateEnd = value;
    else if (field == u"TimeStart"_s)
        record.TimeStart = value;
    else if (field == u"TimeEnd"_s)
        record.TimeEnd = value;
    record.Place = u"第一教室"_s;

    QCOMPARE(m_records->StoreClass(record), 0);
    QCOMPARE(m_prompter->messages, QStringList { message });
    // Nothing was written.
    QCOMPARE(QueryValue(u"select Place from Courses where RID = ?"_s, { rid }).toString(), QString());
    QCOMPARE(CountOf(u"select count(*) from Courses where CourseId = '11305000001'"_s), 1);
}

void TestClassRecords::storingNormalisesTheRow()
{
    // A three-day class whose period flags are then cut to two days loses them; its empty
    // last day becomes the first day; the echelon gets two digits; the flags become false.
    const int rid = AddClass(u"11305000001"_s, u"0"_s, u"堆高機操作人員訓練"_s, u"2024/05/06"_s, u"2024/05/08"_s, u"101"_s);
    ExecSql(u"update Courses set Bookin = NULL, Score = NULL where RID = ?"_s, { rid });
    ClassRecord record = *m_records->LoadClass(rid);
    QVERIFY(!record.Bookin);
    record.DateEnd = u"2024/05/07"_s;
    QCOMPARE(m_records->StoreClass(record), rid);
    QVERIFY2(m_prompter->all().isEmpty(), qPrintable(m_prompter->all().join(u'\n')));
    ClassRecord stored = *m_records->LoadClass(rid);
    QCOMPARE(stored.DateBet, QString());
    QCOMPARE(stored.Echelon, u"00"_s);
    QCOMPARE(stored.Bookin, std::optional<bool>(false));
    QCOMPARE(stored.Score, std::optional<bool>(false));
    QCOMPARE(G().CurrentClassKey, u"1130500000100"_s);

    stored.DateEnd.clear();
    stored.DateBet = u"1"_s;
    QCOMPARE(m_records->StoreClass(stored), rid);
    stored = *m_records->LoadClass(rid);
    QCOMPARE(stored.DateEnd, u"2024/05/06"_s);
    QCOMPARE(stored.DateBet, QString());

    // A longer class keeps its flags; storing it again under its own number is no duplicate.
    stored.DateEnd = u"2024/05/10"_s;
    stored.DateBet = u"10101"_s;
    QCOMPARE(m_records->StoreClass(stored), rid);
    QCOMPARE(m_records->LoadClass(rid)->DateBet, u"10101"_s);
}

void TestClassRecords::storingNamesWithApostrophes()
{
    const int rid = AddClass(u"11305000001"_s, u"00"_s, u"O'Neil 's 安全講習"_s, u"2024/05/06"_s, u"2024/05/06"_s);
    ClassRecord record = *m_records->LoadClass(rid);
    QCOMPARE(record.Course, u"O'Neil 's 安全講習"_s);
    record.Place = u"King's 會議室'; drop table Courses; --"_s;
    record.Charge = u"勞工局'訓練科"_s;
    record.Teacher = u"D'Arcy 王"_s;
    record.TeacherId = u"A123456789"_s;
    record.TotHours = u"6"_s;
    record.SignType = u"110000"_s;
    record.Signer = u"外部"_s;
    record.Bookin = true;
    QCOMPARE(m_records->StoreClass(record), rid);

    const ClassRecord stored = *m_records->LoadClass(rid);
    QCOMPARE(stored.Place, record.Place);
    QCOMPARE(stored.Charge, record.Charge);
    QCOMPARE(stored.Teacher, record.Teacher);
    QVERIFY(TableExists(u"Courses"_s));
    QCOMPARE(QueryValue(u"select NAME from Booking where Index_key = '1130500000100' and ID = 'A123456789'"_s).toString(),
             record.Teacher);
    QCOMPARE(QueryValue(u"select JOBTYPE from Booking where ID = 'A123456789'"_s).toString(), u"講師"_s);

    // The values are remembered for the next class.
    auto remembered = [](const QString &key) {
        return ReadIniSetting(IniSection::CourseDefaults, key, QString(), QString());
    };
    QCOMPARE(remembered(IniKey::Place), record.Place);
    QCOMPARE(remembered(IniKey::Organiser), record.Charge);
    QCOMPARE(remembered(IniKey::TrainingTotal), u"6"_s);
    QCOMPARE(remembered(IniKey::CardKind), u"110000"_s);
    QCOMPARE(remembered(IniKey::StartTime), u"09:00"_s);
    QCOMPARE(remembered(IniKey::EndTime), u"16:00"_s);
    QCOMPARE(remembered(IniKey::Audience), u"外部"_s);
    QCOMPARE(remembered(IniKey::NeedsEnrolment), u"-1"_s);
}

void TestClassRecords::teacherIsEnrolledOnceWithATenCharacterId()
{
    const QString key = u"1130500000100"_s;
    QVERIFY(!m_records->EnrolTeacher(key, u"A12345678"_s, u"林老師"_s));
    QVERIFY(!m_records->EnrolTeacher(key, u"A1234567890"_s, u"林老師"_s));
    QVERIFY(!m_records->EnrolTeacher(key, u"A123456789"_s, u"  "_s));
    QCOMPARE(CountOf(u"select count(*) from Booking"_s), 0);

    const int rid = AddClass(u"11305000001"_s, u"00"_s, u"急救人員訓練"_s, u"2024/05/06"_s, u"2024/05/06"_s);
    ClassRecord record = *m_records->LoadClass(rid);
    record.Teacher = u"林老師"_s;
    record.TeacherId = u" A123456789 "_s;
    QVERIFY(m_records->StoreClass(record) > 0);
    QVERIFY(m_records->StoreClass(*m_records->LoadClass(rid)) > 0);
    QCOMPARE(CountOf(u"select count(*) from Booking where ID = 'A123456789' and Index_key = ?"_s, { key }), 1);
    QCOMPARE(QueryValue(u"select CR_TYPE from Booking"_s).toString(), u"課程"_s);
}

// ---- Searching ---------------------------------------------------------------------------------

void TestClassRecords::search_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("courseId");
    QTest::addColumn<QString>("course");
    QTest::addColumn<QString>("teacher");
    QTest::addColumn<QStringList>("found"); // CourseId + Echelon in list order

    const QStringList all { u"11306000004-00"_s, u"11305000002-01"_s, u"11305000002-00"_s,
                            u"11305000001-00"_s, u"11212000003-00"_s };
    QTest::newRow("no condition: every class, newest first") << QString() << QString() << QString() << QString() << all;
    QTest::newRow("classes running on a day")
        << u"2024/05/06"_s << QString() << QString() << QString()
        << QStringList { u"11305000002-01"_s, u"11305000002-00"_s, u"11305000001-00"_s };
    QTest::newRow("running on the last day of one")
        << u"2024/05/08"_s << QString() << QString() << QString()
        << QStringList { u"11305000001-00"_s };
    QTest::newRow("classes touching a year")
        << u"2023"_s << QString() << QString() << QString() << QStringList { u"11212000003-00"_s };
    QTest::newRow("the year 2024 includes a class from December before")
        << u"2024"_s << QString() << QString() << QString()
        << QStringList { u"11306000004-00"_s, u"11305000002-01"_s, u"11305000002-00"_s, u"11305000001-00"_s, u"11212000003-00"_s };
    QTest::newRow("number prefix") << QString() << u"113050000"_s << QString() << QString()
                                   << QStringList { u"11305000002-01"_s, u"11305000002-00"_s, u"11305000001-00"_s };
    QTest::newRow("name prefix with an apostrophe") << QString() << QString() << u"O'Neil"_s << QString()
                                                     << QStringList { u"11306000004-00"_s };
    QTest::newRow("two conditions")
        << u"2024/05/06"_s << QString() << u"急救"_s << QString()
        << QStringList { u"11305000002-01"_s, u"11305000002-00"_s };
    QTest::newRow("teacher") << QString() << QString() << QString() << u"陳"_s
                             << QStringList { u"11305000001-00"_s };
    QTest::newRow("nothing found") << u"2030/01/01"_s << QString() << QString() << QString() << QStringList();
}

void TestClassRecords::search()
{
    QFETCH(QString, date);
    QFETCH(QString, courseId);
    QFETCH(QString, course);
    QFETCH(QString, teacher);
    QFETCH(QStringList, found);

    AddClass(u"11305000001"_s, u"00"_s, u"堆高機操作人員訓練"_s, u"2024/05/05"_s, u"2024/05/08"_s);
    AddClass(u"11305000002"_s, u"00"_s, u"急救人員訓練"_s, u"2024/05/06"_s, u"2024/05/06"_s);
    AddClass(u"11305000002"_s, u"01"_s, u"急救人員訓練"_s, u"2024/05/06"_s, u"2024/05/07"_s);
    AddClass(u"11212000003"_s, u"00"_s, u"跨年度職安講習"_s, u"2023/12/28"_s, u"2024/01/05"_s);
    AddClass(u"11306000004"_s, u"00"_s, u"O'Neil 's 安全講習"_s, u"2024/06/03"_s, u"2024/06/03"_s);
    ExecSql(u"update Courses set Teacher = '陳大文' where CourseId = '11305000001'"_s);

    QList<SearchInput> inputs { { u"CourseId"_s, courseId }, { u"Course"_s, course },
                                { u"Teacher"_s, teacher } };
    if (const auto range = ClassRecords::RangeForDate(date)) {
        inputs << SearchInput { u"DateStart"_s, range->start } << SearchInput { u"DateEnd"_s, range->end };
    }
    const SqlCondition statement = ClassRecords::SearchStatement(inputs);
    QVERIFY(statement.text.startsWith(u"select * from Courses "_s));
    QVERIFY(statement.text.endsWith(u" order by DateStart DESC nulls last, Echelon DESC nulls last"_s));

    QSqlQuery query(m_db->dm().Con1());
    QVERIFY(query.prepare(statement.text));
    for (const QVariant &value : statement.params)
        query.addBindValue(value);
    QVERIFY2(query.exec(), qPrintable(statement.text));
    QStringList keys;
    while (query.next())
        keys << query.value(u"CourseId"_s).toString() + u'-' + query.value(u"Echelon"_s).toString();
    QCOMPARE(keys, found);
}

// ---- Deleting ----------------------------------------------------------------------------------

void TestClassRecords::deleteLeavesLessonsEnrolmentAndEvents()
{
    const int rid = AddClass(u"11305000001"_s, u"00"_s, u"O'Neil 堆高機訓練"_s, u"2024/05/06"_s, u"2024/05/06"_s);
    const int other = AddClass(u"11305000002"_s, u"00"_s, u"急救人員訓練"_s, u"2024/05/06"_s, u"2024/05/06"_s);
    AddLesson(u"1130500000100"_s, u"2024/05/06"_s);
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME) values ('1130500000100', 'A123456789', '王小明')"_s);
    ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY) "
            "values ('01', 'A123456789', '1130506', '085500', '0', '11305000001A00109:00')"_s);

    m_prompter->queueButton(Prompter::Button::Yes);
    m_records->DeleteClass(rid, u"O'Neil 堆高機訓練"_s);
    QCOMPARE(m_prompter->asked, QStringList { u"刪除這筆 科目名稱：O'Neil 堆高機訓練 ??"_s });
    QCOMPARE(m_prompter->askedButtons.first().first().caption, u"刪除"_s);
    QVERIFY(!m_records->LoadClass(rid));
    QVERIFY(m_records->LoadClass(other));
    QCOMPARE(CountOf(u"select count(*) from Course"_s), 1);
    QCOMPARE(CountOf(u"select count(*) from Booking"_s), 1);
    QCOMPARE(CountOf(u"select count(*) from PSIO"_s), 1);
}

void TestClassRecords::declinedDeleteKeepsTheClass()
{
    const int rid = AddClass(u"11305000001"_s, u"00"_s, u"急救人員訓練"_s, u"2024/05/06"_s, u"2024/05/06"_s);
    m_prompter->queueButton(Prompter::Button::No);
    QVERIFY_THROWS_EXCEPTION(SilentAbort, m_records->DeleteClass(rid, u"急救人員訓練"_s));
    QVERIFY(m_records->LoadClass(rid));
}

// ---- Class number -------------------------------------------------------------------------------

void TestClassRecords::classNumberLockedByLessonsOrEvents()
{
    const QString key = u"1130500000100"_s;
    QVERIFY(!m_records->ClassNumberLocked(key));
    QVERIFY(!m_records->ClassNumberLocked(QString()));

    // One lesson is enough, without any sign event.
    AddLesson(key, u"2024/05/06"_s);
    QVERIFY(m_records->ClassNumberLocked(key));
    ExecSql(u"delete from Course"_s);
    QVERIFY(!m_records->ClassNumberLocked(key));

    // A sign event of one of its lessons (class number + lesson number + start time).
    ExecSql(u"insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY) values ('A123456789', '1130506', '085500', '0', '11305000001A00109:00')"_s);
    QVERIFY(m_records->ClassNumberLocked(key));
    QVERIFY(!m_records->ClassNumberLocked(u"1130500000200"_s));
    ExecSql(u"delete from PSIO"_s);

    // A sign event stored without a lesson carries the class key.
    ExecSql(u"insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY) values ('A123456789', '1130506', '085500', '0', ?)"_s, { key });
    QVERIFY(m_records->ClassNumberLocked(key));
}

void TestClassRecords::newClassesAreNumberedInTurn()
{
    // Another month's numbers and a downloaded class do not disturb the count.
    AddClass(u"INT11304007"_s, u"00"_s, u"四月內訓"_s, u"2024/04/10"_s, u"2024/04/10"_s);
    AddClass(u"11305000001"_s, u"00"_s, u"急救人員訓練"_s, u"2024/05/06"_s, u"2024/05/06"_s);

    ClassRecord first = m_records->NewClass(m_clock->today());
    QCOMPARE(first.CourseId, u"INT11305001"_s);
    QCOMPARE(first.Echelon, u"00"_s);
    QCOMPARE(first.DateStart, u"2024/05/06"_s);
    QCOMPARE(first.DateEnd, u"2024/05/06"_s);
    QCOMPARE(first.Signer, u"內部"_s);
    QCOMPARE(first.Charge, u"北區職訓中心"_s);
    // Every check applies: a new class needs its name.
    QCOMPARE(m_records->StoreClass(first), 0);
    QCOMPARE(m_prompter->messages, QStringList { u"請輸入講習名稱"_s });
    m_prompter->clear();
    first.Course = u"新進人員職業安全衛生訓練"_s;
    first.Place = u"二樓訓練教室"_s;
    const int rid = m_records->StoreClass(first);
    QVERIFY(rid > 0);
    QCOMPARE(G().CurrentClassKey, u"INT1130500100"_s);

    const ClassRecord second = m_records->NewClass(m_clock->today());
    QCOMPARE(second.CourseId, u"INT11305002"_s);
    // The next class starts from what the last one left.
    QCOMPARE(second.Place, u"二樓訓練教室"_s);

    // A new class may not take a number in use, nor one longer than the class number.
    ClassRecord clash = second;
    clash.Course = u"重覆編號"_s;
    clash.CourseId = u"INT11305001"_s;
    QCOMPARE(m_records->StoreClass(clash), 0);
    clash.CourseId = u"INT113050021"_s;
    QCOMPARE(m_records->StoreClass(clash), 0);
    QCOMPARE(m_prompter->messages, (QStringList { u"課程編號重覆"_s, u"講習編號限11位文數字"_s }));
}

void TestClassRecords::classNumberPatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("number");

    QTest::newRow("default") << QString() << 11 << u"INT11305001"_s;
    QTest::newRow("default, short numbers") << QString() << 8 << u"11305001"_s;
    QTest::newRow("default, very short numbers") << QString() << 6 << u"000001"_s;
    QTest::newRow("Gregorian year and month") << u"K-YYYYMM"_s << 11 << u"K-202405001"_s;
    QTest::newRow("ROC year, month and day") << u"yyymmdd"_s << 11 << u"11305060001"_s;
    QTest::newRow("plain prefix") << u"IN"_s << 6 << u"IN0001"_s;
}

void TestClassRecords::classNumberPatterns()
{
    QFETCH(QString, pattern);
    QFETCH(int, length);
    QFETCH(QString, number);
    WriteIniSetting(IniSection::Base, IniKey::CourseNoFormat, pattern);
    QCOMPARE(ClassRecords(m_db->dm(), length).NextClassNumber(m_clock->today()), number);
}

void TestClassRecords::patternWithoutRoomForASerialIsRefused()
{
    WriteIniSetting(IniSection::Base, IniKey::CourseNoFormat, u"ABCDEYYYYMM"_s);
    QVERIFY_THROWS_EXCEPTION(RolvanError, m_records->NextClassNumber(m_clock->today()));
}

QTEST_GUILESS_MAIN(TestClassRecords)
#include "tst_classrecords.moc"
