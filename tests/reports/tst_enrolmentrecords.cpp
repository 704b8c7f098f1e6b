// The enrolment records of a class: masked identities, the search (by the end of the identity,
// always inside the class), the calculated sign-in columns, the personnel layout, new rows,
// deleting what the last search found, and the manual sign-in with its temporary identities.

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reports/EnrolmentRecords.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// Class A's key is the start of class B's key: a prefix match on A would reach B's rows.
const QString ClassA = u"113050000010"_s;  // CourseId 1130500000, echelon 10
const QString ClassB = u"1130500000101"_s; // CourseId 11305000001, echelon 01

int AddPerson(const QString &classKey, const QString &name, const QString &id,
              const QString &idno = QString(), const QString &crDate = QString())
{
    ExecSql(u"insert into Booking (INDEX_KEY, NAME, ID, IDNO, CR_DATE, JOBTYPE) values (?, ?, ?, ?, ?, '學員')"_s,
            { classKey, name, id.isEmpty() ? QVariant() : QVariant(id),
              idno.isEmpty() ? QVariant() : QVariant(idno), crDate });
    return QueryValue(u"select max(RID) from Booking"_s).toInt();
}

void AddEvent(const QString &classKey, const QString &identity, const QString &type,
              const QString &date, const QString &time)
{
    ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, INDEX_KEY) "
            "values ('01', ?, ?, ?, ?, 'KB', 'N', ?)"_s,
            { identity, date, time, type, classKey });
}

int CountOf(const QString &sql, const QVariantList &params = {})
{
    return QueryValue(sql, params).toInt();
}

QList<SearchInput> Inputs(const QString &classKey, const QString &name, const QString &idTail)
{
    return { { u"NAME"_s, name, false },
             { u"INDEX_KEY"_s, classKey, false },
             { u"Mobile"_s, QString(), false },
             { u"ID"_s, EnrolmentRecords::IdentityTailValue(idTail), false } };
}

// The rows of a list statement: column -> values, in statement order.
QList<QSqlRecord> RowsOf(const SqlCondition &statement)
{
    QList<QSqlRecord> rows;
    QSqlQuery query = RunQuery(statement.text, WorkingConnection(), statement.params);
    while (query.next())
        rows << query.record();
    return rows;
}

QStringList NamesOf(const QList<QSqlRecord> &rows)
{
    QStringList names;
    for (const QSqlRecord &row : rows)
        names << row.value(u"NAME"_s).toString();
    names.sort();
    return names;
}

} // namespace

class TestEnrolmentRecords : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void maskedIdentity_data();
    void maskedIdentity();
    void identityColumn_data();
    void identityColumn();
    void signInColumn_data();
    void signInColumn();

    void search_data();
    void search();
    void calculatedColumns();
    void listInOrderOfEnrolment();

    void layoutOfColumns_data();
    void layoutOfColumns();

    void newRowDefaultsAndStoring();

    void deleteAllFound_data();
    void deleteAllFound();
    void deleteAllNeedsASearch();

    void newIdentityCheck_data();
    void newIdentityCheck();
    void manualSignInGoesToTheLessonInProgress_data();
    void manualSignInGoesToTheLessonInProgress();
    void manualSignInStoresOnce();
    void temporaryIdentities_data();
    void temporaryIdentities();
    void personsWithoutIdentityGetDistinctCodes();
    void temporaryIdentityGoesToTheRowAndOnePersonnelRecord();
    void signInWithoutStoredIdentityWritesNothing();

private:
    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    FixedClock m_clock { QDateTime(QDate(2024, 5, 7), QTime(8, 41, 5)) };
};

void TestEnrolmentRecords::init()
{
    SetCurrentClock(&m_clock);
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_station->dm(), work, &error), qPrintable(error));
    if (!TestBackend::UsesPostgres())
        ExecSql(u"PRAGMA synchronous = OFF"_s);
    m_prompter = std::make_unique<ScriptedPrompter>();
    ExecSql(u"insert into Courses (CourseId, Echelon, Course, SignType, Bookin) values (?, ?, ?, ?, ?)"_s,
            { u"1130500000"_s, u"10"_s, u"堆高機操作人員安全衛生教育訓練"_s, u"111100"_s, false });
    ExecSql(u"insert into Courses (CourseId, Echelon, Course, SignType, Bookin) values (?, ?, ?, ?, ?)"_s,
            { u"11305000001"_s, u"01"_s, u"急救人員安全衛生教育訓練"_s, u"001100"_s, true });
}

void TestEnrolmentRecords::cleanup()
{
    m_prompter.reset();
    m_station.reset();
    SetCurrentClock(nullptr);
}

// ---- Pure rules -------------------------------------------------------------------------------

void TestEnrolmentRecords::maskedIdentity_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("shown");
    QTest::newRow("identity number") << u"A123456789"_s << u"*****56789"_s;
    QTest::newRow("temporary code") << u"VID0000042"_s << u"*****00042"_s;
    QTest::newRow("short") << u"A1234"_s << u"*****"_s;
    QTest::newRow("none") << QString() << u"*****"_s;
}

void TestEnrolmentRecords::maskedIdentity()
{
    QFETCH(QString, id);
    QFETCH(QString, shown);
    QCOMPARE(EnrolmentRecords::MaskIdentity(id), shown);
    // The list statement masks the same way.
    const int rid = AddPerson(ClassA, u"測試"_s, id);
    EnrolmentRecords records(m_station->dm(), ClassA);
    const auto rows = RowsOf(records.ListStatement({ u" where RID = ?"_s, { rid } }, u"ID"_s, QString()));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().value(u"CalID"_s).toString(), shown);
}

void TestEnrolmentRecords::identityColumn_data()
{
    QTest::addColumn<QString>("storageKind");
    QTest::addColumn<QString>("idnoCaption");
    QTest::addColumn<QString>("column");
    QTest::newRow("identity number") << u"身分證字號"_s << u"會員編號"_s << u"ID"_s;
    QTest::newRow("personnel number") << u"會員編號"_s << u"會員編號"_s << u"IDNO"_s;
    QTest::newRow("masked identity") << u"身分證遮號"_s << u"會員編號"_s << u"ID"_s;
    QTest::newRow("unknown kind") << u"卡片序號"_s << u"會員編號"_s << u"ID"_s;
    QTest::newRow("no caption") << QString() << QString() << u"ID"_s;
}

void TestEnrolmentRecords::identityColumn()
{
    QFETCH(QString, storageKind);
    QFETCH(QString, idnoCaption);
    QFETCH(QString, column);
    QCOMPARE(EnrolmentRecords::IdentityColumnFor(storageKind, idnoCaption), column);
}

void TestEnrolmentRecords::signInColumn_data()
{
    QTest::addColumn<QString>("signType");
    QTest::addColumn<QString>("column");
    QTest::newRow("morning and afternoon") << u"111100"_s << u"CalIoTime"_s;
    QTest::newRow("evening only") << u"000011"_s << u"CalIoTime5"_s;
    QTest::newRow("afternoon and evening") << u"001111"_s << u"CalIoTime5"_s;
    QTest::newRow("afternoon only") << u"001100"_s << u"CalIoTime3"_s;
    QTest::newRow("afternoon and roll call") << u"0011001"_s << u"CalIoTime3"_s;
    QTest::newRow("none") << QString() << u"CalIoTime"_s;
}

void TestEnrolmentRecords::signInColumn()
{
    QFETCH(QString, signType);
    QFETCH(QString, column);
    QCOMPARE(EnrolmentRecords::SignInColumnFor(signType), column);
}

// ---- Searching --------------------------------------------------------------------------------

void TestEnrolmentRecords::search_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("idTail");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("whole class") << QString() << QString()
                                 << QStringList { u"O'Neil 歐尼爾"_s, u"吳淑芬"_s, u"林志豪"_s, u"陳大文"_s, u"陳美玲"_s };
    // Only identities ending in 6789: not the one with 6789 in the middle, not class B's.
    QTest::newRow("end of identity") << QString() << u"6789"_s
                                     << QStringList { u"林志豪"_s, u"陳大文"_s };
    QTest::newRow("end and name") << u"陳"_s << u"6789"_s << QStringList { u"陳大文"_s };
    QTest::newRow("name prefix") << u"陳"_s << QString() << QStringList { u"陳大文"_s, u"陳美玲"_s };
    QTest::newRow("apostrophe") << u"O'N"_s << QString() << QStringList { u"O'Neil 歐尼爾"_s };
    QTest::newRow("wildcard typed") << QString() << u"_789"_s << QStringList {};
    // A condition typed with OR stays inside the class.
    QTest::newRow("typed OR") << u"= '陳大文' OR 1=1"_s << QString()
                              << QStringList { u"O'Neil 歐尼爾"_s, u"吳淑芬"_s, u"林志豪"_s, u"陳大文"_s, u"陳美玲"_s };
}

void TestEnrolmentRecords::search()
{
    QFETCH(QString, name);
    QFETCH(QString, idTail);
    QFETCH(QStringList, found);
    AddPerson(ClassA, u"陳大文"_s, u"A123456789"_s);
    AddPerson(ClassA, u"林志豪"_s, u"B223456789"_s);
    AddPerson(ClassA, u"陳美玲"_s, u"C167890123"_s);
    AddPerson(ClassA, u"吳淑芬"_s, u"F226789000"_s);
    AddPerson(ClassA, u"O'Neil 歐尼爾"_s, u"H120000001"_s);
    AddPerson(ClassB, u"陳志明"_s, u"D123456789"_s);

    EnrolmentRecords records(m_station->dm(), ClassA);
    QVERIFY(!records.hasSearched());
    const SqlCondition statement = records.Search(Inputs(ClassA, name, idTail), u"ID"_s, QString());
    QVERIFY(records.hasSearched());
    QCOMPARE(NamesOf(RowsOf(statement)), found);
}

void TestEnrolmentRecords::calculatedColumns()
{
    EnrolmentRecords records(m_station->dm(), ClassA);
    const int chen = AddPerson(ClassA, u"陳大文"_s, u"A123456789"_s, u"E001"_s, u"2024/05/01"_s);
    const int lin = AddPerson(ClassA, u"林志豪"_s, u"B223456789"_s, u"E002"_s, u"2024/05/02"_s);
    ExecSql(u"update Booking set CR_TYPE = '臨時' where RID = ?"_s, { lin });
    AddEvent(ClassA, u"A123456789"_s, u"0"_s, u"1130506"_s, u"083012"_s);
    AddEvent(ClassA, u"A123456789"_s, u"0"_s, u"1130507"_s, u"084500"_s);
    AddEvent(ClassA, u"A123456789"_s, u"1"_s, u"1130506"_s, u"170512"_s);
    AddEvent(ClassA, u"A123456789"_s, u"4"_s, u"1130506"_s, u"183000"_s);
    AddEvent(ClassB, u"B223456789"_s, u"0"_s, u"1130506"_s, u"080000"_s); // another class
    AddEvent(ClassA, u"E002"_s, u"0"_s, u"1130507"_s, u"090100"_s);         // by personnel number
    // Signed at the station for a lesson of the class: the class number and the lesson key.
    ExecSql(u"insert into Course (INDEX_KEY, CNo4, TimeStart, DateStart) values (?, 'A001', '13:00', '2024/05/06')"_s,
            { ClassA });
    AddEvent(records.classNumber() + u"A00113:00"_s, u"A123456789"_s, u"2"_s, u"1130506"_s, u"130212"_s);

    const SqlCondition all = records.SearchCondition(Inputs(ClassA, QString(), QString()));

    auto rows = RowsOf(records.ListStatement(all, u"ID"_s, QString()));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).value(u"RID"_s).toInt(), chen); // ordered by CR_DATE
    QCOMPARE(rows.at(0).value(u"CalIoTime"_s).toString(), u"083012"_s);
    QCOMPARE(rows.at(0).value(u"CalIoTime1"_s).toString(), u"08:30"_s);
    QCOMPARE(rows.at(0).value(u"CalIoTime2"_s).toString(), u"17:05"_s);
    QCOMPARE(rows.at(0).value(u"CalIoTime3"_s).toString(), u"13:02"_s);
    QCOMPARE(rows.at(0).value(u"CalIoTime5"_s).toString(), u"18:30"_s);
    QCOMPARE(rows.at(0).value(u"CalIoType"_s).toString(), QString());
    QCOMPARE(rows.at(1).value(u"CalIoTime"_s).toString(), QString());
    QCOMPARE(rows.at(1).value(u"CalIoType"_s).toString(), u"臨時"_s);

    // The date box restricts the sign-in column to that day.
    rows = RowsOf(records.ListStatement(all, u"ID"_s, u"1130507"_s));
    QCOMPARE(rows.at(0).value(u"CalIoTime"_s).toString(), u"084500"_s);
    QCOMPARE(rows.at(0).value(u"CalIoTime1"_s).toString(), u"08:30"_s);

    // A station storing the personnel number looks the events up by IDNO.
    rows = RowsOf(records.ListStatement(all, u"IDNO"_s, QString()));
    QCOMPARE(rows.at(0).value(u"CalIoTime"_s).toString(), QString());
    QCOMPARE(rows.at(1).value(u"CalIoTime"_s).toString(), u"090100"_s);
}

// The list in the order of enrolment on every database: a person enrolled without a date (the
// lesson window's teacher) first, then by date, one date in the order the rows were added.
void TestEnrolmentRecords::listInOrderOfEnrolment()
{
    EnrolmentRecords records(m_station->dm(), ClassA);
    const int later = AddPerson(ClassA, u"陳大文"_s, u"A123456789"_s, QString(), u"2024/05/02"_s);
    const int first = AddPerson(ClassA, u"林志豪"_s, u"B223456789"_s, QString(), u"2024/05/01"_s);
    const int sameDay = AddPerson(ClassA, u"王小明"_s, u"C123456789"_s, QString(), u"2024/05/01"_s);
    ExecSql(u"insert into Booking (INDEX_KEY, NAME, ID, JOBTYPE) values (?, '李講師', 'D123456789', '講師')"_s,
            { ClassA });
    const int teacher = QueryValue(u"select max(RID) from Booking"_s).toInt();

    QList<int> rids;
    for (const QSqlRecord &row : RowsOf(records.ListStatement(
             records.SearchCondition(Inputs(ClassA, QString(), QString())), u"ID"_s, QString())))
        rids << row.value(u"RID"_s).toInt();
    QCOMPARE(rids, (QList<int> { teacher, first, sameDay, later }));
}

// ---- Layout -----------------------------------------------------------------------------------

void TestEnrolmentRecords::layoutOfColumns_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("caption");
    QTest::newRow("name") << u"NAME"_s << true << true << u"姓名"_s;
    QTest::newRow("mixed case") << u"Mobile"_s << true << true << u"手機號碼"_s;
    QTest::newRow("hint in other case") << u"JobType"_s << true << true << u"身分"_s;
    QTest::newRow("negative mark") << u"RID"_s << true << false << u"系統序號"_s;
    QTest::newRow("no row") << u"CalID"_s << false << true << QString();
}

void TestEnrolmentRecords::layoutOfColumns()
{
    QFETCH(QString, field);
    QFETCH(bool, found);
    QFETCH(bool, visible);
    QFETCH(QString, caption);
    const EnrolmentLayoutEntry entry = EnrolmentRecords::LayoutOf(m_station->dm().Con1(), field);
    QCOMPARE(entry.found, found);
    QCOMPARE(entry.visible, visible);
    QCOMPARE(entry.caption, caption);
}

// ---- Editing ----------------------------------------------------------------------------------

void TestEnrolmentRecords::newRowDefaultsAndStoring()
{
    EnrolmentRecords records(m_station->dm(), ClassA);
    QVariantMap values = records.NewRowValues(m_clock.now());
    QCOMPARE(values.value(u"JOBTYPE"_s).toString(), u"學員"_s);
    QCOMPARE(values.value(u"CR_TYPE"_s).toString(), u"逐筆"_s);
    QCOMPARE(values.value(u"INDEX_KEY"_s).toString(), ClassA);
    QVERIFY(values.value(u"CR_DATE"_s).toString().startsWith(u"2024/05/07"_s));

    // A new person needs a name.
    QVERIFY_THROWS_EXCEPTION(RolvanError, records.InsertRow(values));
    QCOMPARE(CountOf(u"select count(*) from Booking"_s), 0);

    values.insert(u"NAME"_s, u"O'Brien 歐布萊恩"_s);
    values.insert(u"ID"_s, u"A223456789"_s);
    values.insert(u"TEL"_s, u"  "_s);
    const int rid = records.InsertRow(values);
    QVERIFY(rid > 0);
    const auto row = records.LoadRow(rid);
    QVERIFY(row);
    QCOMPARE(row->value(u"NAME"_s).toString(), u"O'Brien 歐布萊恩"_s);
    QCOMPARE(row->value(u"INDEX_KEY"_s).toString(), ClassA);
    QCOMPARE(row->value(u"JOBTYPE"_s).toString(), u"學員"_s);
    QCOMPARE(row->value(u"CR_TYPE"_s).toString(), u"逐筆"_s);
    QVERIFY(row->isNull(u"TEL"_s));

    records.UpdateRow(rid, { { u"Mobile"_s, u"0912345678"_s } });
    QCOMPARE(records.LoadRow(rid)->value(u"Mobile"_s).toString(), u"0912345678"_s);
    // A row of another class is not this window's to change.
    const int other = AddPerson(ClassB, u"陳志明"_s, u"D123456789"_s);
    QVERIFY_THROWS_EXCEPTION(RolvanError, records.UpdateRow(other, { { u"TEL"_s, u"02"_s } }));
    QVERIFY(!records.LoadRow(other));
}

void TestEnrolmentRecords::deleteAllFound_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("name search") << u"陳"_s << true
                                 << QStringList { u"林志豪"_s, u"陳志明"_s };
    QTest::newRow("declined") << u"陳"_s << false
                              << QStringList { u"林志豪"_s, u"陳大文"_s, u"陳志明"_s, u"陳美玲"_s };
    QTest::newRow("typed OR stays in the class") << u"= '陳大文' OR 1=1"_s << true
                                                 << QStringList { u"陳志明"_s };
}

void TestEnrolmentRecords::deleteAllFound()
{
    QFETCH(QString, name);
    QFETCH(bool, confirm);
    QFETCH(QStringList, left);
    AddPerson(ClassA, u"陳大文"_s, u"A123456789"_s);
    AddPerson(ClassA, u"陳美玲"_s, u"C167890123"_s);
    AddPerson(ClassA, u"林志豪"_s, u"B223456789"_s);
    AddPerson(ClassB, u"陳志明"_s, u"D123456789"_s);

    EnrolmentRecords records(m_station->dm(), ClassA);
    records.Search(Inputs(ClassA, name, QString()), u"ID"_s, QString());
    m_prompter->queueButton(confirm ? Prompter::Button::Yes : Prompter::Button::No);
    const std::optional<int> deleted = records.DeleteAllFound();
    QCOMPARE(m_prompter->asked, QStringList { u"妳真的要清除嗎?"_s });
    QCOMPARE(deleted.has_value(), confirm);
    QStringList names = QueryToList(QString(), u"select NAME from Booking"_s);
    names.sort();
    QCOMPARE(names, left);
}

void TestEnrolmentRecords::deleteAllNeedsASearch()
{
    AddPerson(ClassA, u"陳大文"_s, u"A123456789"_s);
    EnrolmentRecords records(m_station->dm(), ClassA);
    QVERIFY(!records.DeleteAllFound());
    QCOMPARE(m_prompter->messages, QStringList { u"請先查尋資料"_s });
    QVERIFY(m_prompter->asked.isEmpty());
    QCOMPARE(CountOf(u"select count(*) from Booking"_s), 1);
}

// ---- Manual sign-in ---------------------------------------------------------------------------

void TestEnrolmentRecords::newIdentityCheck_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("verdict"); // NewIdentityCheck::Verdict
    QTest::addColumn<QString>("says");

    const int accept = int(NewIdentityCheck::Verdict::Accept);
    const int warn = int(NewIdentityCheck::Verdict::Warn);
    const int refuse = int(NewIdentityCheck::Verdict::Refuse);
    QTest::newRow("none: a temporary one comes at sign-in") << u""_s << accept << u""_s;
    QTest::newRow("identity number") << u"A123456789"_s << accept << u""_s;
    QTest::newRow("identity number in lower case") << u"k221234562"_s << accept << u""_s;
    QTest::newRow("wrong check digit") << u"A123456788"_s << refuse << u"檢查碼不正確"_s;
    QTest::newRow("five digits") << u"2345"_s << refuse << u"共 10 碼"_s;
    QTest::newRow("nine characters") << u"A12345678"_s << refuse << u"共 10 碼"_s;
    QTest::newRow("sex digit 3") << u"A323456789"_s << refuse << u"共 10 碼"_s;
    QTest::newRow("resident certificate, new form") << u"A823456789"_s << warn << u"居留證號"_s;
    QTest::newRow("resident certificate, old form") << u"AB12345678"_s << warn << u"居留證號"_s;
    QTest::newRow("temporary number") << u"VID0000012"_s << warn << u"臨時編號"_s;
}

void TestEnrolmentRecords::newIdentityCheck()
{
    QFETCH(QString, id);
    QFETCH(int, verdict);
    QFETCH(QString, says);
    const NewIdentityCheck check = EnrolmentRecords::CheckNewIdentity(id);
    QCOMPARE(int(check.verdict), verdict);
    QVERIFY2(check.message.contains(says), qPrintable(check.message));
    if (!says.isEmpty() && verdict == int(NewIdentityCheck::Verdict::Refuse))
        QVERIFY(check.message.contains(id));
}

// Lessons of class A on 2024/05/07: A001 09:00-12:00 and A002 13:00-16:00; class B has none.
void TestEnrolmentRecords::manualSignInGoesToTheLessonInProgress_data()
{
    QTest::addColumn<QString>("classKey");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QTime>("at");
    QTest::addColumn<int>("minutesBefore");
    QTest::addColumn<int>("minutesAfter");
    QTest::addColumn<QString>("key"); // empty: the operator chooses

    const QString a = ClassA.left(11);
    QTest::newRow("the lesson selected at the station")
        << ClassA << u"A00213:00"_s << QTime(10, 0) << 0 << 0 << a + u"A00213:00"_s;
    QTest::newRow("selected in other letter case")
        << ClassA << u"a00213:00"_s << QTime(10, 0) << 0 << 0 << a + u"A00213:00"_s;
    QTest::newRow("a selection that is no lesson of the day: the time decides")
        << ClassA << u"A00309:00"_s << QTime(10, 0) << 0 << 0 << a + u"A00109:00"_s;
    QTest::newRow("the lesson under way") << ClassA << QString() << QTime(10, 0) << 0 << 0 << a + u"A00109:00"_s;
    QTest::newRow("its last minute") << ClassA << QString() << QTime(12, 0) << 0 << 0 << a + u"A00109:00"_s;
    QTest::newRow("between the lessons") << ClassA << QString() << QTime(12, 30) << 0 << 0 << QString();
    QTest::newRow("inside the window before the start")
        << ClassA << QString() << QTime(12, 30) << 30 << 0 << a + u"A00213:00"_s;
    QTest::newRow("inside two windows") << ClassA << QString() << QTime(12, 30) << 30 << 30 << QString();
    QTest::newRow("a class without lessons: its key") << ClassB << QString() << QTime(12, 30) << 0 << 0 << ClassB;
}

void TestEnrolmentRecords::manualSignInGoesToTheLessonInProgress()
{
    QFETCH(QString, classKey);
    QFETCH(QString, selected);
    QFETCH(QTime, at);
    QFETCH(int, minutesBefore);
    QFETCH(int, minutesAfter);
    QFETCH(QString, key);

    for (const auto &[cno4, start, end] : { std::tuple{u"A001"_s, u"09:00"_s, u"12:00"_s},
                                            std::tuple{u"A002"_s, u"13:00"_s, u"16:00"_s},
                                            std::tuple{u"A003"_s, u"09:00"_s, u"12:00"_s} }) {
        ExecSql(u"insert into Course (INDEX_KEY, CNo4, TimeStart, TimeEnd, DateStart) values (?, ?, ?, ?, ?)"_s,
                { ClassA, cno4, start, end, cno4 == u"A003"_s ? u"2024/05/08"_s : u"2024/05/07"_s });
    }
    EnrolmentRecords records(m_station->dm(), classKey);
    const QDateTime now(QDate(2024, 5, 7), at);
    const std::optional<QString> found = records.ManualSignInKey(selected, now, minutesBefore, minutesAfter);
    QCOMPARE(found.value_or(QString()), key);
    if (key.isEmpty())
        return;

    // Stored under that key, the sign-in is the lesson's: the list shows it.
    const int rid = AddPerson(classKey, u"林怡君"_s, u"A223456789"_s);
    ManualSignInContext context;
    context.indexKey = *found;
    QCOMPARE(records.ManualSignIn(rid, context, now).outcome, ManualSignInResult::Outcome::Stored);
    QCOMPARE(QueryValue(u"select INDEX_KEY from PSIO where IDNO = 'A223456789'"_s).toString(), key);
    const auto rows = RowsOf(records.ListStatement({ u" where RID = ?"_s, { rid } }, u"ID"_s, QString()));
    QCOMPARE(rows.first().value(u"CalIoTime"_s).toString(), TimeToHHMMSS(at));
}

void TestEnrolmentRecords::manualSignInStoresOnce()
{
    const int rid = AddPerson(ClassA, u"O'Neil 歐尼爾"_s, u"A123456789"_s);
    EnrolmentRecords records(m_station->dm(), ClassA);
    ManualSignInContext context;
    context.stationNo = u"03"_s;

    ManualSignInResult result = records.ManualSignIn(rid, context, m_clock.now());
    QCOMPARE(result.outcome, ManualSignInResult::Outcome::Stored);
    QCOMPARE(result.identity, u"A123456789"_s);
    QVERIFY(result.newId.isEmpty());
    m_clock.advanceSeconds(30);
    result = records.ManualSignIn(rid, context, m_clock.now());
    QCOMPARE(result.outcome, ManualSignInResult::Outcome::AlreadySignedIn);

    QSqlQuery query = RunQuery(u"select DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, INDEX_KEY from PSIO"_s,
                               WorkingConnection());
    QVERIFY(query.next());
    const QStringList stored { query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                               query.value(3).toString(), query.value(4).toString(), query.value(5).toString(),
                               query.value(6).toString(), query.value(7).toString() };
    QCOMPARE(stored, (QStringList { u"03"_s, u"A123456789"_s, u"1130507"_s, u"084105"_s, u"0"_s, u"IT"_s,
                                    u"N"_s, ClassA }));
    QVERIFY(!query.next());
    // The list now shows the time.
    const auto rows = RowsOf(records.ListStatement({ u" where RID = ?"_s, { rid } }, u"ID"_s, QString()));
    QCOMPARE(rows.first().value(u"CalIoTime"_s).toString(), u"084105"_s);

    // A sign-in at the station for one of the class's lessons counts as well.
    const int lee = AddPerson(ClassA, u"李小龍"_s, u"C123456789"_s);
    ExecSql(u"insert into Course (INDEX_KEY, CNo4, TimeStart, DateStart) values (?, 'A001', '09:00', '2024/05/07')"_s,
            { ClassA });
    AddEvent(records.classNumber() + u"A00109:00"_s, u"C123456789"_s, u"0"_s, u"1130507"_s, u"083000"_s);
    QCOMPARE(records.ManualSignIn(lee, context, m_clock.now()).outcome,
             ManualSignInResult::Outcome::AlreadySignedIn);
    QCOMPARE(CountOf(u"select count(*) from PSIO"_s), 2);

    // A sign-in of the same person in another class does not count for this one.
    EnrolmentRecords other(m_station->dm(), ClassB);
    const int there = AddPerson(ClassB, u"O'Neil 歐尼爾"_s, u"A123456789"_s);
    QCOMPARE(other.ManualSignIn(there, context, m_clock.now()).outcome, ManualSignInResult::Outcome::Stored);
    QCOMPARE(CountOf(u"select count(*) from PSIO"_s), 3);
}

void TestEnrolmentRecords::temporaryIdentities_data()
{
    QTest::addColumn<bool>("preBooking");
    QTest::addColumn<QString>("personnelCode");  // largest VID code of PSPN, or none
    QTest::addColumn<QString>("classCode");      // of a Booking row of the class, or none
    QTest::addColumn<QString>("otherClassCode"); // of a Booking row of class B, or none
    QTest::addColumn<QString>("expected");
    QTest::newRow("first code") << false << QString() << QString() << QString() << u"VID0000001"_s;
    QTest::newRow("after the personnel codes") << false << u"VID0000041"_s << QString() << QString()
                                               << u"VID0000042"_s;
    QTest::newRow("after a code of the class") << false << u"VID0000041"_s << u"VID0000050"_s << QString()
                                               << u"VID0000051"_s;
    QTest::newRow("enrolment: within the class") << true << u"VID0000041"_s << u"VID0000003"_s
                                                 << u"VID0000009"_s << u"VID0000004"_s;
    QTest::newRow("enrolment: first of the class") << true << u"VID0000041"_s << QString()
                                                   << u"VID0000009"_s << u"VID0000001"_s;
}

void TestEnrolmentRecords::temporaryIdentities()
{
    QFETCH(bool, preBooking);
    QFETCH(QString, personnelCode);
    QFETCH(QString, classCode);
    QFETCH(QString, otherClassCode);
    QFETCH(QString, expected);
    if (!personnelCode.isEmpty()) {
        ExecSql(u"insert into PSPN (ID, NAME) values ('VID0000007', '張三')"_s);
        ExecSql(u"insert into PSPN (ID, NAME) values (?, '李四')"_s, { personnelCode });
    }
    if (!classCode.isEmpty())
        AddPerson(ClassA, u"王五"_s, classCode);
    if (!otherClassCode.isEmpty())
        AddPerson(ClassB, u"趙六"_s, otherClassCode);
    const int rid = AddPerson(ClassA, u"黃志明"_s, QString());

    EnrolmentRecords records(m_station->dm(), ClassA);
    ManualSignInContext context;
    context.preBooking = preBooking;
    const ManualSignInResult result = records.ManualSignIn(rid, context, m_clock.now());
    QCOMPARE(result.newId, expected);
    QCOMPARE(result.identity, expected);
    QCOMPARE(result.outcome, ManualSignInResult::Outcome::Stored);
    QCOMPARE(records.LoadRow(rid)->value(u"ID"_s).toString(), expected);
    QCOMPARE(CountOf(u"select count(*) from PSIO where IDNO = ? and IOWay = 'IT'"_s, { expected }), 1);
}

void TestEnrolmentRecords::personsWithoutIdentityGetDistinctCodes()
{
    // Neither person is in the personnel table: numbering by it alone would give both the
    // same code, and the second person's sign-in would count as the first one's.
    const int first = AddPerson(ClassA, u"黃志明"_s, QString());
    const int second = AddPerson(ClassA, u"黃淑惠"_s, QString());
    EnrolmentRecords records(m_station->dm(), ClassA);
    const ManualSignInContext context;
    QCOMPARE(records.ManualSignIn(first, context, m_clock.now()).newId, u"VID0000001"_s);
    const ManualSignInResult result = records.ManualSignIn(second, context, m_clock.now());
    QCOMPARE(result.newId, u"VID0000002"_s);
    QCOMPARE(result.outcome, ManualSignInResult::Outcome::Stored);
    QCOMPARE(CountOf(u"select count(distinct IDNO) from PSIO"_s), 2);
}

void TestEnrolmentRecords::temporaryIdentityGoesToTheRowAndOnePersonnelRecord()
{
    // Two persons of one name in the class, neither with an identity; in the personnel table
    // one of that name has an identity and one has none.
    const int clicked = AddPerson(ClassA, u"王小明"_s, QString());
    const int namesake = AddPerson(ClassA, u"王小明"_s, QString());
    ExecSql(u"insert into PSPN (ID, NAME) values ('A111111111', '王小明')"_s);
    ExecSql(u"insert into PSPN (ID, NAME) values (NULL, '王小明')"_s);
    EnrolmentRecords records(m_station->dm(), ClassA);
    const ManualSignInResult result = records.ManualSignIn(clicked, ManualSignInContext(), m_clock.now());
    QCOMPARE(result.newId, u"VID0000001"_s);
    QCOMPARE(records.LoadRow(clicked)->value(u"ID"_s).toString(), u"VID0000001"_s);
    QVERIFY(records.LoadRow(namesake)->value(u"ID"_s).toString().isEmpty());
    QStringList personnel = QueryToList(QString(), u"select ID from PSPN where NAME = '王小明'"_s);
    personnel.sort();
    QCOMPARE(personnel, (QStringList { u"A111111111"_s, u"VID0000001"_s }));

    // With two personnel rows of the name and no identity it cannot tell which: neither changes.
    ExecSql(u"insert into PSPN (ID, NAME) values (NULL, '王小明')"_s);
    ExecSql(u"update PSPN set ID = NULL where ID = 'VID0000001'"_s);
    records.ManualSignIn(namesake, ManualSignInContext(), m_clock.now());
    QCOMPARE(CountOf(u"select count(*) from PSPN where ID like 'VID%'"_s), 0);
    QCOMPARE(records.LoadRow(namesake)->value(u"ID"_s).toString(), u"VID0000002"_s);
}

void TestEnrolmentRecords::signInWithoutStoredIdentityWritesNothing()
{
    // The station stores personnel numbers and the person has none.
    const int rid = AddPerson(ClassA, u"林美玲"_s, QString(), QString());
    EnrolmentRecords records(m_station->dm(), ClassA);
    ManualSignInContext context;
    context.identityColumn = u"IDNO"_s;
    context.identityCaption = u"會員編號"_s;
    try {
        records.ManualSignIn(rid, context, m_clock.now());
        QFAIL("the sign-in was not refused");
    } catch (const RolvanError &error) {
        QCOMPARE(error.message(), u"「林美玲」沒有會員編號，無法簽到"_s);
    }
    QCOMPARE(CountOf(u"select count(*) from PSIO"_s), 0);
    // The temporary identity went back with the refused sign-in.
    QVERIFY(records.LoadRow(rid)->value(u"ID"_s).toString().isEmpty());

    // With a personnel number it is stored under that number.
    ExecSql(u"update Booking set IDNO = 'E077' where RID = ?"_s, { rid });
    const ManualSignInResult result = records.ManualSignIn(rid, context, m_clock.now());
    QCOMPARE(result.identity, u"E077"_s);
    QCOMPARE(CountOf(u"select count(*) from PSIO where IDNO = 'E077'"_s), 1);
}

QTEST_GUILESS_MAIN(TestEnrolmentRecords)
#include "tst_enrolmentrecords.moc"
