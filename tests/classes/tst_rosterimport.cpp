// The roster file import into a class of the unit's own: UTF-8 with and without byte order
// mark and Big5 as Excel saves it read alike, quoted fields keep their commas, every line that
// cannot be read is named, the question counts who is added and who updated, a second import
// of the same file adds nobody, one transaction (a failure leaves the database as it was), a
// refusal without a chosen class, and the persons a roster added staying when the class is
// later downloaded from the service.

#include "core/DbFunctions.h"
#include "classes/ClassImport.h"
#include "classes/RosterImport.h"
#include "core/Schema.h"
#include "core/TDM.h"
#include "mock/TestDatabase.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringEncoder>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassNo = u"11305000001"_s;
const QString ClassKey = u"1130500000100"_s;
const QString Header = u"sno,name,tnsadr,tel,tel2,mobile,email"_s;
const QDateTime ImportTime(QDate(2024, 5, 8), QTime(9, 15, 0));

QByteArray Utf8(const QString &text) { return text.toUtf8(); }
QByteArray Utf8Bom(const QString &text) { return "\xEF\xBB\xBF"_ba + text.toUtf8(); }
// The bytes Excel on a Traditional Chinese Windows writes for the text.
QByteArray Big5(const QString &text)
{
    QStringEncoder encoder("Big5");
    const QByteArray bytes = encoder.encode(text);
    return encoder.hasError() ? QByteArray() : bytes;
}

// Every Booking row in RID order, each as its columns joined.
QStringList DumpBooking()
{
    QStringList rows;
    QSqlQuery q = RunQuery(u"select * from Booking order by RID"_s, WorkingConnection());
    while (q.next()) {
        QStringList cells;
        const QSqlRecord r = q.record();
        for (int c = 0; c < r.count(); ++c)
            cells << r.fieldName(c) + u'=' + (r.isNull(c) ? u"<NULL>"_s : r.value(c).toString());
        rows << cells.join(u'|');
    }
    return rows;
}

QString StudentLine(const WebStudent &s)
{
    return QStringList { s.id, s.name, s.address, s.tel, s.mobile, s.email }.join(u'|');
}

} // namespace

class TestRosterImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void reading_data();
    void reading();
    void refusals_data();
    void refusals();
    void addsThenUpdatesAndASecondImportAddsNobody();
    void aFailureLeavesTheDatabaseUnchanged();
    void rosterPersonsStayWhenTheClassIsDownloaded();

private:
    std::unique_ptr<TestDatabase> m_db;
    int m_classRid = 0;
};

void TestRosterImport::init()
{
    m_db = std::make_unique<TestDatabase>();
    QSqlQuery schema(m_db->dm().Con1());
    for (const QString &statement : SchemaStatementsFor(m_db->dm().Con1()))
        QVERIFY2(schema.exec(statement), qPrintable(statement));
    ExecSql(
        u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, Signer, Bookin) "
        "values (?, '00', '堆高機操作人員安全衛生教育訓練', '2024/05/06', '2024/05/10', '外部', 1)"_s,
        { ClassNo });
    m_classRid = QueryValue(u"select max(RID) from Courses"_s).toInt();
}

void TestRosterImport::cleanup() { m_db.reset(); }

void TestRosterImport::reading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QStringList>("students"); // id|name|address|tel|mobile|email
    QTest::addColumn<QStringList>("problems");

    const QString two = Header
        + u"\nA123456789,王小明,台北市信義路五段7號,02-2345-6789,,0912-345-678,wang@example.tw"
          "\nB223456789,李美玲,新北市板橋區文化路一段1號,,,0922-111-222,"_s;
    const QStringList twoStudents {
        u"A123456789|王小明|台北市信義路五段7號|02-2345-6789|0912-345-678|wang@example.tw"_s,
        u"B223456789|李美玲|新北市板橋區文化路一段1號||0922-111-222|"_s,
    };
    QTest::newRow("UTF-8 without byte order mark")
        << Utf8(two) << u"UTF-8"_s << twoStudents << QStringList();
    QString crlf = two;
    crlf.replace(u'\n', u"\r\n"_s);
    QTest::newRow("UTF-8 with byte order mark, CR LF")
        << Utf8Bom(crlf + u"\r\n"_s) << u"UTF-8"_s << twoStudents << QStringList();
    QTest::newRow("Big5 as Excel saves it")
        << Big5(crlf + u"\r\n"_s) << u"Big5"_s << twoStudents << QStringList();

    QTest::newRow("quoted fields keep their commas and quotes")
        << Big5(Header
               + u"\r\nC123456780,\"O'Brien 陳\",\"台中市西屯區, 台灣大道三段99號\",,,,\r\n"
                 "D123456781,\"林\"\"阿\"\"明\",\"高雄市, \"\"前鎮區\"\"\",,,,\r\n"_s)
        << u"Big5"_s
        << QStringList { u"C123456780|O'Brien 陳|台中市西屯區, 台灣大道三段99號|||"_s,
               u"D123456781|林\"阿\"明|高雄市, \"前鎮區\"|||"_s }
        << QStringList();

    // Columns in another order, further columns ignored; every bad line named, the rest read.
    QTest::newRow("lines that cannot be read are named")
        << Utf8(u"name,no,sno,email,mobile,tel2,tel,tnsadr\n"
                "王小明,1,A123456789,,,,,台北市\n"
                "李美玲,2\n" // line 3: cut short
                "陳大同,3,,,,,,台南市\n" // line 4: no identity
                "王大明,4,a123456789,,,,,台北市\n" // line 5: the identity of line 2 again
                "張三,5,E1234567890123,,,,,\n" // line 6: identity too long
                "\"林\n志玲\",6,F123456789,,,,,\"花蓮市\"\n" // lines 7-8: one record
                "黃小華,7,G123456789,,,,,"_s
               + QString(51, u'路') + u"\n"_s) // line 9: address too long
        << u"UTF-8"_s
        << QStringList { u"A123456789|王小明|台北市|||"_s, u"F123456789|林\n志玲|花蓮市|||"_s }
        << QStringList { u"第 3 行：欄位不足（需要 8 欄，只有 2 欄）"_s,
               u"第 4 行：沒有身分證字號 (sno)"_s,
               u"第 5 行：身分證字號 a123456789 與第 2 行重複"_s,
               u"第 6 行：身分證字號 (sno)超過 10 個字"_s,
               u"第 9 行：地址 (tnsadr)超過 50 個字"_s };

    // A byte pair Big5 has no character for (a character the user made up, or a broken byte).
    QTest::newRow("a Big5 line with a character that cannot be read")
        << Big5(Header + u"\r\nA123456789,王小明,,,,,\r\n"_s)
            + "B223456789,\xFA\x40\xFF\xFF,,,,,\r\n"_ba
        << u"Big5"_s << QStringList { u"A123456789|王小明||||"_s }
        << QStringList { u"第 3 行：姓名 (name)含有無法辨識的字元（檔案編碼不符或含造字）"_s };
}

void TestRosterImport::reading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    QFETCH(QStringList, students);
    QFETCH(QStringList, problems);
    QVERIFY(!bytes.isEmpty());

    QString error;
    const auto plan = RosterImport::PlanRoster(
        WorkingConnection(), m_classRid, bytes, u"學員名單.csv"_s, &error);
    QVERIFY2(plan, qPrintable(error));
    QCOMPARE(plan->encoding, encoding);
    QCOMPARE(plan->classKey, ClassKey);
    QStringList got;
    for (const WebStudent &s : plan->students)
        got << StudentLine(s);
    QCOMPARE(got, students);
    QStringList named;
    for (const StudentLineProblem &p : plan->problems)
        named << p.text();
    QCOMPARE(named, problems);
    // The question names every line that will not be imported.
    for (const QString &problem : problems)
        QVERIFY2(plan->Question().contains(problem), qPrintable(plan->Question()));
}

void TestRosterImport::refusals_data()
{
    QTest::addColumn<int>("rid"); // -1: the class of the test
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected"); // part of the error

    const QByteArray good = Utf8(Header + u"\nA123456789,王小明,,,,,"_s);
    QTest::newRow("no class chosen") << 0 << good << u"尚未選定課程"_s;
    QTest::newRow("a class no longer stored") << 9999 << good << u"尚未選定課程"_s;
    QTest::newRow("a header without a column")
        << -1 << Utf8(u"sno,name,tel,tel2,mobile,email\nA123456789,王小明,,,,"_s) << u"tnsadr"_s;
    QTest::newRow("a header in Chinese")
        << -1 << Big5(u"身分證字號,姓名\r\nA123456789,王小明\r\n"_s)
        << u"第一行須為欄名 sno, name, tnsadr, tel, tel2, mobile, email"_s;
    QTest::newRow("an empty file") << -1 << QByteArray() << u"學員名單是空的"_s;
    QTest::newRow("nobody readable")
        << -1 << Utf8(Header + u"\n,王小明,,,,,\nB2234"_s)
        << u"學員名單檔「學員名單.csv」中沒有可匯入的學員\n第 2 行：沒有身分證字號 (sno)\n第 3 行"_s;
}

void TestRosterImport::refusals()
{
    QFETCH(int, rid);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QString error;
    QVERIFY(!RosterImport::PlanRoster(
        WorkingConnection(), rid < 0 ? m_classRid : rid, bytes, u"學員名單.csv"_s, &error));
    QVERIFY2(error.contains(expected), qPrintable(error));

    // A plan made by hand for no class writes nothing either.
    RosterImport::RosterPlan plan;
    plan.students << WebStudent { 2, u"A123456789"_s, u"王小明"_s, {}, {}, {}, {} };
    QVERIFY(!RosterImport::ImportRoster(WorkingConnection(), plan, ImportTime, &error));
    QCOMPARE(error, u"尚未選定課程"_s);
    QCOMPARE(QueryValue(u"select count(*) from Booking"_s).toInt(), 0);
}

void TestRosterImport::addsThenUpdatesAndASecondImportAddsNobody()
{
    // A student the service sent earlier, and a teacher enrolled by hand.
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, Address, JOBTYPE, CR_DATE) "
            "values (?, 'A123456789', '王小明', '舊地址', '學員', '20240501101010')"_s,
        { ClassKey });
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE, CR_TYPE, CR_DATE) "
            "values (?, 'T123456789', '陳老師', '講師', '逐筆', '2024/05/01')"_s,
        { ClassKey });
    // Someone of another class with the same identity is no business of this one.
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE) "
            "values ('1130500000200', 'B223456789', '李美玲', '學員')"_s);

    const QByteArray file = Big5(Header
        + u"\r\na123456789,王小明,台北市信義路五段7號,02-2345-6789,,0912-345-678,\r\n"
          "B223456789,李美玲,新北市板橋區,,,,\r\n"
          "C123456780,O'Brien 陳,\"台中市, 西屯區\",,,,\r\n"_s);
    QString error;
    auto plan
        = RosterImport::PlanRoster(WorkingConnection(), m_classRid, file, u"名單.csv"_s, &error);
    QVERIFY2(plan, qPrintable(error));
    QCOMPARE(plan->counts.added, 2);
    QCOMPARE(plan->counts.updated, 1);
    QCOMPARE(plan->Question(),
        u"匯入學員名單檔「名單.csv」（Big5）\n講習：11305000001 堆高機操作人員安全衛生教育訓練\n"
        "新增 2 筆，更新 1 筆\n確定要匯入嗎?"_s);

    auto counts = RosterImport::ImportRoster(WorkingConnection(), *plan, ImportTime, &error);
    QVERIFY2(counts, qPrintable(error));
    QCOMPARE(counts->added, 2);
    QCOMPARE(counts->updated, 1);
    QCOMPARE(RosterImport::DoneMessage(*counts), u"學員名單檔匯入完成：新增 2 筆，更新 1 筆"_s);

    const auto row = [](const QString &id) {
        QSqlQuery q = RunQuery(u"select NAME, Address, TEL, Mobile, JOBTYPE, CR_TYPE, CR_DATE "
                               "from Booking where INDEX_KEY = ? and ID = ?"_s,
            WorkingConnection(), { ClassKey, id });
        QStringList cells;
        while (q.next()) {
            for (int c = 0; c < 7; ++c)
                cells << (q.isNull(c) ? u"<NULL>"_s : q.value(c).toString());
            cells << u";"_s;
        }
        return cells.join(u'|');
    };
    // Updated: new values, the row's origin kept (the identity matched without letter case).
    QCOMPARE(row(u"A123456789"_s),
        u"王小明|台北市信義路五段7號|02-2345-6789|0912-345-678|學員|<NULL>|20240501101010|;"_s);
    // Added: a student marked as coming from a roster file on the day of the import.
    QCOMPARE(row(u"B223456789"_s), u"李美玲|新北市板橋區|||學員|名單檔|2024/05/08|;"_s);
    QCOMPARE(row(u"C123456780"_s), u"O'Brien 陳|台中市, 西屯區|||學員|名單檔|2024/05/08|;"_s);
    QCOMPARE(row(u"T123456789"_s), u"陳老師|<NULL>|<NULL>|<NULL>|講師|逐筆|2024/05/01|;"_s);
    QCOMPARE(QueryValue(u"select count(*) from Booking"_s).toInt(), 5);

    // The same file again: everybody is known, nobody added, nothing changes.
    const QStringList before = DumpBooking();
    plan = RosterImport::PlanRoster(WorkingConnection(), m_classRid, file, u"名單.csv"_s, &error);
    QVERIFY2(plan, qPrintable(error));
    QCOMPARE(plan->counts.added, 0);
    QCOMPARE(plan->counts.updated, 3);
    counts = RosterImport::ImportRoster(WorkingConnection(), *plan, ImportTime.addDays(1), &error);
    QVERIFY2(counts, qPrintable(error));
    QCOMPARE(counts->added, 0);
    QCOMPARE(counts->updated, 3);
    QCOMPARE(DumpBooking(), before);
}

void TestRosterImport::aFailureLeavesTheDatabaseUnchanged()
{
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, Address, JOBTYPE) "
            "values (?, 'A123456789', '王小明', '舊地址', '學員')"_s,
        { ClassKey });
    // The database refuses the third person, after the first was updated and the second added.
    QString error;
    QVERIFY2(TestBackend::RefuseRows(WorkingConnection(), u"refuse_third"_s, u"Booking"_s, u"ID"_s,
                 u"C123456780"_s, u"refused"_s, &error),
        qPrintable(error));
    const QStringList before = DumpBooking();

    const auto plan = RosterImport::PlanRoster(WorkingConnection(), m_classRid,
        Utf8(Header
            + u"\nA123456789,王小明,新地址,,,,\nB223456789,李美玲,,,,,\nC123456780,陳大同,,,,,"_s),
        u"名單.csv"_s, &error);
    QVERIFY2(plan, qPrintable(error));
    QVERIFY(!RosterImport::ImportRoster(WorkingConnection(), *plan, ImportTime, &error));
    QVERIFY2(error.startsWith(u"學員名單檔匯入失敗，資料庫未變更："_s), qPrintable(error));
    QVERIFY2(error.contains(u"refused"_s), qPrintable(error));
    QCOMPARE(DumpBooking(), before);
    // The connection is usable afterwards: no transaction was left open.
    QVERIFY2(TestBackend::AllowRows(WorkingConnection(), u"refuse_third"_s, u"Booking"_s, &error),
        qPrintable(error));
    QVERIFY2(RosterImport::ImportRoster(WorkingConnection(), *plan, ImportTime, &error),
        qPrintable(error));
    QCOMPARE(QueryValue(u"select count(*) from Booking"_s).toInt(), 3);
}

void TestRosterImport::rosterPersonsStayWhenTheClassIsDownloaded()
{
    QString error;
    const auto plan = RosterImport::PlanRoster(WorkingConnection(), m_classRid,
        Utf8(Header + u"\nA123456789,王小明,,,,,\nB223456789,李美玲,,,,,"_s), u"名單.csv"_s,
        &error);
    QVERIFY2(plan, qPrintable(error));
    QVERIFY2(RosterImport::ImportRoster(WorkingConnection(), *plan, ImportTime, &error),
        qPrintable(error));

    // The service lists the class later, with one of the two and someone else; then without
    // that someone. A download removes only the students a download wrote.
    WebClassEntry entry;
    entry.classNo = ClassNo;
    entry.name = u"堆高機操作人員安全衛生教育訓練"_s;
    entry.firstDay = u"2024/05/06"_s;
    entry.lastDay = u"2024/05/10"_s;
    const WebStudent a { 2, u"A123456789"_s, u"王小明"_s, {}, {}, {}, {} };
    const WebStudent c { 3, u"C123456780"_s, u"陳大同"_s, {}, {}, {}, {} };
    QVERIFY2(ClassImport::WriteClass(WorkingConnection(), entry, { a, c }, {}, u"中心"_s,
                 ImportTime.addDays(1), &error),
        qPrintable(error));
    QVERIFY2(ClassImport::WriteClass(
                 WorkingConnection(), entry, { a }, {}, u"中心"_s, ImportTime.addDays(2), &error),
        qPrintable(error));
    QCOMPARE(QueryToList(u"ID"_s, u"select ID from Booking where INDEX_KEY = ? order by ID"_s,
                 { ClassKey }),
        (QStringList { u"A123456789"_s, u"B223456789"_s }));
}

QTEST_GUILESS_MAIN(TestRosterImport)
#include "tst_rosterimport.moc"
