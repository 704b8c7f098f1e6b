// The database backup and the conversion of an older working database to the template's layout:
// a backup taken while another connection writes holds every committed row, an older database
// is converted row by row, and a conversion that fails anywhere leaves Quorin.db as it was with
// the backup beside it.

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "OldDatabaseFixture.h"
#include "admin/DatabaseConversion.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

using Rows = QList<QStringList>;
Q_DECLARE_METATYPE(Rows)

namespace {

QString TemplatePath()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
}

QByteArray FileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Every row of a statement as text, NULL shown as "<NULL>".
Rows ReadRows(QSqlDatabase db, const QString &sql)
{
    Rows rows;
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        qWarning("%s", qPrintable(sql));
        return { { u"<error>"_s } };
    }
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < query.record().count(); ++i)
            row.append(query.isNull(i) ? u"<NULL>"_s : query.value(i).toString());
        rows.append(row);
    }
    return rows;
}

// A connection of the test's own on a file, removed when it goes.
class FileConnection
{
public:
    explicit FileConnection(const QString &path, const QString &name = u"test-file"_s)
        : m_name(name)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
        db.open();
    }
    ~FileConnection()
    {
        {
            QSqlDatabase d = db();
            d.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    Rows rows(const QString &sql) const { return ReadRows(db(), sql); }
    QString value(const QString &sql) const
    {
        const Rows r = rows(sql);
        return r.isEmpty() || r.first().isEmpty() ? QString() : r.first().first();
    }

private:
    QString m_name;
};

QString CountOf(const QString &path, const QString &table)
{
    FileConnection file(path, u"count"_s);
    return file.value(u"select count(*) from "_s + table);
}

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void yesNoBecomesYOrN_data();
    void yesNoBecomesYOrN();

    void backupHoldsEveryCommittedRowWhileAnotherConnectionWrites();
    void backupOnlyWritesNothingButTheBackup();
    void killedBackupsLeaveNoPartsBehind();
    void damagedDatabaseTheStationRefusedIsLeftAlone();
    void refusesABackupNameOrFolderItCannotUse_data();
    void refusesABackupNameOrFolderItCannotUse();

    void convertsAnOlderDatabase();
    void convertedTablesRowByRow_data();
    void convertedTablesRowByRow();

    void failedConversionLeavesTheDatabaseUnchanged_data();
    void failedConversionLeavesTheDatabaseUnchanged();

private:
    QString WorkingPath() const { return JoinPath(m_dataDir, m_globals.DbFileName); }
    QString TempPath() const { return JoinPath(m_dataDir, m_globals.TempDbFileName); }
    DatabaseConversion::Options ConvertOptions() const
    {
        DatabaseConversion::Options options = DatabaseConversion::DefaultOptions();
        options.backupOnly = false;
        return options;
    }
    // The working database built from the old fixture and opened as Con1, as the start-up does.
    void UseOldDatabase(const OldDatabase::Options &options = {});
    void UseTemplateAsDatabase();

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_dataDir;
    QString m_backupDir;
    Globals m_globals;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<TDM> m_dm;
};

void TestConversion::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    const QString exeDir = m_root->filePath(u"exe"_s);
    m_dataDir = m_root->filePath(u"data"_s);
    m_backupDir = m_root->filePath(u"備份"_s);
    QVERIFY(QDir().mkpath(exeDir));
    QVERIFY(QDir().mkpath(m_dataDir));
    QVERIFY(QFile::copy(TemplatePath(), JoinPath(exeDir, u"SampleQuorin.db"_s)));

    m_globals = Globals();
    m_globals.ExeDir = exeDir + QDir::separator();
    SetGlobals(&m_globals);
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, m_dataDir);
    WriteIniSetting(IniSection::Base, IniKey::BackupLocationPath, m_backupDir);

    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9)));
    SetCurrentClock(m_clock.get());
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_dm = std::make_unique<TDM>(m_globals);
}

void TestConversion::cleanup()
{
    m_dm.reset();
    m_prompter.reset();
    SetCurrentClock(nullptr);
    m_clock.reset();
    SetGlobals(nullptr);
    m_root.reset();
}

void TestConversion::UseOldDatabase(const OldDatabase::Options &options)
{
    QVERIFY(OldDatabase::Build(WorkingPath(), options));
    QString error;
    QVERIFY2(m_dm->OpenWorkingDatabase(WorkingPath(), &error), qPrintable(error));
}

void TestConversion::UseTemplateAsDatabase()
{
    QVERIFY(QFile::copy(TemplatePath(), WorkingPath()));
    QFile::setPermissions(WorkingPath(), QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(m_dm->OpenWorkingDatabase(WorkingPath(), &error), qPrintable(error));
}

void TestConversion::yesNoBecomesYOrN_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("stored 1") << QVariant(qlonglong(1)) << u"Y"_s;
    QTest::newRow("stored 0") << QVariant(qlonglong(0)) << u"N"_s;
    QTest::newRow("Jet true, -1") << QVariant(qlonglong(-1)) << u"Y"_s;
    QTest::newRow("bool false") << QVariant(false) << u"N"_s;
    QTest::newRow("text True") << QVariant(u"True"_s) << u"Y"_s;
    QTest::newRow("text false") << QVariant(u" false "_s) << u"N"_s;
    QTest::newRow("text -1") << QVariant(u"-1"_s) << u"Y"_s;
    QTest::newRow("text 0") << QVariant(u"0"_s) << u"N"_s;
    QTest::newRow("NULL") << QVariant() << u"N"_s;
}

void TestConversion::yesNoBecomesYOrN()
{
    QFETCH(QVariant, value);
    QFETCH(QString, expected);
    QCOMPARE(DatabaseConversion::YesNoText(value), expected);
}

void TestConversion::backupHoldsEveryCommittedRowWhileAnotherConnectionWrites()
{
    UseTemplateAsDatabase();

    // Another station's connection writes sign events in WAL mode and stays open; its last
    // transaction is still running when the backup is taken.
    FileConnection writer(WorkingPath(), u"writer"_s);
    QSqlQuery write(writer.db());
    QVERIFY(write.exec(u"PRAGMA journal_mode = WAL"_s));
    write.finish();
    QVERIFY(write.exec(u"PRAGMA wal_autocheckpoint = 0"_s));
    QVERIFY(writer.db().transaction());
    QVERIFY(write.prepare(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, INDEX_KEY) "
                          "values ('01', ?, '1140503', ?, '0', 'KB', 'N', 'A123456789001A00109:00')"_s));
    for (int i = 0; i < 300; ++i) {
        write.addBindValue(u"A%1"_s.arg(i, 9, 10, QLatin1Char('0')));
        write.addBindValue(u"08%1"_s.arg(i % 6000, 4, 10, QLatin1Char('0')));
        QVERIFY(write.exec());
    }
    QVERIFY(writer.db().commit());
    QVERIFY(writer.db().transaction());
    write.addBindValue(u"UNCOMMITTED"_s);
    write.addBindValue(u"090000"_s);
    QVERIFY(write.exec());

    // The committed rows are in the write-ahead log, not yet in the file itself.
    const QString plainCopy = m_root->filePath(u"plain-copy.db"_s);
    QVERIFY(QFile::copy(WorkingPath(), plainCopy));
    QCOMPARE(CountOf(plainCopy, u"PSIO"_s), u"0"_s);

    DatabaseConversion conversion(*m_dm);
    const DatabaseConversion::Result result = conversion.Run(DatabaseConversion::DefaultOptions());
    QVERIFY(writer.db().rollback());

    QCOMPARE(result.backupPath, JoinPath(m_backupDir, u"20250503140709_QuorinBackup.db"_s));
    QVERIFY(!result.converted);
    {
        FileConnection backup(result.backupPath, u"backup"_s);
        QCOMPARE(backup.value(u"PRAGMA integrity_check"_s), u"ok"_s);
        QCOMPARE(backup.value(u"select count(*) from PSIO"_s), u"300"_s);
        QCOMPARE(backup.value(u"select count(*) from PSIO where IDNO = 'UNCOMMITTED'"_s), u"0"_s);
        // One self-contained file: no log beside it is needed to read it.
        QCOMPARE(backup.value(u"PRAGMA journal_mode"_s), u"delete"_s);
    }
    QCOMPARE(QDir(m_backupDir).entryList(QDir::Files), QStringList{ u"20250503140709_QuorinBackup.db"_s });
    QVERIFY(m_dm->isWorkingOpen());
}

void TestConversion::backupOnlyWritesNothingButTheBackup()
{
    UseOldDatabase();
    m_dm->CloseWorking();
    const QByteArray before = FileHash(WorkingPath());
    QVERIFY(m_dm->OpenWorkingDatabase(WorkingPath()));

    // A backup of the same name from an earlier run in the same second is replaced.
    QVERIFY(QDir().mkpath(m_backupDir));
    {
        QFile stale(JoinPath(m_backupDir, u"20250503140709_QuorinBackup.db"_s));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("not a database");
    }

    QStringList lines;
    DatabaseConversion conversion(*m_dm);
    conversion.setProgressCallback([&](const ConversionProgress &p) { lines << p.tableLine; });
    const DatabaseConversion::Result result = conversion.Run(DatabaseConversion::DefaultOptions());

    QVERIFY(!result.converted);
    QCOMPARE(QDir(m_backupDir).entryList(QDir::Files), QStringList{ u"20250503140709_QuorinBackup.db"_s });
    QCOMPARE(CountOf(result.backupPath, u"課程基本資料"_s), u"2"_s);
    QVERIFY(lines.filter(u"轉換中"_s).isEmpty());
    QVERIFY(!QFile::exists(TempPath()));
    QVERIFY(m_dm->isWorkingOpen());
    QCOMPARE(ReadRows(m_dm->Con1(), u"select count(*) from 報名資料"_s), Rows{ { u"3"_s } });
    m_dm->CloseWorking();
    QCOMPARE(FileHash(WorkingPath()), before);
}

// A backup killed half-way leaves "<stamp>_QuorinBackup.db.part" as big as the database; the
// next backup removes those of our naming in the backup folder, and nothing else.
void TestConversion::killedBackupsLeaveNoPartsBehind()
{
    UseOldDatabase();
    QVERIFY(QDir().mkpath(m_backupDir));
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    auto make = [](const QString &path, const QDateTime &modified) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(64 * 1024, 'p'));
        file.flush();
        if (modified.isValid())
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    };
    const QStringList stale{ u"20250503120000_QuorinBackup.db.part"_s,
                             u"20250503120000_QuorinBackup.db.part-journal"_s,
                             u"20250502090000_QuorinBackup.db.part"_s };
    // Another station's backup being written now, a backup, and files not of our naming.
    const QStringList kept{ u"20250503140600_QuorinBackup.db.part"_s,
                            u"20250502090000_QuorinBackup.db"_s, u"notes.part"_s,
                            u"20250503120000_QuorinBackup.db.part.txt"_s };
    for (const QString &name : stale)
        make(JoinPath(m_backupDir, name), hourAgo);
    for (const QString &name : kept)
        make(JoinPath(m_backupDir, name),
             name.startsWith(u"20250503140600"_s) ? QDateTime() : hourAgo);
    const QString elsewhere = JoinPath(m_dataDir, u"20250503120000_QuorinBackup.db.part"_s);
    make(elsewhere, hourAgo);

    DatabaseConversion conversion(*m_dm);
    const DatabaseConversion::Result result = conversion.Run(DatabaseConversion::DefaultOptions());

    QStringList expected = kept;
    expected << u"20250503140709_QuorinBackup.db"_s;
    expected.sort();
    QStringList left = QDir(m_backupDir).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QCOMPARE(left, expected);
    QVERIFY(QFile::exists(elsewhere));
    QCOMPARE(CountOf(result.backupPath, u"課程基本資料"_s), u"2"_s);
}

// The station could not use the working database (a damaged table) and left it closed; the
// backup asked for from the administration menu fails and does not open it for writing either.
void TestConversion::damagedDatabaseTheStationRefusedIsLeftAlone()
{
    QVERIFY(QDir().mkpath(m_dataDir));
    QVERIFY(QFile::copy(TemplatePath(), WorkingPath()));
    QFile::setPermissions(WorkingPath(), QFile::ReadOwner | QFile::WriteOwner);
    {
        QFile file(WorkingPath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(7 * 4096)); // a page of the tables, past the schema
        file.write(QByteArray(4096, '\xA5'));
    }
    m_dm->CloseWorking();
    const QByteArray before = FileHash(WorkingPath());

    DatabaseConversion conversion(*m_dm);
    QVERIFY_THROWS_EXCEPTION(RolvanError, conversion.Run(DatabaseConversion::DefaultOptions()));
    QVERIFY(!m_dm->isWorkingOpen());
    QCOMPARE(FileHash(WorkingPath()), before);
}

void TestConversion::refusesABackupNameOrFolderItCannotUse_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("folder"); // relative to the test root; "@data" for the data folder
    QTest::addColumn<QString>("message");
    QTest::newRow("empty name") << u"  "_s << u"備份"_s << u"備份檔名不正確"_s;
    QTest::newRow("name with a folder") << u"../x.db"_s << u"備份"_s << u"備份檔名不正確"_s;
    QTest::newRow("empty folder") << u"x.db"_s << u" "_s << u"請輸入備份目錄"_s;
    QTest::newRow("the working file itself") << u"Quorin.db"_s << u"@data"_s << u"不可與資料庫檔案"_s;
    QTest::newRow("folder is a file") << u"x.db"_s << u"afile/sub"_s << u"資料庫備份失敗"_s;
}

void TestConversion::refusesABackupNameOrFolderItCannotUse()
{
    QFETCH(QString, fileName);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    UseOldDatabase();
    {
        QFile file(m_root->filePath(u"afile"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    m_dm->CloseWorking();
    const QByteArray before = FileHash(WorkingPath());
    QVERIFY(m_dm->OpenWorkingDatabase(WorkingPath()));

    DatabaseConversion::Options options = ConvertOptions();
    options.backupFileName = fileName;
    options.backupFolder = folder == u"@data"_s ? m_dataDir
        : folder.trimmed().isEmpty()             ? folder
                                                 : m_root->filePath(folder);
    DatabaseConversion conversion(*m_dm);
    try {
        conversion.Run(options);
        QFAIL("the run should have been refused");
    } catch (const RolvanError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QVERIFY(m_dm->isWorkingOpen());
    QVERIFY(!QFile::exists(TempPath()));
    m_dm->CloseWorking();
    QCOMPARE(FileHash(WorkingPath()), before);
}

void TestConversion::convertsAnOlderDatabase()
{
    UseOldDatabase();
    QList<ConversionProgress> progress;
    DatabaseConversion conversion(*m_dm);
    conversion.setProgressCallback([&](const ConversionProgress &p) { progress << p; });
    const DatabaseConversion::Result result = conversion.Run(ConvertOptions());

    QVERIFY(result.converted);
    QVERIFY(!QFile::exists(TempPath()));
    // The old file lives on as the backup, old tables and all.
    QCOMPARE(CountOf(result.backupPath, u"舊統計"_s), u"1"_s);

    // Con1 is open on the new database, which carries the template's version marker only.
    QVERIFY(m_dm->isWorkingOpen());
    QString templateVersion;
    {
        FileConnection sample(TemplatePath(), u"sample"_s);
        templateVersion = sample.value(u"select CODE_SEQ from SYS_CODE where CODE_TYPE = 'DBVersion'"_s);
    }
    QVERIFY(!templateVersion.isEmpty());
    QCOMPARE(ReadRows(m_dm->Con1(), u"select CODE_SEQ from SYS_CODE where CODE_TYPE = 'DBVersion'"_s),
             Rows{ { templateVersion } });
    QCOMPARE(ReadRows(m_dm->Con1(), u"select count(*) from sqlite_master where name in ('課程基本資料', '報名資料', '舊統計')"_s),
             Rows{ { u"0"_s } });

    // The status lines: each table announced, its rows counted, its end reported with a full bar.
    QStringList tableLines;
    QStringList rowLines;
    for (const ConversionProgress &p : std::as_const(progress)) {
        if (tableLines.isEmpty() || tableLines.last() != p.tableLine)
            tableLines << p.tableLine;
        rowLines << p.rowLine;
    }
    for (const QString &table : { u"LOG"_s, u"Courses"_s, u"Course"_s, u"Booking"_s, u"TimeLog"_s,
                                  u"SYS_CODE"_s, u"SYS_Help"_s, u"PSIO"_s }) {
        const int announced = tableLines.indexOf(u"資料表："_s + table + u" 轉換中 "_s);
        QVERIFY2(announced >= 0, qPrintable(table));
        QCOMPARE(tableLines.value(announced + 1), table + u"     Process finish  "_s);
    }
    QVERIFY(tableLines.indexOf(u"資料表：Courses 轉換中 "_s) < tableLines.indexOf(u"資料表：PSIO 轉換中 "_s));
    QVERIFY(rowLines.contains(u"3筆之 第 2      "_s));
    QVERIFY(rowLines.contains(u"4筆之 第 4      "_s));
    QCOMPARE(progress.last().percent, 100);
}

void TestConversion::convertedTablesRowByRow_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<Rows>("expected");

    QTest::newRow("classes from 課程基本資料, 識別碼 renumbered")
        << u"select RID, CourseId, Echelon, Course, DateStart, DateEnd, Bookin, Score, SignType "
           "from Courses order by RID"_s
        << Rows{ { u"1"_s, u"A1234567890"_s, u"01"_s, u"職業安全衛生教育訓練"_s, u"2025/05/03"_s,
                   u"2025/05/04"_s, u"1"_s, u"0"_s, u"110000"_s },
                 { u"2"_s, u"B2222222222"_s, u"02"_s, u"勞工健康服務講習"_s, u"2025/06/10"_s,
                   u"2025/06/10"_s, u"0"_s, u"1"_s, u"000000"_s } };
    QTest::newRow("lessons")
        << u"select INDEX_KEY, Subject, CNo4, DateStart, TimeStart, TimeEnd, Hours from Course order by RID"_s
        << Rows{ { u"A123456789001"_s, u"安全衛生概論"_s, u"A001"_s, u"2025/05/03"_s, u"09:00"_s, u"12:00"_s, u"3"_s },
                 { u"A123456789001"_s, u"勞動法令"_s, u"A002"_s, u"2025/05/03"_s, u"13:30"_s, u"16:30"_s, u"3"_s },
                 { u"A123456789001"_s, u"安全衛生概論"_s, u"A001"_s, u"2025/05/04"_s, u"08:30"_s, u"11:30"_s, u"3"_s } };
    QTest::newRow("enrolment from 報名資料: yes/no to Y/N, a blank key skipped")
        << u"select RID, INDEX_KEY, ID, NAME, DEPT, Score, GHour from Booking order by RID"_s
        << Rows{ { u"1"_s, u"A123456789001"_s, u"A123456789"_s, u"王小明"_s, u"工務部"_s, u"Y"_s, u"6"_s },
                 { u"2"_s, u"A123456789001"_s, u"C123456789"_s, u"林志強"_s, u"O'Brien 行政部"_s, u"N"_s,
                   u"<NULL>"_s } };
    QTest::newRow("sign events: 15-character keys completed, NTP yes/no to Y/N")
        << u"select RID, DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, INDEX_KEY, NTP from PSIO order by RID"_s
        << Rows{ { u"1"_s, u"01"_s, u"A123456789"_s, u"1140503"_s, u"085501"_s, u"0"_s, u"KB"_s, u"N"_s,
                   u"A1234567890A00109:00"_s, u"Y"_s },
                 { u"2"_s, u"01"_s, u"A123456789"_s, u"1140504"_s, u"082002"_s, u"0"_s, u"SR"_s, u"N"_s,
                   u"A1234567890A00108:30"_s, u"N"_s },
                 { u"3"_s, u"02"_s, u"C123456789"_s, u"1140504"_s, u"133003"_s, u"2"_s, u"KB"_s, u"N"_s,
                   u"A1234567890A002"_s, u"Y"_s },
                 { u"4"_s, u"02"_s, u"C123456789"_s, u"1140503"_s, u"163504"_s, u"1"_s, u"SC"_s, u"N"_s,
                   u"A1234567890A00213:30"_s, u"N"_s } };
    QTest::newRow("codes: RW 0000000 keeps the template's row, others merged or added")
        << u"select CODE_TYPE, CODE_SEQ, CODE_DESC, RW from SYS_CODE where "
           "(CODE_TYPE = '課程科目X' and CODE_SEQ in ('A001', 'Z999')) "
           "or (CODE_TYPE = 'PSPN_DBGRID1' and CODE_SEQ = 'NAME') or CODE_TYPE = 'DBVersion' "
           "order by CODE_TYPE = 'DBVersion', CODE_TYPE, CODE_SEQ"_s
        << Rows{ { u"PSPN_DBGRID1"_s, u"NAME"_s, u"姓名"_s, u"1111111"_s },
                 { u"課程科目X"_s, u"A001"_s, u"安全衛生（舊名稱）"_s, u"1111111"_s },
                 { u"課程科目X"_s, u"Z999"_s, u"自訂課程"_s, u"1111100"_s },
                 { u"DBVersion"_s, u"<template>"_s, u"資料庫版本"_s, u"0000000"_s } };
    QTest::newRow("help: the user's notes kept, the text from the template, orphans dropped")
        << u"select helpID, JobScreen, HelpText2, HelpText = '舊的說明' from SYS_Help "
           "where HelpText2 is not null or helpID = '已停用視窗'"_s
        << Rows{ { u"簽到首頁"_s, u"簽到首頁"_s, u"我的筆記：早上八點開門"_s, u"0"_s } };
    QTest::newRow("clock log and log")
        << u"select 'TimeLog', TimeStr, STATUS from TimeLog union all "
           "select 'LOG', LogTime, Source || ' ' || Message from LOG"_s
        << Rows{ { u"TimeLog"_s, u"2025/05/03 08:01:00"_s, u"校時成功"_s },
                 { u"LOG"_s, u"2024/12/31 17:00:00"_s, u"年度結算 匯出完成"_s } };
    QTest::newRow("persons")
        << u"select ID, IDNO, NAME, DEPT, STATUS from PSPN"_s
        << Rows{ { u"A123456789"_s, u"E0001"_s, u"王小明"_s, u"工務部"_s, u"A"_s } };
}

void TestConversion::convertedTablesRowByRow()
{
    QFETCH(QString, sql);
    QFETCH(Rows, expected);
    UseOldDatabase();
    DatabaseConversion conversion(*m_dm);
    conversion.Run(ConvertOptions());

    QString templateVersion;
    {
        FileConnection sample(TemplatePath(), u"sample"_s);
        templateVersion = sample.value(u"select CODE_SEQ from SYS_CODE where CODE_TYPE = 'DBVersion'"_s);
    }
    for (QStringList &row : expected)
        row.replaceInStrings(u"<template>"_s, templateVersion);
    QCOMPARE(ReadRows(m_dm->Con1(), sql), expected);
}

void TestConversion::failedConversionLeavesTheDatabaseUnchanged_data()
{
    QTest::addColumn<bool>("extraCodeColumn");
    QTest::addColumn<QString>("failAtTable");
    QTest::addColumn<bool>("otherConnectionOpen");
    QTest::addColumn<QString>("message");

    QTest::newRow("old SYS_CODE has a column the template lacks")
        << true << QString() << false << u"舊備註"_s;
    QTest::newRow("failure half-way, in the sign events")
        << false << u"PSIO"_s << false << u"測試中斷"_s;
    QTest::newRow("another connection still has the database open")
        << false << QString() << true << u"其他程式使用中"_s;
}

void TestConversion::failedConversionLeavesTheDatabaseUnchanged()
{
    QFETCH(bool, extraCodeColumn);
    QFETCH(QString, failAtTable);
    QFETCH(bool, otherConnectionOpen);
    QFETCH(QString, message);

    OldDatabase::Options fixture;
    fixture.extraCodeColumn = extraCodeColumn;
    UseOldDatabase(fixture);
    m_dm->CloseWorking();
    const QByteArray before = FileHash(WorkingPath());
    QVERIFY(!before.isEmpty());
    QVERIFY(m_dm->OpenWorkingDatabase(WorkingPath()));

    std::unique_ptr<FileConnection> other;
    if (otherConnectionOpen) {
        other = std::make_unique<FileConnection>(WorkingPath(), u"other"_s);
        QCOMPARE(other->value(u"select count(*) from PSIO"_s), u"4"_s);
    }

    DatabaseConversion conversion(*m_dm);
    QStringList tables;
    conversion.setStepHook([&](const QString &table) {
        tables << table;
        if (table == failAtTable)
            throw RolvanError(u"測試中斷"_s);
    });
    QString error;
    try {
        conversion.Run(ConvertOptions());
    } catch (const RolvanError &e) {
        error = e.message();
    }
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY2(error.contains(u"原資料庫未變更"_s), qPrintable(error));
    if (!failAtTable.isEmpty())
        QVERIFY(tables.contains(u"Booking"_s)); // it failed after earlier tables were done

    // The backup is there and whole; nothing half-built is left; Con1 works on the old file.
    const QString backup = JoinPath(m_backupDir, u"20250503140709_QuorinBackup.db"_s);
    QVERIFY(error.contains(QDir::toNativeSeparators(backup)));
    {
        FileConnection copy(backup, u"backup"_s);
        QCOMPARE(copy.value(u"PRAGMA integrity_check"_s), u"ok"_s);
        QCOMPARE(copy.value(u"select count(*) from PSIO"_s), u"4"_s);
    }
    QVERIFY(!QFile::exists(TempPath()));
    QVERIFY(m_dm->isWorkingOpen());
    QCOMPARE(ReadRows(m_dm->Con1(), u"select count(*) from 課程基本資料"_s), Rows{ { u"2"_s } });

    other.reset();
    m_dm->CloseWorking();
    QCOMPARE(FileHash(WorkingPath()), before);
}

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
