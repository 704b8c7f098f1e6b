#include "core/DbFunctions.h"
#include "core/SysIni.h"
#include "core/JetFunctions.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QRegularExpression>
#include <QDir>
#include <QProcess>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlError>
#include <QStandardPaths>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestDbFunctions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void queryValueTyping_data();
    void queryValueTyping();
    void valuesAreBoundNeverPasted();
    void missingTextsAreBoundByEachHelpersRule_data();
    void missingTextsAreBoundByEachHelpersRule();
    void runQueryOrSqlErrorThrowsTheDriversError();
    void rejectedStatementsThrow_data();
    void rejectedStatementsThrow();
    void queryToList();

    void execSqlSwallowsExecSqlOnReports();
    void execSqlScript_data();
    void execSqlScript();

    void tableExists();
    void fieldExists_data();
    void fieldExists();

    void nextSerialNumber_data();
    void nextSerialNumber();
    void nextSerialNumberWhere();
    void serialNumberRefusesNamesThatAreNotIdentifiers();

    void blankTextFieldsToNull();
    void readSysIni_data();
    void readSysIni();

    void jetFunctions_data();
    void jetFunctions();
    void jetFunctionsOnTemplateConnection();

    void openRefusesBadFiles_data();
    void openRefusesBadFiles();
    void openSwitchesOnWalAndFullSync();
    void checksLeaveTheStationsLockOnTheFile();
    void dataModulesHaveTheirOwnConnections();

private:
    void exec(const QString &sql, QSqlDatabase db = {});
    QStringList column(const QString &sql, QSqlDatabase db = {});
    QSqlDatabase con1() { return m_db->dm().Con1(); }
    // Opens a template database with sys_ini rows on ConSample.
    void openSample();

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestDbFunctions::init()
{
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_db = std::make_unique<TestDatabase>();
}

void TestDbFunctions::cleanup()
{
    m_db.reset();
    m_prompter.reset();
}

void TestDbFunctions::exec(const QString &sql, QSqlDatabase db)
{
    if (!db.isValid())
        db = con1();
    QSqlQuery query(db);
    QString statement = sql;
    if (IsPostgres(db)) // the tables of these tests in PostgreSQL's words
        statement.replace(QRegularExpression(u"\\bTEXT\\((\\d+)\\)"_s), u"text"_s);
    if (!query.exec(statement))
        QFAIL(qPrintable(sql + u": "_s + query.lastError().text()));
}

QStringList TestDbFunctions::column(const QString &sql, QSqlDatabase db)
{
    if (!db.isValid())
        db = con1();
    QSqlQuery query(db);
    QStringList values;
    if (!query.exec(sql))
        return {u"<error> "_s + query.lastError().text()};
    while (query.next())
        values << (query.isNull(0) ? u"<null>"_s : query.value(0).toString());
    return values;
}

void TestDbFunctions::openSample()
{
    const QString path = JoinPath(m_db->dir(), m_db->globals().SampleDbFileName);
    QVERIFY(TestDatabase::CreateEmptyDatabase(path));
    QVERIFY(m_db->dm().OpenSampleDatabase(path));
    const QSqlDatabase sample = m_db->dm().ConSample();
    exec(u"create table sys_ini (SystemName TEXT(20), ini1 TEXT(50), ini2 TEXT(100), ini3 TEXT(255))"_s,
         sample);
    exec(u"insert into sys_ini values ('Rolvan', 'Base', '課間休息分鐘限制', '30')"_s, sample);
    exec(u"insert into sys_ini values ('Rolvan', 'Base', '遲到早退分鐘認定X', NULL)"_s, sample);
    exec(u"insert into sys_ini values ('Rolvan', 'Base', '每小時須上滿分鐘數X', '')"_s, sample);
    exec(u"insert into sys_ini values ('Rolvan', 'Base', 'Padded', '  45  ')"_s, sample);
    exec(u"insert into sys_ini values ('Other', 'Base', 'ForOthers', '99')"_s, sample);
    exec(u"insert into sys_ini values ('Rolvan', 'Base', 'O''Key', 'quoted')"_s, sample);
}

// --- Single values ------------------------------------------------------------------------------

enum class Call { Working, Given };
Q_DECLARE_METATYPE(Call)

void TestDbFunctions::queryValueTyping_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariant>("expected");

    const QVariant null;
    const QVariant empty = QVariant(u""_s);
    const QVariant zero = QVariant(0);
    const QVariant day1990 = QVariant(QDate(1990, 1, 1));

    // Columns: Name TEXT(30) | Note TEXT | Hours SMALLINT | Total INTEGER | Rate REAL
    //          | Amount DECIMAL(10,2) | Paid BOOLEAN | Born DATE | Stamp DATETIME | Blob BLOB
    QTest::newRow("count over an empty table is 0")
        << Call::Working << u"select count(*) from Empty"_s << zero;
    QTest::newRow("text, no row: empty text, not NULL")
        << Call::Working << u"select Name from T where RID = 99"_s << empty;
    QTest::newRow("text, NULL value: empty text")
        << Call::Working << u"select Name from T where RID = 2"_s << empty;
    QTest::newRow("text value trimmed")
        << Call::Working << u"select Name from T where RID = 1"_s << QVariant(u"王 小明"_s);
    QTest::newRow("unsized text trimmed")
        << Call::Working << u"select Note from T where RID = 1"_s << QVariant(u"a b"_s);
    QTest::newRow("small integer, no row: 0")
        << Call::Working << u"select Hours from T where RID = 99"_s << zero;
    QTest::newRow("integer, NULL value: 0")
        << Call::Working << u"select Total from T where RID = 2"_s << zero;
    QTest::newRow("integer value unchanged")
        << Call::Working << u"select Total from T where RID = 1"_s << QVariant(42);
    QTest::newRow("floating point, no row: 0")
        << Call::Working << u"select Rate from T where RID = 99"_s << zero;
    QTest::newRow("decimal, no row: 0")
        << Call::Working << u"select Amount from T where RID = 99"_s << zero;
    QTest::newRow("yes/no, no row: NULL")
        << Call::Working << u"select Paid from T where RID = 99"_s << null;
    QTest::newRow("date, no row: NULL")
        << Call::Working << u"select Born from T where RID = 99"_s << null;
    QTest::newRow("date-time, no row: empty text")
        << Call::Working << u"select Stamp from T where RID = 99"_s << empty;
    QTest::newRow("date-time value as trimmed text")
        << Call::Working << u"select Stamp from T where RID = 1"_s << QVariant(u"2025/05/03 14:07:09"_s);
    QTest::newRow("binary, no row: NULL")
        << Call::Working << u"select Blob from T where RID = 99"_s << null;
    QTest::newRow("expression with a text value")
        << Call::Working << u"select Name || '!' from T where RID = 1"_s << QVariant(u"王 小明 !"_s);

    QTest::newRow("on a connection: text, no row: empty text")
        << Call::Given << u"select Name from T where RID = 99"_s << empty;
    QTest::newRow("on a connection: date, no row: 1990/1/1")
        << Call::Given << u"select Born from T where RID = 99"_s << day1990;
    QTest::newRow("on a connection: date-time, NULL: 1990/1/1")
        << Call::Given << u"select Stamp from T where RID = 2"_s << day1990;
    QTest::newRow("on a connection: integer, no row: 0")
        << Call::Given << u"select Total from T where RID = 99"_s << zero;
    QTest::newRow("on a connection: yes/no, no row: NULL")
        << Call::Given << u"select Paid from T where RID = 99"_s << null;
    QTest::newRow("on a connection: count")
        << Call::Given << u"select count(*) from T"_s << QVariant(2);
}

void TestDbFunctions::queryValueTyping()
{
    QFETCH(Call, call);
    QFETCH(QString, sql);
    QFETCH(QVariant, expected);

    exec(u"begin"_s);
    exec(u"create table Empty (x INTEGER)"_s);
    if (TestBackend::UsesPostgres()) {
        // The same kinds of column in PostgreSQL's words (the schema's text is citext).
        exec(u"create extension if not exists citext"_s);
        exec(u"create table T (RID INTEGER PRIMARY KEY, Name citext, Note text, Hours SMALLINT,"
             u" Total INTEGER, Rate REAL, Amount DECIMAL(10,2), Paid BOOLEAN, Born DATE,"
             u" Stamp TIMESTAMP, Blob BYTEA)"_s);
        exec(u"insert into T values (1, '  王 小明 ', ' a b ', 3, 42, 1.5, 2.25, true, '2025-05-03',"
             u" '2025-05-03 14:07:09', '\\x00')"_s);
    } else {
        exec(u"create table T (RID INTEGER PRIMARY KEY, Name TEXT(30), Note TEXT, Hours SMALLINT,"
             u" Total INTEGER, Rate REAL, Amount DECIMAL(10,2), Paid BOOLEAN, Born DATE,"
             u" Stamp DATETIME, Blob BLOB)"_s);
        exec(u"insert into T values (1, '  王 小明 ', ' a b ', 3, 42, 1.5, 2.25, 1, '2025/05/03',"
             u" ' 2025/05/03 14:07:09 ', x'00')"_s);
    }
    exec(u"insert into T (RID) values (2)"_s);
    exec(u"commit"_s);

    const QVariant actual =
        call == Call::Working ? QueryValueIn(sql, con1()) : QueryValueOn(sql, con1());
    QCOMPARE(actual.isNull(), expected.isNull());
    if (expected.isNull())
        return;
    if (expected.typeId() == QMetaType::QString || expected.typeId() == QMetaType::QDate) {
        QCOMPARE(actual.typeId(), expected.typeId());
        QCOMPARE(actual, expected);
    } else {
        QCOMPARE(actual.toLongLong(), expected.toLongLong());
    }
}

void TestDbFunctions::valuesAreBoundNeverPasted()
{
    exec(u"create table PSPN (ID TEXT(255), NAME TEXT(30))"_s);
    const QString name = u"O'Brien 陳'; drop table PSPN; --"_s;
    ExecSqlQuiet(u"insert into PSPN (ID, NAME) values (?, ?)"_s, con1(), {u"A123456789"_s, name});
    QCOMPARE(QueryValueIn(u"select NAME from PSPN where ID = ?"_s, con1(), {u"A123456789"_s})
                 .toString(),
             name);
    QCOMPARE(QueryValueIn(u"select ID from PSPN where NAME = ?"_s, con1(), {name}).toString(),
             u"A123456789"_s);
    QCOMPARE(QueryToListOn(u"ID"_s, u"select ID from PSPN where NAME like ?"_s, con1(),
                           {u"O'Brien%"_s}),
             QStringList{u"A123456789"_s});
    QVERIFY(ExecSqlOn(u"update PSPN set ID = ? where NAME = ?"_s, con1(), {u"B'2"_s, name}));
    QCOMPARE(QueryValueOn(u"select ID from PSPN"_s, con1()).toString(), u"B'2"_s);

    // A missing text is an empty text, as it was when values were pasted between quotes:
    // it must not become NULL and slip past "= ''".
    ExecSqlQuiet(u"insert into PSPN (ID, NAME) values (?, ?)"_s, con1(), {u"C3"_s, QString()});
    QCOMPARE(QueryValueIn(u"select count(*) from PSPN where NAME = ?"_s, con1(), {u""_s}).toInt(),
             1);
    ExecSqlQuiet(u"insert into PSPN (ID, NAME) values (?, ?)"_s, con1(), {u"D4"_s, QVariant()});
    QCOMPARE(QueryValueIn(u"select count(*) from PSPN where NAME is null"_s, con1()).toInt(), 1);
    QVERIFY(m_prompter->all().isEmpty());
}

void TestDbFunctions::missingTextsAreBoundByEachHelpersRule_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("stored");

    // The station's statements take a missing text for the empty text; copied rows and records
    // whose blank texts are NULL keep NULL.
    QTest::newRow("RunQuery, missing text") << u"RunQuery"_s << QVariant(QString()) << u""_s;
    QTest::newRow("RunQuery, NULL") << u"RunQuery"_s << QVariant() << u"<null>"_s;
    QTest::newRow("ExecPrepared, missing text")
        << u"ExecPrepared"_s << QVariant(QString()) << u""_s;
    QTest::newRow("RunQueryAsIs, missing text")
        << u"RunQueryAsIs"_s << QVariant(QString()) << u"<null>"_s;
    QTest::newRow("RunQueryAsIs, empty text") << u"RunQueryAsIs"_s << QVariant(u""_s) << u""_s;
    QTest::newRow("RunQueryOrSqlError, missing text")
        << u"RunQueryOrSqlError"_s << QVariant(QString()) << u"<null>"_s;
}

void TestDbFunctions::missingTextsAreBoundByEachHelpersRule()
{
    QFETCH(QString, routine);
    QFETCH(QVariant, value);
    QFETCH(QString, stored);
    exec(u"create table T (A TEXT(5))"_s);

    const QString insert = u"insert into T values (?)"_s;
    if (routine == u"RunQuery"_s) {
        RunQuery(insert, con1(), {value});
    } else if (routine == u"ExecPrepared"_s) {
        QSqlQuery query = PrepareOn(insert, con1());
        ExecPrepared(query, {value});
    } else if (routine == u"RunQueryAsIs"_s) {
        RunQueryAsIs(insert, con1(), {value});
    } else {
        RunQueryOrSqlError(insert, con1(), {value});
    }
    QCOMPARE(column(u"select A from T"_s), QStringList{stored});
}

void TestDbFunctions::runQueryOrSqlErrorThrowsTheDriversError()
{
    try {
        RunQueryOrSqlError(u"select x from NoSuchTable"_s, con1());
        QFAIL("no QSqlError");
    } catch (const QSqlError &error) {
        // The server's own words, for the caller to show as they are.
        const QString words = TestBackend::UsesPostgres() ? u"does not exist"_s : u"no such table"_s;
        QVERIFY2(error.text().contains(words), qPrintable(error.text()));
    }
}

void TestDbFunctions::rejectedStatementsThrow_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("detail");

    QTest::newRow("QueryValue, missing table")
        << u"QueryValue"_s << u"select x from NoSuchTable"_s << u"no such table"_s;
    QTest::newRow("QueryValueOn, syntax")
        << u"QueryValueOn"_s << u"selec 1"_s << u"syntax error"_s;
    QTest::newRow("QueryToList, missing column")
        << u"QueryToList"_s << u"select Missing from T"_s << u"no such column"_s;
    QTest::newRow("QueryToList, field name not in the result")
        << u"QueryToListNamed"_s << u"select A from T"_s << u"找不到欄位"_s;
    QTest::newRow("FieldExists, missing table")
        << u"FieldExists"_s << u"NoSuchTable"_s << u"no such table"_s;
    QTest::newRow("QueryValue, too few values")
        << u"QueryValue"_s << u"select A from T where A = ? and A = ?"_s << u""_s;
}

void TestDbFunctions::rejectedStatementsThrow()
{
    QFETCH(QString, routine);
    QFETCH(QString, sql);
    QFETCH(QString, detail);
    exec(u"create table T (A TEXT(5))"_s);

    try {
        if (routine == u"QueryValue"_s)
            QueryValueIn(sql, con1(), {1});
        else if (routine == u"QueryValueOn"_s)
            QueryValueOn(sql, con1());
        else if (routine == u"QueryToList"_s)
            QueryToListOn(QString(), sql, con1());
        else if (routine == u"QueryToListNamed"_s)
            QueryToListOn(u"Missing"_s, sql, con1());
        else
            FieldExists(u"A"_s, sql, con1());
        QFAIL("no DatabaseError");
    } catch (const DatabaseError &error) {
        QVERIFY2(error.message().contains(sql), qPrintable(error.message()));
        // The database's own words name what is wrong.
        static const QHash<QString, QString> postgres { { u"no such table"_s, u"does not exist"_s },
                                                        { u"no such column"_s, u"does not exist"_s } };
        const QString words = TestBackend::UsesPostgres() ? postgres.value(detail, detail) : detail;
        QVERIFY2(error.message().contains(words), qPrintable(error.message()));
    }
    QVERIFY(m_prompter->all().isEmpty());
}

void TestDbFunctions::queryToList()
{
    exec(u"create table Course (CNo4 TEXT(50), Subject TEXT(50))"_s);
    QCOMPARE(QueryToListOn(u"Subject"_s, u"select CNo4, Subject from Course"_s, con1()),
             QStringList());
    exec(u"insert into Course values ('0002', '消防 ')"_s);
    exec(u"insert into Course values ('0001', NULL)"_s);
    exec(u"insert into Course values ('0003', '急救')"_s);
    const QString sql = u"select CNo4, Subject from Course order by CNo4"_s;
    QCOMPARE(QueryToListOn(QString(), sql, con1()), (QStringList{u"0001"_s, u"0002"_s, u"0003"_s}));
    QCOMPARE(QueryToListOn(u"subject"_s, sql, con1()),
             (QStringList{u""_s, u"消防 "_s, u"急救"_s}));
    QCOMPARE(QueryToListOn(u"CNo4"_s,
                           u"select CNo4, Subject from Course where CNo4 > ? order by CNo4"_s,
                           con1(), {u"0001"_s}),
             (QStringList{u"0002"_s, u"0003"_s}));
}

// --- Statements without rows --------------------------------------------------------------------

void TestDbFunctions::execSqlSwallowsExecSqlOnReports()
{
    exec(u"create table T (A TEXT(5))"_s);

    ExecSqlQuiet(u"insert into Missing values (1)"_s, con1());
    QVERIFY(m_prompter->all().isEmpty());

    const QString bad = u"insert into Missing values (2)"_s;
    QVERIFY(!ExecSqlOn(bad, con1()));
    QCOMPARE(m_prompter->errors.size(), 1);
    QVERIFY(m_prompter->errors.first().startsWith(bad));
    QVERIFY(m_prompter->errors.first().contains(u"執行失敗"_s));

    m_prompter->clear();
    QVERIFY(ExecSqlOn(u"insert into T values (?)"_s, con1(), {u"x"_s}));
    QVERIFY(m_prompter->all().isEmpty());
    QCOMPARE(column(u"select A from T"_s), QStringList{u"x"_s});

    // A closed connection is a database error like any other.
    m_db->dm().CloseWorking();
    QVERIFY(!m_db->dm().isWorkingOpen());
    ExecSqlQuiet(u"insert into T values ('y')"_s, con1());
    QVERIFY(m_prompter->all().isEmpty());
    QVERIFY(!ExecSqlOn(u"insert into T values ('y')"_s, con1()));
    QCOMPARE(m_prompter->errors.size(), 1);
    try {
        QueryValueIn(u"select A from T"_s, con1());
        QFAIL("no DatabaseError");
    } catch (const DatabaseError &error) {
        const QString where = TestBackend::UsesPostgres() ? m_db->dm().Con1().databaseName()
                                                          : QDir::toNativeSeparators(m_db->workingPath());
        QVERIFY2(error.message().contains(u"資料庫未開啟 "_s + where),
                 qPrintable(error.message()));
    }
}

void TestDbFunctions::execSqlScript_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("failures");

    QTest::newRow("two statements each followed by ;")
        << u"insert into S values ('a');\n  insert into S values ('b');  \n"_s
        << QStringList{u"a"_s, u"b"_s} << 0;
    QTest::newRow("last statement without ;")
        << u"insert into S values ('a'); insert into S values ('b')"_s
        << QStringList{u"a"_s, u"b"_s} << 0;
    QTest::newRow(";; runs an empty statement between")
        << u"insert into S values ('a');;insert into S values ('b')"_s
        << QStringList{u"a"_s, u"b"_s} << 1;
    QTest::newRow("a failing statement does not stop the rest")
        << u"insert into Missing values ('a'); insert into S values ('b');"_s
        << QStringList{u"b"_s} << 1;
    QTest::newRow("blank script runs nothing") << u"  \n "_s << QStringList() << 0;
    QTest::newRow("lone ; is one empty statement") << u";"_s << QStringList() << 1;
}

void TestDbFunctions::execSqlScript()
{
    QFETCH(QString, script);
    QFETCH(QStringList, rows);
    QFETCH(int, failures);
    exec(u"create table S (A TEXT(5))"_s);

    ExecSqlScript(script, con1());
    QCOMPARE(column(u"select A from S order by A"_s), rows);
    QCOMPARE(m_prompter->errors.size(), failures);
    for (const QString &error : std::as_const(m_prompter->errors))
        QVERIFY(error.contains(u"執行失敗"_s));
}

// --- Tables and columns -------------------------------------------------------------------------

void TestDbFunctions::tableExists()
{
    QVERIFY(!TableExistsOn(u"psio"_s, con1()));
    exec(u"create table PSIO (DOOR TEXT(2))"_s);
    QVERIFY(TableExistsOn(u"psio"_s, con1()));
    QVERIFY(TableExistsOn(u"PSIO"_s, con1()));
    QVERIFY(!TableExistsOn(u"PSI"_s, con1()));
    QVERIFY(!TableExistsOn(u"sqlite_master"_s, con1()));
    QVERIFY(TableExistsOn(u"Psio"_s, con1()));
    // The template connection is not open: no table names, so no.
    QVERIFY(!TableExistsOn(u"PSIO"_s, m_db->dm().ConSample()));
}

void TestDbFunctions::fieldExists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");

    QTest::newRow("exact column") << u":IDNO!"_s << true;
    QTest::newRow("bare name") << u"IDNO"_s << true;
    QTest::newRow("bare part of a longer name") << u"識別碼"_s << true;
    QTest::newRow("bare part of the joined text") << u"IODATE!:ID"_s << true;
    QTest::newRow("exact part is no column") << u":IDN!"_s << false;
    QTest::newRow("letter case counts") << u":idno!"_s << false;
    QTest::newRow("absent") << u"RID2"_s << false;
}

void TestDbFunctions::fieldExists()
{
    if (TestBackend::UsesPostgres())
        QSKIP("the letter case of a column outside the schema: PostgreSQL keeps none");
    QFETCH(QString, name);
    QFETCH(bool, exists);
    exec(u"create table OldPSIO (舊識別碼 INTEGER, IODATE TEXT(7), IDNO TEXT(10))"_s);
    QCOMPARE(FieldExists(name, u"OldPSIO"_s, con1()), exists);
}

// --- Serial codes -------------------------------------------------------------------------------

void TestDbFunctions::nextSerialNumber_data()
{
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("messages");

    QTest::newRow("first temporary identity")
        << QStringList{u"A123456789"_s} << u"VID"_s << 10 << u"VID0000001"_s << 0;
    QTest::newRow("largest code plus one")
        << QStringList{u"VID0000005"_s, u"VID0000041"_s, u"A123456789"_s, u"VIE0000099"_s}
        << u"VID"_s << 10 << u"VID0000042"_s << 0;
    QTest::newRow("declared size when no width")
        << QStringList{u"C0000000000000000009"_s} << u"C"_s << 0 << u"C0000000000000000010"_s << 0;
    QTest::newRow("empty prefix: only codes before A")
        << QStringList{u"0000007"_s, u"0000041"_s, u"B999999"_s} << QString() << 7 << u"0000042"_s
        << 0;
    QTest::newRow("number part that is no number counts as 0")
        << QStringList{u"VIDABCDEFG"_s} << u"VID"_s << 10 << u"VID0000001"_s << 1;
    QTest::newRow("wildcard characters in the prefix are plain text")
        << QStringList{u"V90000009"_s, u"VX0000009"_s} << u"V_"_s << 10 << u"V_00000001"_s << 0;
    QTest::newRow("apostrophe in the prefix")
        << QStringList{u"O'00000003"_s} << u"O'"_s << 10 << u"O'00000004"_s << 0;
}

void TestDbFunctions::nextSerialNumber()
{
    QFETCH(QStringList, codes);
    QFETCH(QString, prefix);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QFETCH(int, messages);
    if (TestBackend::UsesPostgres() && width == 0)
        QSKIP("on PostgreSQL the code length of a table comes from the schema, not from this "
              "test's own table");

    exec(u"create table PSPN (ID TEXT(20), NAME TEXT(30))"_s);
    for (const QString &code : codes)
        ExecSqlQuiet(u"insert into PSPN (ID) values (?)"_s, con1(), {code});

    QCOMPARE(NextSerialNumberOn(con1(), u"PSPN"_s, prefix, u"ID"_s, width), expected);
    QCOMPARE(m_prompter->all().size(), messages);
}

void TestDbFunctions::nextSerialNumberWhere()
{
    exec(u"create table Booking (INDEX_KEY TEXT(25), ID TEXT(10))"_s);
    const QString insert = u"insert into Booking values (?, ?)"_s;
    ExecSqlQuiet(insert, con1(), {u"11301010001"_s, u"VID0000003"_s});
    ExecSqlQuiet(insert, con1(), {u"11301010001"_s, u"A123456789"_s});
    ExecSqlQuiet(insert, con1(), {u"11302020002"_s, u"VID0000009"_s});

    const QString condition = u" Index_key = ? and "_s;
    QCOMPARE(NextSerialNumberWhereOn(con1(), u"Booking"_s, condition, {u"11301010001"_s},
                                     u"VID"_s, u"ID"_s),
             u"VID0000004"_s);
    QCOMPARE(NextSerialNumberWhereOn(con1(), u"Booking"_s, condition, {u"11309090009"_s},
                                     u"VID"_s, u"ID"_s),
             u"VID0000001"_s);
    // Declared size 10 without a width; the condition's value may hold a quote.
    QCOMPARE(NextSerialNumberWhereOn(con1(), u"Booking"_s, condition, {u"O'1"_s}, u"VID"_s,
                                     u"ID"_s),
             u"VID0000001"_s);
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             NextSerialNumberWhereOn(con1(), u"Booking"_s, u" Index_key = ?"_s,
                                                     {u"11301010001"_s}, u"VID"_s, u"ID"_s));
}

void TestDbFunctions::serialNumberRefusesNamesThatAreNotIdentifiers()
{
    exec(u"create table PSPN (ID TEXT(10))"_s);
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             NextSerialNumberOn(con1(), u"PSPN; drop table PSPN"_s, u"VID"_s,
                                                u"ID"_s, 10));
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             NextSerialNumberOn(con1(), u"PSPN"_s, u"VID"_s, u"ID) or (1=1"_s, 10));
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             FieldExists(u"ID"_s, u"PSPN where 1=1 --"_s, con1()));
    QVERIFY(TableExistsOn(u"PSPN"_s, con1()));
}

// --- Records ------------------------------------------------------------------------------------

void TestDbFunctions::blankTextFieldsToNull()
{
    exec(u"create table Courses (CourseId TEXT(20), Place TEXT(60), CourseMemo TEXT, Memo2 TEXT,"
         u" Hours INTEGER)"_s);
    QSqlQuery columns(con1());
    QVERIFY(columns.exec(u"select * from Courses where 1 = 0"_s));
    QSqlRecord record = columns.record();
    record.setValue(u"CourseId"_s, u"11301010001"_s);
    record.setValue(u"Place"_s, u""_s);
    record.setNull(u"CourseMemo"_s);
    record.setValue(u"Memo2"_s, u""_s);
    record.setValue(u"Hours"_s, 0);

    BlankTextFieldsToNull(record);

    QCOMPARE(record.value(u"CourseId"_s).toString(), u"11301010001"_s);
    QVERIFY(record.isNull(u"Place"_s));
    QVERIFY(!record.isNull(u"CourseMemo"_s));
    QCOMPARE(record.value(u"CourseMemo"_s).toString(), u""_s);
    QVERIFY(!record.isNull(u"Memo2"_s));
    QCOMPARE(record.value(u"Memo2"_s).toString(), u""_s);
    QVERIFY(!record.isNull(u"Hours"_s));
    QCOMPARE(record.value(u"Hours"_s).toInt(), 0);
}

// --- Template settings --------------------------------------------------------------------------

void TestDbFunctions::readSysIni_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("stored value") << u"Base"_s << u"課間休息分鐘限制"_s << u"30"_s;
    QTest::newRow("section in other letter case") << u"BASE"_s << u"課間休息分鐘限制"_s << u"30"_s;
    QTest::newRow("no row: default") << u"Base"_s << u"不存在"_s << u"default"_s;
    QTest::newRow("NULL value: empty value") << u"Base"_s << u"遲到早退分鐘認定X"_s << u"empty"_s;
    QTest::newRow("empty value: empty value") << u"Base"_s << u"每小時須上滿分鐘數X"_s << u"empty"_s;
    QTest::newRow("value trimmed") << u"Base"_s << u"Padded"_s << u"45"_s;
    QTest::newRow("another program's row: default") << u"Base"_s << u"ForOthers"_s << u"default"_s;
    QTest::newRow("key with an apostrophe") << u"Base"_s << u"O'Key"_s << u"quoted"_s;
}

void TestDbFunctions::readSysIni()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    openSample();
    QCOMPARE(ReadSysIni(m_db->dm().ConSample(), section, key, u"empty"_s, u"default"_s), expected);
}

// --- Access functions ---------------------------------------------------------------------------

void TestDbFunctions::jetFunctions_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected");

    QTest::newRow("mid of an identity") << u"mid('A123456789', 6, 5)"_s << u"56789"_s;
    QTest::newRow("mid of Chinese text") << u"mid('王小明先生', 2, 2)"_s << u"小明"_s;
    QTest::newRow("mid to the end") << u"mid('王小明先生', 3)"_s << u"明先生"_s;
    QTest::newRow("mid past the end") << u"mid('abc', 5, 2)"_s << u""_s;
    QTest::newRow("mid longer than the rest") << u"mid('abc', 2, 10)"_s << u"bc"_s;
    QTest::newRow("mid of a number") << u"mid(123456, 2, 3)"_s << u"234"_s;
    QTest::newRow("mid of NULL") << u"mid(NULL, 1, 1)"_s << u"<null>"_s;
    QTest::newRow("val of digits") << u"val('0042')"_s << u"42"_s;
    QTest::newRow("val skips blanks anywhere") << u"val(' 1 2 3abc')"_s << u"123"_s;
    QTest::newRow("val with sign, point and exponent") << u"val('-3.5E2x')"_s << u"-350"_s;
    QTest::newRow("val of a fraction") << u"val('1.25 hours')"_s << u"1.25"_s;
    QTest::newRow("val of text without a number") << u"val('abc')"_s << u"0"_s;
    QTest::newRow("val of empty text") << u"val('')"_s << u"0"_s;
    QTest::newRow("val of Chinese text") << u"val('十二')"_s << u"0"_s;
    QTest::newRow("val of hexadecimal") << u"val('&H1F')"_s << u"31"_s;
    QTest::newRow("val is a whole number for sums") << u"typeof(val('7'))"_s << u"integer"_s;
    QTest::newRow("val compares as a number") << u"val('10') > val('9')"_s << u"1"_s;
    QTest::newRow("ucase beyond A-Z") << u"ucase('abc äé ｂ')"_s << u"ABC ÄÉ Ｂ"_s;
    QTest::newRow("ucase keeps Chinese") << u"ucase('陳abc')"_s << u"陳ABC"_s;
    QTest::newRow("lcase") << u"lcase('VID')"_s << u"vid"_s;
    QTest::newRow("len counts characters") << u"len('王小明')"_s << u"3"_s;
}

void TestDbFunctions::jetFunctions()
{
    QFETCH(QString, expression);
    QFETCH(QString, expected);
    if (TestBackend::UsesPostgres()) {
        // The same questions in PostgreSQL's words: its yes/no is a boolean, and its type names
        // come from pg_typeof (val gives a double there; sums of whole values stay whole).
        if (expression.startsWith(u"typeof("_s))
            QSKIP("SQLite's storage classes; PostgreSQL's val is double precision");
        if (expression.contains(u" > "_s))
            expected = expected == u"1"_s ? u"true"_s : u"false"_s;
    }
    QCOMPARE(column(u"select "_s + expression), QStringList{expected});
}

void TestDbFunctions::jetFunctionsOnTemplateConnection()
{
    openSample();
    QCOMPARE(QueryValueOn(u"select mid(ini2, 1, 2) from sys_ini where ini3 = ?"_s,
                          m_db->dm().ConSample(), {u"30"_s}).toString(),
             u"課間"_s);
    // A start below 1 is an error of the statement, not a silent empty text.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, QueryValueIn(u"select mid('abc', 0, 1)"_s, con1()));
    QCOMPARE(JetVal(u"&HFFFF"_s).toLongLong(), -1LL);
    QCOMPARE(JetVal(u"1e"_s).toLongLong(), 1LL);
}

// --- Opening ------------------------------------------------------------------------------------

void TestDbFunctions::openRefusesBadFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected"); // the case the message names
    QTest::newRow("random bytes") << u"random"_s << u"不是本系統的資料庫"_s;
    QTest::newRow("text file") << u"text"_s << u"不是本系統的資料庫"_s;
    QTest::newRow("damaged header") << u"damaged"_s << u"不是本系統的資料庫"_s;
    QTest::newRow("missing file") << u"missing"_s << u"找不到資料庫檔案"_s;
    QTest::newRow("folder") << u"folder"_s << u"找不到資料庫檔案"_s;
    // SQLite would take an empty file for an empty database and write into it.
    QTest::newRow("empty file") << u"empty"_s << u"資料庫檔案已損毀"_s;
}

void TestDbFunctions::openRefusesBadFiles()
{
    if (TestBackend::UsesPostgres())
        QSKIP("about the SQLite files of a station");
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    const QString folder = JoinPath(m_db->dir(), u"資料 夾#1"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString path = JoinPath(folder, u"Quorin.db"_s);

    QByteArray bytes;
    if (kind == u"random"_s) {
        bytes.resize(8192);
        for (char &b : bytes)
            b = char(QRandomGenerator::global()->bounded(256));
    } else if (kind == u"text"_s) {
        bytes = "[Base]\r\nComputerNo=01\r\n";
    } else if (kind == u"damaged"_s) {
        QFile original(m_db->workingPath());
        QVERIFY(original.open(QIODevice::ReadOnly));
        bytes = original.readAll();
        QVERIFY(bytes.size() >= 100);
        bytes[0] = 'X'; // no longer "SQLite format 3"
    } else if (kind == u"folder"_s) {
        QVERIFY(QDir().mkpath(path));
    }
    if (!bytes.isEmpty() || kind == u"empty"_s) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    TDM &dm = m_db->dm();
    QVERIFY(dm.isWorkingOpen());
    QString error;
    QVERIFY(!dm.OpenWorkingDatabase(path, &error));
    QVERIFY(!dm.isWorkingOpen());
    QVERIFY2(error.startsWith(u"無法開啟資料庫 "_s + QDir::toNativeSeparators(path) + u"："_s),
             qPrintable(error));
    QVERIFY2(error.contains(u"："_s + expected), qPrintable(error));

    if (kind == u"missing"_s) {
        QVERIFY(!QFile::exists(path));
    } else if (kind != u"folder"_s) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }
    // Nothing else was made beside it (no journal, no WAL files).
    const QStringList left = QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    QCOMPARE(left, kind == u"missing"_s ? QStringList() : QStringList{u"Quorin.db"_s});

    // The template connection refuses the same way.
    QVERIFY(!dm.OpenSampleDatabase(path, &error));
    QVERIFY(error.contains(QDir::toNativeSeparators(path)));
}

void TestDbFunctions::openSwitchesOnWalAndFullSync()
{
    if (TestBackend::UsesPostgres())
        QSKIP("about the SQLite files of a station");
    const QSqlDatabase db = con1();
    QCOMPARE(column(u"PRAGMA journal_mode"_s, db), QStringList{u"wal"_s});
    QCOMPARE(column(u"PRAGMA synchronous"_s, db), QStringList{u"2"_s}); // FULL
    QCOMPARE(column(u"PRAGMA busy_timeout"_s, db), QStringList{u"5000"_s});

    // Reopening after a close (or on a path with blanks and Chinese) gives the same.
    const QString folder = JoinPath(m_db->dir(), u"資料 夾 100%?"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString path = JoinPath(folder, u"Quorin.db"_s);
    QVERIFY(TestDatabase::CreateEmptyDatabase(path));
    QString error;
    QVERIFY2(m_db->dm().OpenWorkingDatabase(path, &error), qPrintable(error));
    QCOMPARE(con1().databaseName().isEmpty(), false);
    exec(u"create table PSIO (DOOR TEXT(2))"_s);
    QCOMPARE(column(u"PRAGMA journal_mode"_s), QStringList{u"wal"_s});
    QVERIFY(TableExistsOn(u"PSIO"_s, con1()));
    // The statement went into the file chosen, not a file of another name.
    QVERIFY(QFile::exists(path + u"-wal"_s));
}

// The checks of a file that is open (the page check after the start, the check before an open)
// read it through SQLite only. A descriptor opened and closed beside the station's connection
// would drop the process's locks on the file: another program that then opens and closes the
// database (a backup from cron) takes itself for the last connection and deletes the write-ahead
// log under the station, whose later sign-ins go into a deleted file nobody else reads.
void TestDbFunctions::checksLeaveTheStationsLockOnTheFile()
{
    if (TestBackend::UsesPostgres())
        QSKIP("about the SQLite files of a station");
    const QString python = QStandardPaths::findExecutable(u"python3"_s);
    if (python.isEmpty())
        QSKIP("python3 is needed as the other program on the file");
    const QString path = m_db->workingPath();
    auto otherProgram = [&](const QString &statement) -> QString {
        QProcess process;
        process.start(python, { u"-c"_s,
                                u"import sqlite3, sys\n"
                                "c = sqlite3.connect(sys.argv[1])\n"
                                "print(c.execute(sys.argv[2]).fetchone()[0])\n"
                                "c.close()\n"_s,
                                path, statement });
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            return u"failed: "_s + QString::fromUtf8(process.readAllStandardError());
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    };
    exec(u"create table SignIns (n integer)"_s);
    exec(u"insert into SignIns values (1)"_s);

    m_db->dm().StartPageCheck(path, m_db->dir());
    m_db->dm().WaitForPageCheck();
    QVERIFY(CheckOurDatabase(path).problem != DatabaseProblem::Damaged);
    QCOMPARE(otherProgram(u"select count(*) from sqlite_master"_s), u"1"_s);
    QVERIFY2(QFile::exists(path + u"-wal"_s), "the station's write-ahead log was deleted");

    for (int n = 2; n <= 5; ++n)
        exec(u"insert into SignIns values (%1)"_s.arg(n));
    // Every row the station stored is in the file another program reads (and in what a station
    // killed now would leave behind).
    QCOMPARE(otherProgram(u"select count(*) from SignIns"_s), u"5"_s);
}

void TestDbFunctions::dataModulesHaveTheirOwnConnections()
{
    if (TestBackend::UsesPostgres())
        QSKIP("about the SQLite files of a station");
    TDM &first = m_db->dm();
    QCOMPARE(TestDataModule::current(), &first);
    QString names;
    {
        TestDataModule second(m_db->globals());
        QCOMPARE(TestDataModule::current(), &second);
        QVERIFY(second.Con1().connectionName() != first.Con1().connectionName());
        QVERIFY(second.ConSample().connectionName() != first.ConSample().connectionName());
        QVERIFY(!second.isWorkingOpen());
        QVERIFY(second.OpenWorkingDatabase(m_db->workingPath()));
        names = second.Con1().connectionName();
        QVERIFY(QSqlDatabase::contains(names));
    }
    QVERIFY(!QSqlDatabase::contains(names));
    // The first one is still open but no longer the current one.
    QCOMPARE(TestDataModule::current(), nullptr);
    QVERIFY(first.isWorkingOpen());
}

QTEST_GUILESS_MAIN(TestDbFunctions)
#include "tst_dbfunctions.moc"
