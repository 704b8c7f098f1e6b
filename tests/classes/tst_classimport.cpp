// The class download end to end against the fake training service, into a copy of the template
// database: the class list's rows and names, classes, students and lessons arriving in their
// columns with Chinese, quotes and commas intact, a second import changing nothing, a student the
// service dropped removed while persons enrolled by hand stay, every failure leaving the database
// as it was; the certificate gate; the course upload's exact body and its refusals; the
// personnel marking.

#include "core/DbFunctions.h"
#include "classes/ClassImport.h"
#include "classes/CourseUpload.h"
#include "classes/TrainingService.h"
#include "core/TDM.h"
#include "fakeservice/FakeService.h"
#include "mock/TestDatabase.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassNo = u"11501000001"_s;
const QString ClassKey = u"11501000001"_s + u"00"_s;
const QString Organisation = u"測試訓練中心"_s;

// Every row of a table in RID order, each as its columns joined, leaving out the given ones (names
// in any case: PostgreSQL gives them in lower case).
QStringList Dump(const QString &table, const QStringList &skip = {})
{
    QStringList rows;
    QSqlQuery q = RunQuery(u"select * from "_s + table + u" order by RID"_s, WorkingConnection());
    while (q.next()) {
        QStringList cells;
        const QSqlRecord r = q.record();
        for (int c = 0; c < r.count(); ++c) {
            if (!skip.contains(r.fieldName(c), Qt::CaseInsensitive))
                cells << r.fieldName(c) + u'='
                        + (r.isNull(c) ? u"<NULL>"_s : r.value(c).toString());
        }
        rows << cells.join(u'|');
    }
    return rows;
}

QStringList DumpAll(const QStringList &skip = {})
{
    return Dump(u"Courses"_s, skip) + Dump(u"Booking"_s, skip) + Dump(u"Course"_s, skip);
}

QSqlRecord Row(const QString &sql, const QVariantList &params)
{
    QSqlQuery q = RunQuery(sql, WorkingConnection(), params);
    return q.next() ? q.record() : QSqlRecord();
}

} // namespace

class TestClassImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void classListRowsAndNames();
    void classListThatCannotBeRead();
    void importWritesClassStudentsAndLessons();
    void secondImportChangesNothing();
    void reimportRemovesDroppedStudentsOnly();
    void failuresLeaveTheDatabaseUnchanged_data();
    void failuresLeaveTheDatabaseUnchanged();
    void classWithoutTeacherAndReorderedColumns();
    void blankClassNumberIsRefused();
    void studentListReading_data();
    void studentListReading();
    void certificateGate();
    void courseUploadBodyIsExact();
    void courseUploadThroughTheService();
    void courseUploadRefusals_data();
    void courseUploadRefusals();
    void personnelMarking();

private:
    std::optional<ImportSummary> Download(int element, const QDateTime &at, QString *error);
    std::unique_ptr<TrainingService> Service(int timeoutMs = 10000);

    std::unique_ptr<FakeService> m_fake;
    std::unique_ptr<TestDatabase> m_station;
};

void TestClassImport::initTestCase()
{
    m_fake = std::make_unique<FakeService>();
    QVERIFY2(m_fake->start(), qPrintable(m_fake->error()));
}

void TestClassImport::init()
{
    QVERIFY(m_fake->reset());
    TrainingService::CheckToken().clear();
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_station->dm(), work, &error), qPrintable(error));
    if (!TestBackend::UsesPostgres())
        ExecSql(u"PRAGMA synchronous = OFF"_s);
    m_fake->configureStation();
}

void TestClassImport::cleanup() { m_station.reset(); }

std::unique_ptr<TrainingService> TestClassImport::Service(int timeoutMs)
{
    ServiceSettings settings = ServiceSettings::FromIni();
    settings.timeoutMs = timeoutMs;
    return std::make_unique<TrainingService>(settings);
}

std::optional<ImportSummary> TestClassImport::Download(
    int element, const QDateTime &at, QString *error)
{
    auto service = Service();
    const ServiceOutcome<QByteArray> text = service->FetchClassListText();
    if (!text.ok()) {
        *error = text.error;
        return std::nullopt;
    }
    const auto list = ClassImport::ParseClassList(text.value, QDate::currentDate(), error);
    if (!list)
        return std::nullopt;
    return ClassImport::DownloadClass(
        *service, WorkingConnection(), list->entries.at(element), Organisation, at, error);
}

void TestClassImport::classListRowsAndNames()
{
    auto service = Service();
    const ServiceOutcome<QByteArray> text = service->FetchClassListText();
    QVERIFY2(text.ok(), qPrintable(text.error));
    const QDate today = QDate::currentDate();
    QString error;
    const auto list = ClassImport::ParseClassList(text.value, today, &error);
    QVERIFY2(list, qPrintable(error));
    QCOMPARE(list->rawText, text.value);
    QCOMPARE(list->entries.size(), 3);
    // The class list is the second member although "data" sorts before "status".
    const WebClassEntry &first = list->entries.at(0);
    QCOMPARE(first.classNo, ClassNo);
    QCOMPARE(first.name, u"職業安全衛生教育訓練"_s);
    QCOMPARE(first.firstDay, today.addDays(-2).toString(u"yyyy/MM/dd"_s));
    QCOMPARE(first.lastDay, today.addDays(3).toString(u"yyyy/MM/dd"_s));
    QCOMPARE(first.hours, u"12"_s);
    QCOMPARE(first.lessons.size(), 4);
    QVERIFY(first.listed);
    // Ended 400 days ago: kept in its place, not listed.
    QCOMPARE(list->entries.at(1).element, 1);
    QVERIFY(!list->entries.at(1).listed);
    // A name that does not begin with the number stays as it is.
    QCOMPARE(list->entries.at(2).name, u"危險性機械操作人員訓練"_s);
    QCOMPARE(list->entries.at(2).element, 2);
    QVERIFY(list->entries.at(2).listed);

    // The 365-day rule at its edge.
    const QDate lastDayOfOld = QDate::fromString(list->entries.at(1).lastDay, u"yyyy/MM/dd"_s);
    QVERIFY(ClassImport::ParseClassList(text.value, lastDayOfOld.addDays(364), &error)
                ->entries.at(1)
                .listed);
    QVERIFY(!ClassImport::ParseClassList(text.value, lastDayOfOld.addDays(365), &error)
                 ->entries.at(1)
                 .listed);

    QCOMPARE(
        ClassImport::NameWithoutNumber(u"11301234567教育訓練"_s, u"11301234567"_s), u"教育訓練"_s);
    QCOMPARE(ClassImport::NameWithoutNumber(u"教育訓練11301234567"_s, u"11301234567"_s),
        u"教育訓練11301234567"_s);
}

void TestClassImport::classListThatCannotBeRead()
{
    QVERIFY(m_fake->set(u"brokenjson=1"_s));
    auto service = Service();
    const ServiceOutcome<QByteArray> text = service->FetchClassListText();
    QVERIFY(text.ok());
    QString error;
    QVERIFY(!ClassImport::ParseClassList(text.value, QDate::currentDate(), &error));
    QVERIFY(error.contains(u"講習清單"_s));
    QVERIFY(!ClassImport::ParseClassList(R"({"data":[]})"_ba, QDate::currentDate(), &error));
    QVERIFY(!ClassImport::ParseClassList(
        R"({"a":1,"data":[{"clssno":"1","clssdt":"x","clsedt":"y"}]})"_ba, QDate::currentDate(),
        &error));
    QVERIFY(error.contains(u"起訖日期"_s));
}

void TestClassImport::importWritesClassStudentsAndLessons()
{
    const QDateTime at(QDate(2026, 12, 10), QTime(9, 30, 15));
    QString error;
    const auto summary = Download(0, at, &error);
    QVERIFY2(summary, qPrintable(error));
    QCOMPARE(summary->message(), u"匯入課程編號 :11501000001 及學員 4筆"_s);
    QCOMPARE(summary->lessons, 4);
    QCOMPARE(summary->teachers, 4);
    const QString stamp = u"20261210093015"_s;

    const QSqlRecord cls = Row(u"select * from Courses where CourseId = ?"_s, { ClassNo });
    QCOMPARE(cls.value(u"Echelon"_s).toString(), u"00"_s);
    QCOMPARE(cls.value(u"Course"_s).toString(), u"職業安全衛生教育訓練"_s);
    QCOMPARE(cls.value(u"DateStart"_s).toString(),
        QDate::currentDate().addDays(-2).toString(u"yyyy/MM/dd"_s));
    QCOMPARE(cls.value(u"Charge"_s).toString(), Organisation);
    QCOMPARE(cls.value(u"Signer"_s).toString(), u"外部"_s);
    QCOMPARE(cls.value(u"TotHours"_s).toString(), u"12"_s);
    QCOMPARE(cls.value(u"Bookin"_s).toInt(), 1);

    QCOMPARE(QueryValue(u"select count(*) from Booking where INDEX_KEY = ? and JOBTYPE = '學員'"_s,
                 { ClassKey })
                 .toInt(),
        4);
    QCOMPARE(QueryValue(u"select count(*) from Booking where INDEX_KEY = ? and JOBTYPE = '講師'"_s,
                 { ClassKey })
                 .toInt(),
        2);
    QCOMPARE(QueryValue(u"select count(*) from Booking where INDEX_KEY = ? and CR_DATE = ?"_s,
                 { ClassKey, stamp })
                 .toInt(),
        6);
    // A comma inside quotes, blanks around a name, a trailing null as empty text.
    QSqlRecord b = Row(u"select * from Booking where ID = ?"_s, { u"B223456789"_s });
    QCOMPARE(b.value(u"NAME"_s).toString(), u"林小華"_s);
    QCOMPARE(b.value(u"Address"_s).toString(), u"新北市板橋區文化路一段1號,5樓"_s);
    QCOMPARE(b.value(u"eMail"_s).toString(), QString());
    // An apostrophe, a comma and doubled quotes.
    QSqlRecord c = Row(u"select * from Booking where ID = ?"_s, { u"C123456780"_s });
    QCOMPARE(c.value(u"NAME"_s).toString(), u"O'Brien 陳"_s);
    QCOMPARE(c.value(u"Address"_s).toString(), u"高雄市前鎮區中山二路2號,\"海景\"大樓"_s);
    QCOMPARE(c.value(u"TEL"_s).toString(), u"07-3333333"_s);
    QCOMPARE(c.value(u"Mobile"_s).toString(), u"0933444555"_s);
    QCOMPARE(c.value(u"eMail"_s).toString(), u"obrien@example.com"_s);
    // The last record, without a final line feed, is read like the others.
    QCOMPARE(Row(u"select * from Booking where ID = ?"_s, { u"D123456781"_s })
                 .value(u"eMail"_s)
                 .toString(),
        QString());
    QCOMPARE(Row(u"select * from Booking where ID = ?"_s, { u"E123456789"_s })
                 .value(u"NAME"_s)
                 .toString(),
        u"張志明"_s);

    QCOMPARE(
        QueryValue(u"select count(*) from Course where INDEX_KEY = ?"_s, { ClassKey }).toInt(), 4);
    const QSqlRecord lesson
        = Row(u"select * from Course where INDEX_KEY = ? and CNo4 = 'A102'"_s, { ClassKey });
    QCOMPARE(lesson.value(u"Subject"_s).toString(), u"危害通識與\"標示\""_s);
    QCOMPARE(lesson.value(u"CNo2"_s).toString(), u"必修"_s);
    QCOMPARE(lesson.value(u"DateStart"_s).toString(),
        QDate::currentDate().addDays(-2).toString(u"yyyy/MM/dd"_s));
    QCOMPARE(lesson.value(u"TimeStart"_s).toString(), u"13:00"_s);
    QCOMPARE(lesson.value(u"TimeEnd"_s).toString(), u"16:00"_s);
    QCOMPARE(lesson.value(u"Hours"_s).toInt(), 3);
    QCOMPARE(lesson.value(u"teacherID"_s).toString(), u"F223456789"_s);
    QCOMPARE(lesson.value(u"teacher"_s).toString(), u"李美玲"_s);
    QCOMPARE(lesson.value(u"R1"_s).toString(), QString());
    QCOMPARE(lesson.value(u"CR_DATE"_s).toString(), stamp);
    const QSqlRecord first
        = Row(u"select * from Course where INDEX_KEY = ? and CNo4 = 'A101'"_s, { ClassKey });
    QCOMPARE(first.value(u"noonRS"_s).toString(), u"12:00"_s);
    QCOMPARE(first.value(u"R1"_s).toString(), u"10:30"_s);
}

void TestClassImport::secondImportChangesNothing()
{
    QString error;
    QVERIFY2(Download(0, QDateTime(QDate(2026, 12, 10), QTime(9, 0)), &error), qPrintable(error));
    const QStringList before = DumpAll({ u"CR_DATE"_s });
    QVERIFY2(Download(0, QDateTime(QDate(2026, 12, 10), QTime(10, 0)), &error), qPrintable(error));
    QCOMPARE(DumpAll({ u"CR_DATE"_s }), before);
    // The second import's stamp is on every row it wrote.
    QCOMPARE(
        QueryValue(u"select count(*) from Booking where CR_DATE = '20261210100000'"_s).toInt(), 6);
    QCOMPARE(
        QueryValue(u"select count(*) from Course where CR_DATE = '20261210100000'"_s).toInt(), 4);
}

void TestClassImport::reimportRemovesDroppedStudentsOnly()
{
    QString error;
    QVERIFY2(Download(0, QDateTime(QDate(2026, 12, 10), QTime(9, 0)), &error), qPrintable(error));
    // Enrolled by hand: a teacher from the lesson window (no CR_DATE), a student from the
    // enrolment window (CR_DATE a date), a temporary enrolment made at the station.
    ExecSql(
        u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE, CR_TYPE) values (?, 'K123456789', '林講師', '講師', '課程')"_s,
        { ClassKey });
    ExecSql(
        u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE, CR_TYPE, CR_DATE) values (?, 'M123456789', '現場報名', '學員', '逐筆', '2026/12/10')"_s,
        { ClassKey });
    ExecSql(
        u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE) values (?, 'N123456789', '臨時', '學員')"_s,
        { ClassKey });
    // A student of another class with the same number prefix is none of this import's business.
    ExecSql(
        u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE, CR_DATE) values ('1150100000101', 'B223456789', '林小華', '學員', '20200101000000')"_s);

    QVERIFY(m_fake->set(u"drop=B223456789"_s));
    const auto summary = Download(0, QDateTime(QDate(2026, 12, 11), QTime(9, 0)), &error);
    QVERIFY2(summary, qPrintable(error));
    QCOMPARE(summary->students, 3);
    QCOMPARE(summary->studentsRemoved, 1);
    QCOMPARE(QueryValue(u"select count(*) from Booking where INDEX_KEY = ? and ID = 'B223456789'"_s,
                 { ClassKey })
                 .toInt(),
        0);
    for (const QString &id : { u"K123456789"_s, u"M123456789"_s, u"N123456789"_s })
        QVERIFY2(QueryValue(u"select count(*) from Booking where INDEX_KEY = ? and ID = ?"_s,
                     { ClassKey, id })
                     .toInt()
                == 1,
            qPrintable(id));
    QCOMPARE(
        QueryValue(u"select count(*) from Booking where INDEX_KEY = '1150100000101'"_s).toInt(), 1);
    QCOMPARE(
        QueryValue(u"select count(*) from Course where INDEX_KEY = ?"_s, { ClassKey }).toInt(), 4);
}

void TestClassImport::failuresLeaveTheDatabaseUnchanged_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("expected");
    QTest::newRow("student list 500") << u"status=500&path=stuListDoc"_s << u"HTTP 500"_s;
    QTest::newRow("student list 404") << u"status=404&path=stuListDoc"_s << u"HTTP 404"_s;
    QTest::newRow("token 503") << u"status=503&path=getToken"_s << u"HTTP 503"_s;
    QTest::newRow("token broken JSON") << u"brokenjson=1&path=getToken"_s << u"無法解讀"_s;
    QTest::newRow("student list cut short") << u"truncated=1"_s << u"欄位不足"_s;
    QTest::newRow("student list too slow") << u"slow=3&path=stuListDoc"_s << u"逾時"_s;
    QTest::newRow("certificate for another host") << u"wronghost=1"_s << u"憑證"_s;
}

void TestClassImport::failuresLeaveTheDatabaseUnchanged()
{
    QFETCH(QString, switches);
    QFETCH(QString, expected);
    QString error;
    QVERIFY2(Download(0, QDateTime(QDate(2026, 12, 10), QTime(9, 0)), &error), qPrintable(error));
    ExecSql(u"update Courses set Course = '改過的名稱' where CourseId = ?"_s, { ClassNo });
    const QStringList before = DumpAll();

    const auto list = ClassImport::ParseClassList(
        Service()->FetchClassListText().value, QDate::currentDate(), &error);
    QVERIFY(list);
    QVERIFY(m_fake->set(switches));
    // A client of its own: its first connection meets the switched service.
    auto service = Service(1000);
    const auto summary = ClassImport::DownloadClass(*service, WorkingConnection(),
        list->entries.at(0), Organisation, QDateTime(QDate(2026, 12, 11), QTime(9, 0)), &error);
    QVERIFY(!summary);
    QVERIFY2(error.contains(expected), qPrintable(error));
    QCOMPARE(DumpAll(), before);
}

void TestClassImport::classWithoutTeacherAndReorderedColumns()
{
    QString error;
    const auto summary = Download(2, QDateTime(QDate(2026, 12, 10), QTime(9, 0)), &error);
    QVERIFY2(summary, qPrintable(error));
    QCOMPARE(summary->students, 2);
    QCOMPARE(summary->teachers, 0);
    const QString key = u"1150100000300"_s;
    QCOMPARE(QueryValue(u"select count(*) from Booking where INDEX_KEY = ?"_s, { key }).toInt(), 2);
    QCOMPARE(QueryValue(
                 u"select count(*) from Booking where INDEX_KEY = ? and (ID is null or ID = '')"_s,
                 { key })
                 .toInt(),
        0);
    const QSqlRecord g = Row(u"select * from Booking where ID = 'G123456782'"_s, {});
    QCOMPARE(g.value(u"NAME"_s).toString(), u"陳建國"_s);
    QCOMPARE(g.value(u"Address"_s).toString(), u"桃園市中壢區中大路300號"_s);
    QCOMPARE(g.value(u"eMail"_s).toString(), u"chen@example.com"_s);
    QCOMPARE(g.value(u"TEL"_s).toString(), u"03-1234567"_s);
    QCOMPARE(QueryValue(u"select teacherID from Course where INDEX_KEY = ?"_s, { key }).toString(),
        QString());
}

void TestClassImport::blankClassNumberIsRefused()
{
    WebClassEntry entry;
    entry.classNo = u"  "_s;
    QString error;
    const QStringList before = DumpAll();
    QVERIFY(!ClassImport::WriteClass(
        WorkingConnection(), entry, {}, {}, Organisation, QDateTime::currentDateTime(), &error));
    QCOMPARE(error, u"講習編號空白，無法匯入"_s);
    QCOMPARE(DumpAll(), before);
}

void TestClassImport::studentListReading_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>(
        "expected"); // id|name|address|tel|mobile|email per student, or "!" + error part

    QTest::newRow("two records, last without line feed")
        << "no,sno,name,tnsadr,tel,tel2,mobile,email\n1,A1,甲,addr,t,t2,m,e\n2,A2,乙,addr2,t,t2,m,null"_ba
        << QStringList { u"A1|甲|addr|t|m|e"_s, u"A2|乙|addr2|t|m|"_s };
    QTest::newRow("null in an earlier record is empty too, text containing null stays")
        << "sno,name,tnsadr,tel,tel2,mobile,email\nA1,Annull,null,t,,m,null\r\n\r\n"_ba
        << QStringList { u"A1|Annull||t|m|"_s };
    QTest::newRow("byte order mark and quoted line feed")
        << "\xEF\xBB\xBFsno,name,tnsadr,tel,tel2,mobile,email\nA1,\"甲\",\"一行\n二行\",t,,m,e\n"_ba
        << QStringList { u"A1|甲|一行\n二行|t|m|e"_s };
    QTest::newRow("missing column")
        << "sno,name,tel,tel2,mobile,email\nA1,甲,t,,m,e"_ba << QStringList { u"!tnsadr"_s };
    QTest::newRow("short record")
        << "sno,name,tnsadr,tel,tel2,mobile,email\nA1,甲,a,t,,m,e\nA2,乙"_ba
        << QStringList { u"!第 3 行欄位不足"_s };
    QTest::newRow("no identity number") << "sno,name,tnsadr,tel,tel2,mobile,email\n,甲,a,t,,m,e"_ba
                                        << QStringList { u"!第 2 行沒有身分證字號"_s };
    QTest::newRow("header only") << "sno,name,tnsadr,tel,tel2,mobile,email\n"_ba << QStringList();
}

void TestClassImport::studentListReading()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);
    QString error;
    const auto students = ClassImport::ParseStudentList(text, &error);
    if (!expected.isEmpty() && expected.first().startsWith(u'!')) {
        QVERIFY(!students);
        QVERIFY2(error.contains(expected.first().mid(1)), qPrintable(error));
        return;
    }
    QVERIFY2(students, qPrintable(error));
    QStringList got;
    for (const WebStudent &s : *students)
        got << QStringList { s.id, s.name, s.address, s.tel, s.mobile, s.email }.join(u'|');
    QCOMPARE(got, expected);
}

void TestClassImport::certificateGate()
{
    RecordingUrlOpener browser;
    auto service = Service();
    GateOutcome gate = service->PassGate(true);
    QCOMPARE(gate.state, GateState::NoCheckToken);
    QCOMPARE(gate.message, u"請先 【驗自然人憑證】"_s);

    QCOMPARE(service->StartCertificateCheck(), QString());
    const QString token = TrainingService::CheckToken();
    QVERIFY(token.startsWith(u"chk"_s));
    QCOMPARE(
        browser.opened, QStringList { m_fake->base() + u"/sctstulist/checkPki?token="_s + token });

    // Not yet checked in the browser: the class list forgets the token, other actions keep it.
    gate = service->PassGate(false);
    QCOMPARE(gate.state, GateState::NotChecked);
    QCOMPARE(gate.message, u"憑證沒驗過或已逾時 請再 【驗自然人憑證】"_s);
    QCOMPARE(TrainingService::CheckToken(), token);
    QCOMPARE(service->PassGate(true).state, GateState::NotChecked);
    QVERIFY(TrainingService::CheckToken().isEmpty());

    QCOMPARE(service->StartCertificateCheck(), QString());
    QVERIFY(m_fake->markChecked(TrainingService::CheckToken()));
    QVERIFY(service->PassGate(true).passed());

    // The state is asked anew each time: a failing service fails the gate with its reason.
    QVERIFY(m_fake->set(u"status=500&path=getPkiStat"_s));
    gate = service->PassGate(true);
    QCOMPARE(gate.state, GateState::Failed);
    QVERIFY(gate.message.contains(u"HTTP 500"_s));
}

void TestClassImport::courseUploadBodyIsExact()
{
    ExecSql(
        u"insert into Course (INDEX_KEY, Subject, CNo4, CNo2, DateStart, TimeStart, TimeEnd, "
        u"Hours, teacher, teacherID, R1, CourseContent) "
        "values (?, ?, 'A101', '必修', '2026/12/10', '09:00', '12:00', 3, '張志明', 'E123456789', null, ?)"_s,
        { ClassKey, u"法規 \"新\" 版\\附錄"_s, u"第一行\n第二行\t完"_s });
    ExecSql(
        u"insert into Course (INDEX_KEY, Subject, CNo4, DateStart, TimeStart, Hours, teacherID) "
        "values (?, '急救', 'A102', '2026/12/09', '13:00', null, 'F223456789')"_s,
        { ClassKey });
    const QList<QSqlRecord> lessons = CourseUpload::LessonsOfClass(WorkingConnection(), ClassKey);
    QCOMPARE(lessons.size(), 2);
    const QString expected
        = uR"([{"subject":"急救","cno4":"A102","cno2":"","datestart":"2026/12/09","timestart":"13:00","timeend":"","hours":"","teacher":"","teacherid":"F223456789","noonrs":"","noonre":"","nightrs":"","nightre":"","r1":"","r2":"","r3":"","courseno":"","cr_date":"","coursecontent":""},)"
          uR"({"subject":"法規 \"新\" 版\\附錄","cno4":"A101","cno2":"必修","datestart":"2026/12/10","timestart":"09:00","timeend":"12:00","hours":3,"teacher":"張志明","teacherid":"E123456789","noonrs":"","noonre":"","nightrs":"","nightre":"","r1":"","r2":"","r3":"","courseno":"","cr_date":"","coursecontent":"第一行\n第二行\t完"}])"_s;
    QCOMPARE(CourseUpload::LessonsJson(lessons), expected);
    QCOMPARE(CourseUpload::JsonString(QString(QChar(0x01)) + u"\r\b\f"_s), uR"("\u0001\r\b\f")"_s);
}

void TestClassImport::courseUploadThroughTheService()
{
    QString error;
    QVERIFY2(Download(0, QDateTime(QDate(2026, 12, 10), QTime(9, 0)), &error), qPrintable(error));
    auto service = Service();
    const CourseUpload::Outcome outcome
        = CourseUpload::Upload(*service, WorkingConnection(), u"00"_s, ClassKey, ClassNo);
    QVERIFY(outcome.sent);
    QCOMPARE(outcome.message, u"資料成功上傳"_s);
    const QJsonObject form = m_fake->posted().last().toObject().value(u"form"_s).toObject();
    QCOMPARE(form.value(u"index_key"_s).toString(), ClassNo);
    QVERIFY(form.value(u"token"_s).toString().startsWith(u"svc"_s));
    QCOMPARE(form.value(u"data"_s).toString(),
        CourseUpload::LessonsJson(CourseUpload::LessonsOfClass(WorkingConnection(), ClassKey)));

    QVERIFY(m_fake->set(u"refuse=課程代碼錯誤"_s));
    const CourseUpload::Outcome refused
        = CourseUpload::Upload(*service, WorkingConnection(), u"00"_s, ClassKey, ClassNo);
    QVERIFY(!refused.sent);
    QCOMPARE(refused.message, u"資料上傳失敗:課程代碼錯誤"_s);

    QVERIFY(m_fake->set(u"status=500&path=uploadCourse"_s));
    const CourseUpload::Outcome failed
        = CourseUpload::Upload(*service, WorkingConnection(), u"00"_s, ClassKey, ClassNo);
    QVERIFY(!failed.sent);
    QVERIFY2(failed.message.contains(u"/sctcls/api/uploadCourse"_s)
            && failed.message.contains(u"HTTP 500"_s),
        qPrintable(failed.message));
}

void TestClassImport::courseUploadRefusals_data()
{
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("station 01") << u"01"_s << QString() << u"本上傳作業限制電腦編號必須為00"_s;
    QTest::newRow("third lesson without teacher identity")
        << u"00"_s << u"update Course set teacherID = ' ' where CNo4 = 'A103'"_s
        << u"所有課程需填講師身分證資料"_s;
    QTest::newRow("lesson without subject code")
        << u"00"_s << u"update Course set CNo4 = null where CNo4 = 'A104'"_s
        << u"所有課程需填課程編號與課程名稱"_s;
    QTest::newRow("no lessons") << u"00"_s << u"delete from Course"_s << u"無課程資料可上傳"_s;
}

void TestClassImport::courseUploadRefusals()
{
    QFETCH(QString, station);
    QFETCH(QString, change);
    QFETCH(QString, message);
    QString error;
    QVERIFY2(Download(0, QDateTime(QDate(2026, 12, 10), QTime(9, 0)), &error), qPrintable(error));
    if (!change.isEmpty())
        ExecSql(change);
    const qsizetype postedBefore = m_fake->posted().size();
    auto service = Service();
    const CourseUpload::Outcome outcome
        = CourseUpload::Upload(*service, WorkingConnection(), station, ClassKey, ClassNo);
    QVERIFY(outcome.refused);
    QCOMPARE(outcome.message, message);
    QCOMPARE(m_fake->posted().size(), postedBefore);
}

void TestClassImport::personnelMarking()
{
    for (const QString &id : { u"A123456789"_s, u"B223456789"_s, u"C123456780"_s })
        ExecSql(
            u"insert into PSPN (ID, IDNO, NAME, STATUS) values (?, ?, '某人', '')"_s, { id, id });
    // Two persons signed for lessons of the class; the third only for another class.
    ExecSql(
        u"insert into PSIO (IDNO, IODATE, IOTIME, INDEX_KEY) values ('A123456789', '1151210', '085500', ?)"_s,
        { QString(ClassNo + u"A10109:00"_s) });
    ExecSql(
        u"insert into PSIO (IDNO, IODATE, IOTIME, INDEX_KEY) values ('B223456789', '1151211', '085500', ?)"_s,
        { QString(ClassNo + u"A10209:00"_s) });
    ExecSql(
        u"insert into PSIO (IDNO, IODATE, IOTIME, INDEX_KEY) values ('C123456780', '1151211', '085500', '11501000003B20113:30')"_s);
    QCOMPARE(ClassImport::MarkPersonnelOfClass(WorkingConnection(), u"  "_s), 0);
    QCOMPARE(QueryValue(u"select count(*) from PSPN where STATUS = 'A'"_s).toInt(), 0);
    ClassImport::MarkPersonnelOfClass(WorkingConnection(), ClassNo + u" "_s);
    QCOMPARE(QueryToList(u"IDNO"_s, u"select IDNO from PSPN where STATUS = 'A' order by IDNO"_s),
        (QStringList { u"A123456789"_s, u"B223456789"_s }));
}

QTEST_GUILESS_MAIN(TestClassImport)
#include "tst_classimport.moc"
