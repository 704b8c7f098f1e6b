// Old Access (Jet 3 and Jet 4) databases read into a staging SQLite database: every table and row
// arrives with the values mdbtools' own mdb-export prints, the .mdb is never changed, a cut-short
// file is refused with nothing written, and a staged database goes through the conversion into a
// new Quorin.db.

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "OldDatabaseFixture.h"
#include "admin/DatabaseConversion.h"
#include "admin/JetStaging.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

using Rows = QList<QStringList>;
Q_DECLARE_METATYPE(Rows)

namespace {

QString FixturePath(const QString &name)
{
    return QStringLiteral(ROLVAN_JET_FIXTURES) + u'/' + name;
}

QString TemplatePath() { return qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s; }

QByteArray FileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

const QString NullText = u"<NULL>"_s;

// The rows mdb-export prints for a table, each field as printed (NULL as "<NULL>", quotes removed).
Rows MdbExport(const QString &file, const QString &table)
{
    QProcess process;
    process.start(u"mdb-export"_s,
        { u"-0"_s, NullText, u"-b"_s, u"hex"_s, u"-D"_s, u"%Y/%m/%d %H:%M:%S"_s, u"-T"_s,
            u"%Y/%m/%d %H:%M:%S"_s, file, table });
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return { { u"<mdb-export failed>"_s } };
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    Rows rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (inQuotes) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
            quoted = true;
        } else if (c == u',' || c == u'\n') {
            row.append(field);
            field.clear();
            quoted = false;
            if (c == u'\n') {
                rows.append(row);
                row.clear();
            }
        } else {
            field += c;
        }
    }
    Q_UNUSED(quoted);
    if (!rows.isEmpty())
        rows.removeFirst(); // the header
    return rows;
}

// A date as mdb-export prints it ("YYYY/MM/DD HH:MM:SS") in the forms the staging stores;
// empty when mdb-export could not print the date (libmdb prints day 00 outside 1900 .. 2700).
QString StoredDateForm(const QString &printed)
{
    if (printed.size() != 19 || printed.mid(8, 2) == u"00"_s)
        return QString();
    if (printed.startsWith(u"1899/12/30 "_s))
        return printed.mid(11);
    if (printed.endsWith(u" 00:00:00"_s))
        return printed.left(10);
    return printed;
}

class Connection
{
public:
    explicit Connection(const QString &path, const QString &name = u"test"_s)
        : m_name(name)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Connection()
    {
        {
            QSqlDatabase d = db();
            d.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    // Every row as text; NULL as "<NULL>", blobs as upper-case hex.
    Rows rows(const QString &sql) const
    {
        Rows result;
        QSqlQuery query(db());
        if (!query.exec(sql))
            return { { u"<error>"_s } };
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < query.record().count(); ++i) {
                const QVariant v = query.value(i);
                if (v.isNull())
                    row.append(NullText);
                else if (v.typeId() == QMetaType::QByteArray)
                    row.append(QString::fromLatin1(v.toByteArray().toHex().toUpper()));
                else
                    row.append(v.toString());
            }
            result.append(row);
        }
        return result;
    }
    QStringList column(const QString &sql) const
    {
        QStringList values;
        for (const QStringList &row : rows(sql))
            values.append(row.value(0));
        return values;
    }

private:
    QString m_name;
};

// The declared staging type of each column of a table.
QHash<QString, QString> ColumnTypes(const Connection &db, const QString &table)
{
    QHash<QString, QString> types;
    QSqlQuery query(db.db());
    query.prepare(u"select name, type from pragma_table_info(?)"_s);
    query.addBindValue(table);
    query.exec();
    while (query.next())
        types.insert(query.value(0).toString(), query.value(1).toString().toUpper());
    return types;
}

} // namespace

class TestJetStaging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void dateText_data();
    void dateText();
    void jet3CodePage_data();
    void jet3CodePage();

    void everyRowAsMdbExportPrintsIt_data();
    void everyRowAsMdbExportPrintsIt();
    void dateTestRowsWrittenDown();
    void jet3TextInAnotherCodePage();
    void progressAndSummaryPerTable();

    void rowWithAValueThatCannotBeReadIsSkippedAndNamed();
    void cutShortOrForeignFileIsRefused_data();
    void cutShortOrForeignFileIsRefused();

    void stagedOldDatabaseGoesThroughTheConversion();
    void jetConversionMakesQuorinDbAndLeavesTheMdb();
    void jetConversionOnlyWhenQuorinDbIsMissing();

private:
    QString DataPath(const QString &name) const { return JoinPath(m_dataDir, name); }

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_dataDir;
    Globals m_globals;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<TDM> m_dm;
};

void TestJetStaging::initTestCase()
{
    if (QStandardPaths::findExecutable(u"mdb-export"_s).isEmpty())
        QSKIP("mdb-export (Debian package mdbtools) is needed to compare with");
}

void TestJetStaging::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    const QString exeDir = m_root->filePath(u"exe"_s);
    m_dataDir = m_root->filePath(u"資料"_s);
    QVERIFY(QDir().mkpath(exeDir));
    QVERIFY(QDir().mkpath(m_dataDir));
    QVERIFY(QFile::copy(TemplatePath(), JoinPath(exeDir, u"SampleQuorin.db"_s)));
    m_globals = Globals();
    m_globals.ExeDir = exeDir + QDir::separator();
    SetGlobals(&m_globals);
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, m_dataDir);
    WriteIniSetting(IniSection::Base, IniKey::BackupLocationPath, m_root->filePath(u"備份"_s));
    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9)));
    SetCurrentClock(m_clock.get());
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_dm = std::make_unique<TDM>(m_globals);
}

void TestJetStaging::cleanup()
{
    m_dm.reset();
    m_prompter.reset();
    SetCurrentClock(nullptr);
    m_clock.reset();
    SetGlobals(nullptr);
    m_root.reset();
}

void TestJetStaging::dateText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("a date") << 44532.0 << u"2021/12/02"_s;
    QTest::newRow("date and time") << 44532.75 << u"2021/12/02 18:00:00"_s;
    QTest::newRow("a time of no day") << 0.3756944444444444 << u"09:01:00"_s;
    QTest::newRow("seconds rounded") << 44532.0 + 59.6 / 86400 << u"2021/12/02 00:01:00"_s;
    QTest::newRow("rounding into the next day") << 44532.9999999 << u"2021/12/03"_s;
    QTest::newRow("before 1899/12/30: the fraction is still the time")
        << -1.25 << u"1899/12/29 06:00:00"_s;
    QTest::newRow("year 1000") << -328716.0 << u"1000/01/01"_s;
    QTest::newRow("9999/12/31") << 2958465.0 << u"9999/12/31"_s;
    QTest::newRow("after 9999") << 2958466.0 << QString();
    QTest::newRow("before year 100") << -657435.0 << QString();
    QTest::newRow("not a number") << std::nan("") << QString();
}

void TestJetStaging::dateText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(JetStaging::DateText(value), text);
}

void TestJetStaging::jet3CodePage_data()
{
    QTest::addColumn<int>("fileCodePage");
    QTest::addColumn<int>("sortOrder");
    QTest::addColumn<int>("codePage");
    QTest::newRow("western file") << 1252 << 1033 << 1252;
    QTest::newRow("Taiwan sort order, western code page named") << 1252 << 0x0404 << 950;
    QTest::newRow("Taiwan bopomofo sort order") << 0 << 0x30404 << 950;
    QTest::newRow("Hong Kong") << 0 << 0x0c04 << 950;
    QTest::newRow("China") << 0 << 0x0804 << 936;
    QTest::newRow("code page named") << 950 << 1033 << 950;
    QTest::newRow("nothing named") << 0 << 0 << 1252;
}

void TestJetStaging::jet3CodePage()
{
    QFETCH(int, fileCodePage);
    QFETCH(int, sortOrder);
    QFETCH(int, codePage);
    QCOMPARE(JetStaging::Jet3CodePage(fileCodePage, sortOrder), codePage);
}

void TestJetStaging::everyRowAsMdbExportPrintsIt_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("table");
    const QStringList nwind = { u"Order Details"_s, u"Orders"_s, u"Products"_s, u"Shippers"_s,
        u"Categories"_s, u"Customers"_s, u"Employees"_s, u"Suppliers"_s, u"Umsätze"_s };
    for (const QString &table : nwind)
        QTest::newRow(qPrintable(u"Jet 3 "_s + table)) << u"nwind.mdb"_s << table;
    QTest::newRow("Jet 4 DateTest") << u"DateTestDatabase.mdb"_s << u"DateTest"_s;
}

void TestJetStaging::everyRowAsMdbExportPrintsIt()
{
    QFETCH(QString, fixture);
    QFETCH(QString, table);
    const QString staging = DataPath(u"staging.db"_s);
    const JetStaging::Result result = JetStaging::Stage(FixturePath(fixture), staging);

    // The staging database has the file's tables, in the file's order.
    QProcess tables;
    tables.start(u"mdb-tables"_s, { u"-1"_s, FixturePath(fixture) });
    QVERIFY(tables.waitForFinished(60000));
    QStringList expectedTables
        = QString::fromUtf8(tables.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QStringList stagedTables;
    for (const JetTableSummary &t : result.tables)
        stagedTables.append(t.table);
    QCOMPARE(stagedTables, expectedTables);

    const Rows expected = MdbExport(FixturePath(fixture), table);
    Connection db(staging);
    const QHash<QString, QString> types = ColumnTypes(db, table);
    QSqlQuery query(db.db());
    QVERIFY(query.exec(u"select * from \""_s + table + u"\" order by rowid"_s));
    const QSqlRecord record = query.record();
    const Rows staged = db.rows(u"select * from \""_s + table + u"\" order by rowid"_s);
    QCOMPARE(staged.size(), expected.size());
    QVERIFY(!staged.isEmpty());
    int checkedDates = 0;
    for (int r = 0; r < staged.size(); ++r) {
        QCOMPARE(staged.at(r).size(), expected.at(r).size());
        for (int c = 0; c < staged.at(r).size(); ++c) {
            const QString type = types.value(record.fieldName(c));
            const QString got = staged.at(r).at(c);
            const QString printed = expected.at(r).at(c);
            const QString where = table + u" row "_s + QString::number(r + 1) + u' '
                + record.fieldName(c) + u": "_s + got + u" / "_s + printed;
            if (printed == NullText || got == NullText) {
                QVERIFY2(got == printed, qPrintable(where));
            } else if (type == u"TEXT"_s && printed.size() == 19 && printed.at(4) == u'/'
                && printed.at(13) == u':') {
                const QString form = StoredDateForm(printed);
                if (!form.isEmpty()) { // libmdb prints no date outside 1900 .. 2700;
                                       // dateTestRowsWrittenDown has them
                    QVERIFY2(got == form, qPrintable(where));
                    ++checkedDates;
                }
            } else if (type == u"REAL"_s || type == u"DOUBLE"_s || type == u"CURRENCY"_s) {
                QVERIFY2(std::fabs(got.toDouble() - printed.toDouble())
                        <= 1e-6 * qMax(1.0, std::fabs(printed.toDouble())),
                    qPrintable(where));
            } else {
                QVERIFY2(got == printed, qPrintable(where));
            }
        }
    }
    if (table == u"Orders"_s)
        QVERIFY(checkedDates > 2000);

    for (const JetTableSummary &t : result.tables) {
        QCOMPARE(t.read, t.expected);
        QCOMPARE(t.converted, t.read);
        QCOMPARE(t.skipped, 0);
    }
}

void TestJetStaging::dateTestRowsWrittenDown()
{
    const QString staging = DataPath(u"staging.db"_s);
    const JetStaging::Result result
        = JetStaging::Stage(FixturePath(u"DateTestDatabase.mdb"_s), staging);
    QCOMPARE(result.jetVersion, 4);
    Connection db(staging);
    QCOMPARE(ColumnTypes(db, u"DateTest"_s),
        (QHash<QString, QString> { { u"IDCol"_s, u"INTEGER"_s }, { u"DateTimeCol"_s, u"TEXT"_s },
            { u"DateCol"_s, u"TEXT"_s }, { u"TimeCol"_s, u"TEXT"_s },
            { u"LongTextCol"_s, u"TEXT"_s }, { u"ShortTextCol"_s, u"VARCHAR(255)"_s } }));
    const Rows rows = db.rows(u"select * from DateTest order by rowid"_s);
    // mdb-export prints 1900/01/00 for the dates outside 1900 .. 2700; they are stored as they are.
    const Rows expected = {
        { u"1"_s, u"2021/12/02"_s, u"2021/12/02"_s, u"2021/12/02"_s, u"Hello"_s, u"Hello"_s },
        { u"2"_s, u"9999/01/01"_s, u"9999/01/01"_s, u"9999/01/01"_s, u"Year 9999"_s,
            u"Year 1999"_s },
        { u"3"_s, u"1898/01/01"_s, u"1899/01/01"_s, u"1900/01/01"_s, u"Pre-1900 years"_s,
            u"Pre-1900 years"_s },
        { u"4"_s, u"0632/01/01"_s, u"0633/01/01"_s, u"0634/01/01"_s, u"Pre-1000 years"_s,
            u"Pre-1000 years"_s },
        { u"5"_s, u"2021/12/02"_s, u"2021/12/02"_s, u"2021/12/02"_s,
            u"Escaped new line \\r\\n in field"_s, u"Escaped new line \\r\\n in field"_s },
        { u"6"_s, u"2021/12/02"_s, u"2021/12/02"_s, u"2021/12/02"_s, u"New line\r\nin field"_s,
            u"No new line"_s },
    };
    QCOMPARE(rows, expected);
}

void TestJetStaging::jet3TextInAnotherCodePage()
{
    // A Jet 3 file keeps its text in a code page: read as Big5 the same bytes are other characters,
    // so the code page really decides the text (a Traditional Chinese file is read as Big5).
    const QString staging = DataPath(u"staging.db"_s);
    JetStaging::Options big5;
    big5.jet3CodePage = 950;
    const JetStaging::Result result = JetStaging::Stage(FixturePath(u"nwind.mdb"_s), staging, big5);
    QCOMPARE(result.jetVersion, 3);
    QCOMPARE(result.tables.last().table, u"Ums酹ze"_s);
    Connection db(staging);
    QCOMPARE(db.column(u"select ShipAddress from Orders where OrderID = 10330"_s),
        QStringList { u"Carrera 52 con Ave. Bol癉ar #65-98 Llano Largo"_s });
}

void TestJetStaging::progressAndSummaryPerTable()
{
    const QString mdb = FixturePath(u"nwind.mdb"_s);
    const QByteArray before = FileHash(mdb);
    QList<JetStagingProgress> reports;
    const JetStaging::Result result = JetStaging::Stage(
        mdb, DataPath(u"staging.db"_s), {}, [&](const JetStagingProgress &p) { reports << p; });
    QCOMPARE(FileHash(mdb), before);

    QStringList announced;
    for (const JetStagingProgress &p : std::as_const(reports)) {
        QCOMPARE(p.tableCount, 9);
        if (announced.isEmpty() || announced.last() != p.table)
            announced << p.table;
    }
    QCOMPARE(announced.size(), 9);
    QCOMPARE(announced.first(), u"Order Details"_s);
    // Order Details (2155 rows) is reported along the way and at its end.
    QList<qint64> details;
    for (const JetStagingProgress &p : std::as_const(reports)) {
        if (p.table == u"Order Details"_s)
            details << p.rowsDone;
    }
    QCOMPARE(details, (QList<qint64> { 0, 500, 1000, 1500, 2000, 2155 }));

    QCOMPARE(
        result.tables.first().line(), u"Order Details：讀取 2155 筆，轉入 2155 筆，略過 0 筆"_s);
    QCOMPARE(result.summaryLines().size(), 9);
    QCOMPARE(result.rowsSkipped(), 0);
}

void TestJetStaging::rowWithAValueThatCannotBeReadIsSkippedAndNamed()
{
    // One date of DateTest damaged: its 8 bytes hold 1e300 instead of 2021/12/02.
    const QString mdb = DataPath(u"Quorin.mdb"_s);
    {
        QFile in(FixturePath(u"DateTestDatabase.mdb"_s));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        const double good = 44532.0;
        const double bad = 1e300;
        const qsizetype at = 85957;
        QCOMPARE(bytes.mid(at, 8), QByteArray(reinterpret_cast<const char *>(&good), 8));
        bytes.replace(at, 8, QByteArray(reinterpret_cast<const char *>(&bad), 8));
        QFile out(mdb);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    const JetStaging::Result result = JetStaging::Stage(mdb, DataPath(u"staging.db"_s));
    const JetTableSummary &table = result.tables.first();
    QCOMPARE(table.line(), u"DateTest：讀取 6 筆，轉入 5 筆，略過 1 筆"_s);
    QCOMPARE(table.skippedRows.size(), 1);
    QVERIFY2(table.skippedRows.first().startsWith(u"資料表「DateTest」第 "_s),
        qPrintable(table.skippedRows.first()));
    QVERIFY2(table.skippedRows.first().contains(
                 u"IDCol = 1，欄位「DateTimeCol」的日期值 1e+300 不是有效的日期"_s),
        qPrintable(table.skippedRows.first()));
    QCOMPARE(result.rowsSkipped(), 1);
    QVERIFY(result.summaryLines().contains(table.skippedRows.first()));
    Connection db(DataPath(u"staging.db"_s));
    QCOMPARE(db.column(u"select IDCol from DateTest order by IDCol"_s),
        (QStringList { u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s }));
}

void TestJetStaging::cutShortOrForeignFileIsRefused_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<qint64>(
        "keep"); // bytes of the fixture kept; -1 for a file that is no database
    QTest::addColumn<QString>("message");
    QTest::newRow("Jet 4 cut in the middle of a page")
        << u"DateTestDatabase.mdb"_s << qint64(4096 * 40 + 100) << u"不完整"_s;
    QTest::newRow("Jet 4 cut at a page boundary")
        << u"DateTestDatabase.mdb"_s << qint64(4096 * 20) << u"不完整"_s;
    QTest::newRow("Jet 3 cut at a page boundary, its data pages gone")
        << u"nwind.mdb"_s << qint64(2048 * 600) << u"不完整"_s;
    QTest::newRow("Jet 3 of one page") << u"nwind.mdb"_s << qint64(2048) << u"不完整"_s;
    QTest::newRow("not an Access file") << QString() << qint64(-1) << u"不是 Access 資料庫"_s;
}

void TestJetStaging::cutShortOrForeignFileIsRefused()
{
    QFETCH(QString, fixture);
    QFETCH(qint64, keep);
    QFETCH(QString, message);
    const QString mdb = DataPath(u"Quorin.mdb"_s);
    {
        QFile out(mdb);
        QVERIFY(out.open(QIODevice::WriteOnly));
        if (keep < 0) {
            out.write(QByteArray(8192, 'x'));
        } else {
            QFile in(FixturePath(fixture));
            QVERIFY(in.open(QIODevice::ReadOnly));
            out.write(in.read(keep));
        }
    }
    const QByteArray before = FileHash(mdb);
    const QString staging = DataPath(u"staging.db"_s);
    try {
        JetStaging::Stage(mdb, staging);
        QFAIL("the file should have been refused");
    } catch (const RolvanError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QDir::toNativeSeparators(mdb)), qPrintable(e.message()));
    }
    QCOMPARE(QDir(m_dataDir).entryList(QDir::Files), QStringList { u"Quorin.mdb"_s });
    QCOMPARE(FileHash(mdb), before);
}

void TestJetStaging::stagedOldDatabaseGoesThroughTheConversion()
{
    // What the staging makes of an old Quorin.mdb: the tables under their old names
    // "課程基本資料" and "報名資料", 識別碼, yes/no columns and 15-character lesson keys.
    const QString staged = DataPath(u"staged.db"_s);
    QVERIFY(OldDatabase::Build(staged));
    const QString temp = DataPath(m_globals.TempDbFileName);
    {
        QVERIFY(QFile::copy(TemplatePath(), temp));
        QFile::setPermissions(temp, QFile::ReadOwner | QFile::WriteOwner);
        Connection oldDb(staged, u"old"_s);
        Connection newDb(temp, u"new"_s);
        DatabaseConversion conversion(*m_dm);
        conversion.ConvertTables(oldDb.db(), newDb.db());
    }
    Connection db(temp, u"check"_s);
    QCOMPARE(db.rows(u"select CourseId, Course, Bookin from Courses order by RID"_s),
        (Rows { { u"A1234567890"_s, u"職業安全衛生教育訓練"_s, u"1"_s },
            { u"B2222222222"_s, u"勞工健康服務講習"_s, u"0"_s } }));
    QCOMPARE(db.rows(u"select ID, NAME, Score from Booking order by RID"_s),
        (Rows {
            { u"A123456789"_s, u"王小明"_s, u"Y"_s }, { u"C123456789"_s, u"林志強"_s, u"N"_s } }));
    QCOMPARE(db.column(u"select INDEX_KEY from PSIO order by RID"_s),
        (QStringList { u"A1234567890A00109:00"_s, u"A1234567890A00108:30"_s, u"A1234567890A002"_s,
            u"A1234567890A00213:30"_s }));
}

void TestJetStaging::jetConversionMakesQuorinDbAndLeavesTheMdb()
{
    const QString mdb = DataPath(u"Quorin.mdb"_s);
    QVERIFY(QFile::copy(FixturePath(u"DateTestDatabase.mdb"_s), mdb));
    const QByteArray before = FileHash(mdb);
    QCOMPARE(JetStaging::WaitingJetDatabase(m_dataDir), mdb);

    QStringList tableLines;
    DatabaseConversion conversion(*m_dm);
    conversion.setProgressCallback([&](const ConversionProgress &p) {
        if (tableLines.isEmpty() || tableLines.last() != p.tableLine)
            tableLines << p.tableLine;
    });
    const DatabaseConversion::JetResult result
        = conversion.RunFromJet(mdb, DatabaseConversion::DefaultOptions());

    QCOMPARE(result.databasePath, DataPath(u"Quorin.db"_s));
    QCOMPARE(result.staging.tables.size(), 1);
    QCOMPARE(result.staging.tables.first().line(), u"DateTest：讀取 6 筆，轉入 6 筆，略過 0 筆"_s);
    QVERIFY(tableLines.contains(u"讀取舊版資料表：DateTest （1/1） "_s));
    QVERIFY(tableLines.contains(u"檢查新資料庫 "_s));
    // The .mdb as it was; Quorin.db made from the template and open; no staging or temporary file.
    QCOMPARE(FileHash(mdb), before);
    QCOMPARE(
        QDir(m_dataDir).entryList(QDir::Files), (QStringList { u"Quorin.db"_s, u"Quorin.mdb"_s }));
    QVERIFY(m_dm->isWorkingOpen());
    QCOMPARE(JetStaging::WaitingJetDatabase(m_dataDir), QString());
}

void TestJetStaging::jetConversionOnlyWhenQuorinDbIsMissing()
{
    const QString mdb = DataPath(u"Quorin.mdb"_s);
    {
        QFile in(FixturePath(u"DateTestDatabase.mdb"_s));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QFile out(mdb);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(in.read(4096 * 30)); // cut short
    }
    DatabaseConversion conversion(*m_dm);
    try {
        conversion.RunFromJet(mdb, DatabaseConversion::DefaultOptions());
        QFAIL("a cut-short file should have been refused");
    } catch (const RolvanError &e) {
        QVERIFY2(e.message().contains(u"舊版資料庫未變更"_s), qPrintable(e.message()));
        QVERIFY2(e.message().contains(u"不完整"_s), qPrintable(e.message()));
    }
    QCOMPARE(QDir(m_dataDir).entryList(QDir::Files), QStringList { u"Quorin.mdb"_s });

    // With a Quorin.db beside it the old file waits for nobody and is never converted over it.
    QVERIFY(QFile::copy(TemplatePath(), DataPath(u"Quorin.db"_s)));
    QCOMPARE(JetStaging::WaitingJetDatabase(m_dataDir), QString());
    const QByteArray working = FileHash(DataPath(u"Quorin.db"_s));
    QVERIFY_THROWS_EXCEPTION(
        RolvanError, conversion.RunFromJet(mdb, DatabaseConversion::DefaultOptions()));
    QCOMPARE(FileHash(DataPath(u"Quorin.db"_s)), working);
}

QTEST_GUILESS_MAIN(TestJetStaging)
#include "tst_jetstaging.moc"
