// The administration of the shared database against a PostgreSQL server of the test's own
// (scripts/test-postgres): the pg_dump backup and its failures, the backup window under useNetDB,
// the refusal to convert, and the settings window's "測試連線".

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "admin/DatabaseConversion.h"
#include "admin/SharedDatabaseBackup.h"
#include "admin/TfmDBPath.h"
#include "admin/TfrmCopyTable.h"
#include "base/Globals.h"
#include "core/NetDatabase.h"
#include "base/RolvanError.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every entry of the folder, hidden ones too.
QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A port on 127.0.0.1 where nothing listens.
int ClosedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 1;
    const int port = server.serverPort();
    server.close();
    return port;
}

void Shot(QWidget *window, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    window->grab().save(dir + u'/' + name + u".png"_s, "PNG");
}

// A stand-in pg_dump: a shell script that does what the body says.
QString FakePgDump(const QString &folder, const QByteArray &body)
{
    const QString path = folder + u"/pg_dump"_s;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class TestSharedDbAdmin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void backupWritesACompleteCustomDump();
    void failedBackupLeavesNoFileAndSaysWhy_data();
    void failedBackupLeavesNoFileAndSaysWhy();
    void backupWithoutPgDumpIsRefused();
    void pgDumpGetsThePasswordOnlyInItsEnvironment();
    void brokenDumpsAreNotKept_data();
    void brokenDumpsAreNotKept();

    void backupWindowDumpsTheSharedDatabase();
    void sharedDatabaseIsNotConverted();

    void settingsTestButtonTriesTheFields();
    void newStationMakesTheSharedTables();

private:
    // Skips the test when no server could be started.
    bool NeedServer();
    SharedDatabaseBackup::Options BackupOptions() const;
    void WriteSharedIni();

    QString m_serverFolder;
    QString m_serverProblem; // why there is no server
    NetDbSettings m_server;
    QString m_serverVersion; // "16.4"
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<FixedClock> m_clock;
};

void TestSharedDbAdmin::initTestCase()
{
    QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));
    // Not below a private temporary folder: as root the server runs as the user postgres, who
    // must reach its folder.
    m_serverFolder = QDir::tempPath() + u"/rolvan-shareddbadmin-"_s
        + QUuid::createUuid().toString(QUuid::Id128).left(12);
    QProcess start;
    start.start(u"bash"_s, {qEnvironmentVariable("ROLVAN_SOURCE_DIR") + u"/scripts/test-postgres"_s,
                            u"start"_s, m_serverFolder});
    if (!start.waitForFinished(180000) || start.exitStatus() != QProcess::NormalExit
        || start.exitCode() != 0) {
        m_serverProblem = u"no PostgreSQL server for the test (scripts/test-postgres: "_s
            + QString::fromLocal8Bit(start.readAllStandardError()).trimmed() + u')';
        return;
    }
    const QString conninfo = QString::fromUtf8(ReadBytes(m_serverFolder + u"/conninfo"_s)).trimmed();
    m_server = NetDbSettings::FromConnInfo(conninfo);
    QVERIFY2(m_server.port > 0, qPrintable(conninfo));

    // Something to find in the dump, and the version the probe should name.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, u"fixture"_s);
        db.setHostName(m_server.host);
        db.setPort(m_server.port);
        db.setUserName(m_server.user);
        db.setPassword(m_server.password);
        db.setDatabaseName(m_server.database);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery query(db);
        QVERIFY(query.exec(u"create table backup_probe (name text)"_s));
        QVERIFY(query.exec(u"insert into backup_probe values ('王小明')"_s));
        QVERIFY(query.exec(u"create database new_station"_s));
        QVERIFY(query.exec(u"show server_version"_s) && query.next());
        m_serverVersion = query.value(0).toString().section(u' ', 0, 0);
        query = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"fixture"_s);
}

void TestSharedDbAdmin::cleanupTestCase()
{
    QProcess::execute(u"bash"_s, {qEnvironmentVariable("ROLVAN_SOURCE_DIR") + u"/scripts/test-postgres"_s,
                                  u"stop"_s, m_serverFolder});
}

void TestSharedDbAdmin::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_prompter = std::make_unique<ScriptedPrompter>();
}

void TestSharedDbAdmin::cleanup()
{
    if (m_clock)
        SetCurrentClock(nullptr);
    m_clock.reset();
    m_db.reset();
    m_prompter.reset();
    m_dir.reset();
}

bool TestSharedDbAdmin::NeedServer()
{
    return m_serverProblem.isEmpty();
}

SharedDatabaseBackup::Options TestSharedDbAdmin::BackupOptions() const
{
    SharedDatabaseBackup::Options options;
    options.settings = m_server;
    options.backupFolder = m_dir->filePath(u"Backup"_s);
    options.backupFileName = SharedDatabaseBackup::BackupFileName(
        QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
    options.timeoutSeconds = 120;
    return options;
}

void TestSharedDbAdmin::backupWritesACompleteCustomDump()
{
    if (!NeedServer())
        QSKIP(qPrintable(m_serverProblem));
    const SharedDatabaseBackup::Options options = BackupOptions();
    QCOMPARE(options.backupFileName, u"20260304050607_QuorinBackup.pgdump"_s);
    QList<qint64> reported;
    const QString path = SharedDatabaseBackup::Run(options, [&reported](qint64 bytes) { reported << bytes; });

    QCOMPARE(path, QFileInfo(options.backupFolder + u'/' + options.backupFileName).absoluteFilePath());
    QCOMPARE(Entries(options.backupFolder), QStringList{options.backupFileName});
    const QByteArray dump = ReadBytes(path);
    QVERIFY(dump.size() > 0);
    QVERIFY(dump.startsWith("PGDMP"));
    QVERIFY(!reported.isEmpty());
    QCOMPARE(reported.last(), dump.size());

    // pg_restore reads it back, with the table in it.
    const QString pgRestore = QFileInfo(SharedDatabaseBackup::FindPgDump(options.searchPath)).dir()
                                  .filePath(u"pg_restore"_s);
    if (QFileInfo(pgRestore).isExecutable()) {
        QProcess restore;
        restore.start(pgRestore, {u"--list"_s, path});
        QVERIFY(restore.waitForFinished(60000));
        QCOMPARE(restore.exitCode(), 0);
        QVERIFY(restore.readAllStandardOutput().contains("TABLE public backup_probe"));
    }
}

void TestSharedDbAdmin::failedBackupLeavesNoFileAndSaysWhy_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("said"); // what the message names
    QTest::newRow("wrong password") << u"password"_s << u"NetDB Password"_s;
    QTest::newRow("no such database") << u"database"_s << u"NetDB Database"_s;
    QTest::newRow("nothing listens") << u"port"_s << u"NetDB Port"_s;
}

void TestSharedDbAdmin::failedBackupLeavesNoFileAndSaysWhy()
{
    QFETCH(QString, what);
    QFETCH(QString, said);
    if (!NeedServer())
        QSKIP(qPrintable(m_serverProblem));
    SharedDatabaseBackup::Options options = BackupOptions();
    if (what == u"password"_s)
        options.settings.password = u"not-the-password"_s;
    else if (what == u"database"_s)
        options.settings.database = u"no_such_database"_s;
    else
        options.settings.port = ClosedPort();

    QString message;
    try {
        SharedDatabaseBackup::Run(options);
    } catch (const RolvanError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(u"未產生備份檔"_s), qPrintable(message));
    QVERIFY2(message.contains(said), qPrintable(message));
    // pg_dump's own words come along.
    QVERIFY2(message.contains(u"pg_dump 的訊息"_s), qPrintable(message));
    QCOMPARE(Entries(options.backupFolder), QStringList());
}

void TestSharedDbAdmin::backupWithoutPgDumpIsRefused()
{
    SharedDatabaseBackup::Options options = BackupOptions();
    options.searchPath = {};
    QString message;
    try {
        SharedDatabaseBackup::Run(options);
    } catch (const RolvanError &e) {
        message = e.message();
    }
    QCOMPARE(message, SharedDatabaseBackup::PgDumpMissingMessage());
    QVERIFY(message.startsWith(u"找不到 pg_dump 程式，無法備份共用資料庫"_s));
    QVERIFY(message.contains(u"postgresql-client"_s));
    QVERIFY(!QFileInfo::exists(options.backupFolder));

    // The search path is searched in order, and only it.
    const QString fakeFolder = m_dir->filePath(u"bin"_s);
    QVERIFY(QDir().mkpath(fakeFolder));
    QVERIFY(!FakePgDump(fakeFolder, "exit 0").isEmpty());
    QCOMPARE(SharedDatabaseBackup::FindPgDump({m_dir->filePath(u"none"_s), fakeFolder}),
             QFileInfo(fakeFolder + u"/pg_dump"_s).absoluteFilePath());
    QCOMPARE(SharedDatabaseBackup::FindPgDump({m_dir->filePath(u"none"_s)}), QString());
}

// The password is for pg_dump alone: every user of the computer can read a command line.
void TestSharedDbAdmin::pgDumpGetsThePasswordOnlyInItsEnvironment()
{
#ifndef Q_OS_UNIX
    QSKIP("the stand-in pg_dump is a shell script");
#endif
    const QString fakeFolder = m_dir->filePath(u"bin"_s);
    QVERIFY(QDir().mkpath(fakeFolder));
    const QString told = m_dir->filePath(u"told"_s);
    // Writes its arguments and its PGPASSWORD, then a dump to the file of --file=.
    QVERIFY(!FakePgDump(fakeFolder,
                        "for a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done > '" + told.toUtf8() + "'\n"
                        "printf 'env:%s\\n' \"$PGPASSWORD\" >> '" + told.toUtf8() + "'\n"
                        "for a in \"$@\"; do case \"$a\" in --file=*) printf 'PGDMP-fake' > \"${a#--file=}\";; esac; done\n"
                        "exit 0").isEmpty());
    SharedDatabaseBackup::Options options = BackupOptions();
    options.searchPath = {fakeFolder};
    options.settings = NetDbSettings();
    options.settings.host = u"db.unit.example"_s;
    options.settings.port = 6543;
    options.settings.database = u"it's"_s;
    options.settings.user = u"station"_s;
    options.settings.password = u"s3cret-密碼"_s;
    const QString path = SharedDatabaseBackup::Run(options);
    QCOMPARE(ReadBytes(path), QByteArray("PGDMP-fake"));

    const QString lines = QString::fromUtf8(ReadBytes(told));
    QVERIFY2(lines.contains(u"env:s3cret-密碼\n"_s), qPrintable(lines));
    const QString arguments = lines.section(u"env:"_s, 0, 0);
    QVERIFY(!arguments.contains(u"s3cret"_s));
    QVERIFY(arguments.contains(u"arg:--format=custom\n"_s));
    QVERIFY2(arguments.contains(u"arg:--dbname=host='db.unit.example' port='6543' user='station' "
                                "dbname='it\\'s' sslmode=prefer connect_timeout=10\n"_s),
             qPrintable(arguments));
}

// A dump that fails in other ways: it runs too long, ends well without a dump, or writes
// something that is not one. None leaves a file behind.
void TestSharedDbAdmin::brokenDumpsAreNotKept_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("said");
    QTest::newRow("runs out of time") << QByteArray("exec sleep 30") << u"逾時（超過 1 秒）"_s;
    QTest::newRow("ends well, writes nothing") << QByteArray("exit 0") << u"沒有寫出完整的備份檔"_s;
    QTest::newRow("writes no dump")
        << QByteArray("for a in \"$@\"; do case \"$a\" in --file=*) echo text > \"${a#--file=}\";; esac; done")
        << u"沒有寫出完整的備份檔"_s;
    QTest::newRow("killed") << QByteArray("kill -9 $$") << u"未產生備份檔"_s;
}

void TestSharedDbAdmin::brokenDumpsAreNotKept()
{
#ifndef Q_OS_UNIX
    QSKIP("the stand-in pg_dump is a shell script");
#endif
    QFETCH(QByteArray, body);
    QFETCH(QString, said);
    const QString fakeFolder = m_dir->filePath(u"bin"_s);
    QVERIFY(QDir().mkpath(fakeFolder));
    QVERIFY(!FakePgDump(fakeFolder, body).isEmpty());
    SharedDatabaseBackup::Options options = BackupOptions();
    options.settings = NetDbSettings();
    options.settings.host = u"127.0.0.1"_s;
    options.settings.database = u"attendance"_s;
    options.settings.user = u"station"_s;
    options.searchPath = {fakeFolder};
    options.timeoutSeconds = 1;
    QVERIFY(QDir().mkpath(options.backupFolder));
    // Someone else's file in the folder stays.
    QVERIFY(QFile(options.backupFolder + u"/older.pgdump.part"_s).open(QIODevice::WriteOnly));

    QString message;
    try {
        SharedDatabaseBackup::Run(options);
    } catch (const RolvanError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(said), qPrintable(message));
    QCOMPARE(Entries(options.backupFolder), QStringList{u"older.pgdump.part"_s});
}

void TestSharedDbAdmin::WriteSharedIni()
{
    m_db = std::make_unique<TestDatabase>();
    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2026, 12, 10), QTime(9, 8, 7)));
    SetCurrentClock(m_clock.get());
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, m_dir->filePath(u"data"_s));
    WriteIniSetting(IniSection::Base, IniKey::BackupLocationPath, m_dir->filePath(u"Backup"_s));
    WriteIniSetting(IniSection::Base, IniKey::UseNetDb, u"True"_s);
    m_server.WriteToIni();
}

void TestSharedDbAdmin::backupWindowDumpsTheSharedDatabase()
{
    if (!NeedServer())
        QSKIP(qPrintable(m_serverProblem));
    WriteSharedIni();
    TfrmCopyTable window(m_db->dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.Edit1->text(), u"20261210090807_QuorinBackup.pgdump"_s);
    QCOMPARE(window.Edit2->text(), m_dir->filePath(u"Backup"_s));
    QVERIFY(window.LabelShared->isVisible());
    QVERIFY(window.CheckBox1->isChecked());
    QVERIFY(!window.CheckBox1->isEnabled());
    Shot(&window, u"backup-shared"_s);

    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    const QString expected = QDir::toNativeSeparators(
        QFileInfo(m_dir->filePath(u"Backup/20261210090807_QuorinBackup.pgdump"_s)).absoluteFilePath());
    QCOMPARE(m_prompter->errors, QStringList());
    QCOMPARE(m_prompter->messages, QStringList{u"共用資料庫備份完成，備份檔：\n"_s + expected});
    QVERIFY(ReadBytes(expected).startsWith("PGDMP"));
    QCOMPARE(window.result(), int(QDialog::Accepted));
    // The working connection is left alone.
    QVERIFY(m_db->dm().isWorkingOpen());
}

void TestSharedDbAdmin::sharedDatabaseIsNotConverted()
{
    // No server needed: nothing is tried.
    WriteSharedIni();
    DatabaseConversion conversion(m_db->dm());
    DatabaseConversion::Options options = DatabaseConversion::DefaultOptions();
    QCOMPARE(options.backupFileName, u"20261210090807_QuorinBackup.pgdump"_s);
    options.backupOnly = false;
    QString message;
    try {
        conversion.Run(options);
    } catch (const RolvanError &e) {
        message = e.message();
    }
    QCOMPARE(message, DatabaseConversion::SharedConversionRefusal());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"Backup"_s)));

    // Nor an old Access database into it.
    QVERIFY(QDir().mkpath(m_dir->filePath(u"data"_s)));
    QVERIFY(QFile(m_dir->filePath(u"data/Quorin.mdb"_s)).open(QIODevice::WriteOnly));
    message.clear();
    try {
        conversion.RunFromJet(m_dir->filePath(u"data/Quorin.mdb"_s), DatabaseConversion::DefaultOptions());
    } catch (const RolvanError &e) {
        message = e.message();
    }
    QCOMPARE(message, DatabaseConversion::SharedConversionRefusal());
    QCOMPARE(Entries(m_dir->filePath(u"data"_s)), QStringList{u"Quorin.mdb"_s});

    // The window does not offer it.
    TfrmCopyTable window(m_db->dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(20);
    QCOMPARE(m_prompter->asked, QStringList());
    QVERIFY(!window.LabelJet->isVisible());
}

// "新增以下目錄與Rolvan.mdb" with the shared database checked: the tables and the template's
// rows are made on the server, once.
void TestSharedDbAdmin::newStationMakesTheSharedTables()
{
    if (!NeedServer())
        QSKIP(qPrintable(m_serverProblem));
    m_db = std::make_unique<TestDatabase>();
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s,
                        m_db->globals().samplePath()));
    TfmDBPath window(m_db->dm());
    window.Edit1->setText(m_db->dir() + u"/RolvanDAP"_s);
    window.PageControl1->setCurrentIndex(2);
    window.CheckUseNetDB->setChecked(true);
    window.EditNetDbHost->setText(m_server.host);
    window.EditNetDbPort->setText(QString::number(m_server.port));
    window.EditNetDbDatabase->setText(u"new_station"_s);
    window.EditNetDbUser->setText(m_server.user);
    window.EditNetDbPassword->setText(m_server.password);
    QTest::mouseClick(window.BitBtn20, Qt::LeftButton);
    QVERIFY2(m_prompter->errors.isEmpty(), qPrintable(m_prompter->errors.join(u'\n')));
    QCOMPARE(m_prompter->messages.size(), 1);
    QVERIFY2(m_prompter->messages.first().contains(u"資料表已建立"_s), qPrintable(m_prompter->messages.first()));

    NetDbSettings created = m_server;
    created.database = u"new_station"_s;
    const NetDbProbe probe = ProbeNetDatabase(created);
    QVERIFY2(probe.ok && probe.message.contains(u"資料表：已建立（資料庫版本"_s), qPrintable(probe.message));

    QTest::mouseClick(window.BitBtn20, Qt::LeftButton);
    QCOMPARE(m_prompter->messages.size(), 2);
    QVERIFY2(m_prompter->messages.last().contains(u"已有資料表，未變更"_s), qPrintable(m_prompter->messages.last()));
}

void TestSharedDbAdmin::settingsTestButtonTriesTheFields()
{
    if (!NeedServer())
        QSKIP(qPrintable(m_serverProblem));
    m_db = std::make_unique<TestDatabase>();
    WriteIniSetting(IniSection::Base, IniKey::StationNo, u"01"_s);
    const QByteArray iniBefore = ReadBytes(m_db->globals().iniPath());
    TfmDBPath window(m_db->dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.PageControl1->tabText(2), u"共用資料庫"_s);
    QVERIFY(window.PageControl1->isTabVisible(2));
    window.PageControl1->setCurrentIndex(2);
    QVERIFY(!window.CheckUseNetDB->isChecked());
    QCOMPARE(window.EditNetDbPort->text(), u"5432"_s);
    QCOMPARE(window.EditNetDbPassword->echoMode(), QLineEdit::Password);

    // The values typed, not saved.
    window.EditNetDbHost->setText(m_server.host);
    window.EditNetDbPort->setText(QString::number(m_server.port));
    window.EditNetDbDatabase->setText(m_server.database);
    window.EditNetDbUser->setText(m_server.user);
    window.EditNetDbPassword->setText(m_server.password);
    QTest::mouseClick(window.BitBtnNetDbTest, Qt::LeftButton);
    QCOMPARE(m_prompter->errors, QStringList());
    QCOMPARE(m_prompter->messages.size(), 1);
    QVERIFY2(m_prompter->messages.first().contains(m_serverVersion), qPrintable(m_prompter->messages.first()));

    window.EditNetDbPort->setText(QString::number(ClosedPort()));
    QTest::mouseClick(window.BitBtnNetDbTest, Qt::LeftButton);
    QCOMPARE(m_prompter->messages.size(), 1);
    QCOMPARE(m_prompter->errors.size(), 1);
    QVERIFY2(m_prompter->errors.first().startsWith(u"連線失敗"_s), qPrintable(m_prompter->errors.first()));

    // Fields that cannot make a connection are not tried: an empty host would reach a server
    // on this computer instead.
    window.EditNetDbHost->clear();
    QTest::mouseClick(window.BitBtnNetDbTest, Qt::LeftButton);
    QCOMPARE(m_prompter->errors.size(), 2);
    QVERIFY(m_prompter->errors.last().contains(u"「主機」"_s));
    QCOMPARE(window.focusWidget(), window.EditNetDbHost);
    window.EditNetDbHost->setText(m_server.host);
    window.EditNetDbPort->clear();
    QTest::mouseClick(window.BitBtnNetDbTest, Qt::LeftButton);
    QCOMPARE(m_prompter->errors.size(), 3);
    QCOMPARE(m_prompter->errors.last(), StationSettingsForm::PortRefusal());
    QCOMPARE(window.focusWidget(), window.EditNetDbPort);
    QVERIFY(window.BitBtnNetDbTest->isEnabled());

    // Switched on, a save with an empty port is refused, and the folder of the first page is
    // said not to decide where the data is.
    window.CheckUseNetDB->setChecked(true);
    Shot(&window, u"settings-shared"_s);
    window.PageControl1->setCurrentIndex(0);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(m_prompter->messages.size(), 2);
    QCOMPARE(m_prompter->messages.last(), StationSettingsForm::PortRefusal());
    QCOMPARE(window.PageControl1->currentWidget(), window.TabSheet3);
    QCOMPARE(window.focusWidget(), window.EditNetDbPort);
    QCOMPARE(ReadBytes(m_db->globals().iniPath()), iniBefore);
    window.PageControl1->setCurrentIndex(0);
    QVERIFY(window.LabelNetDbFolder->isVisible());
    Shot(&window, u"settings-general-shared"_s);
    window.CheckUseNetDB->setChecked(false);
    QVERIFY(!window.LabelNetDbFolder->isVisible());
}

QTEST_MAIN(TestSharedDbAdmin)
#include "tst_shareddbadmin.moc"
