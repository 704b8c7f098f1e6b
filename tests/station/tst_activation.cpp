// The start-up duties of the main window: data folders, the working database copied from the
// template, the version check, the INI version keys, and what stops an activation.

#include "base/AtomicFile.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "station/Activation.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/TestDataModule.h"
#include "mock/ScriptedPrompter.h"
#include "station/StationState.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

#include <unistd.h>

namespace {

class RecordingHooks final : public ActivationHooks
{
public:
    QStringList calls;
    bool cameraFound = true;
    bool StartCamera(StationState &) override
    {
        calls << QStringLiteral("camera");
        return cameraFound;
    }
    void OpenConversionWindow() override { calls << QStringLiteral("conversion"); }
    void ChooseTodaysClass(StationState &) override { calls << QStringLiteral("class"); }
    void SynchroniseClock(StationState &, const QString &mode) override
    {
        calls << QStringLiteral("clock ") + mode;
    }
};

QString TemplatePath()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR") + QStringLiteral("/SampleQuorin.db");
}

QByteArray FileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// A tmpfs mounted for one test (needs root), unmounted when it goes.
class ScratchMount
{
public:
    explicit ScratchMount(const QString &point)
        : m_point(point)
    {
        QDir().mkpath(point);
        m_mounted = ::geteuid() == 0
            && QProcess::execute(QStringLiteral("mount"),
                                 { QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                   QStringLiteral("size=2m"), QStringLiteral("tmpfs"), point })
                == 0;
    }
    ~ScratchMount()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), { m_point });
    }
    bool mounted() const { return m_mounted; }
    bool makeReadOnly() const
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 { QStringLiteral("-o"), QStringLiteral("remount,ro"), m_point })
            == 0;
    }
    // Fills the disk to its last byte.
    void fill() const
    {
        QFile filler(m_point + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(64 * 1024, 'f');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
    }

private:
    QString m_point;
    bool m_mounted = false;
};

// Runs one statement on a database file through a connection of its own.
bool ExecOnFile(const QString &path, const QString &sql)
{
    const QString name = QStringLiteral("tst_activation-file");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(sql);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// The first value a statement gives on a database file, through a read-only connection.
QString ValueOnFile(const QString &path, const QString &sql)
{
    const QString name = QStringLiteral("tst_activation-value");
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql) && query.next())
                value = query.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

int RootPage(const QString &path, const QString &table)
{
    const QString name = QStringLiteral("tst_activation-root");
    int page = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("select rootpage from sqlite_master where name = '%1'").arg(table))
                && query.next())
                page = query.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return page;
}

// Overwrites one page of a SQLite file (pages counted from 1, 4096 bytes as the template has).
void DamagePage(const QString &path, int page)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(qint64(page - 1) * 4096));
    file.write(QByteArray(4096, '\xA5'));
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TestActivation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStartCreatesFoldersDatabaseAndVersionKeys();
    void secondActivationKeepsTheWorkingDatabase();
    void differentDatabaseVersionAsksForConversion();
    void withoutTemplateTheVersionCheckIsSkipped();
    void corruptWorkingDatabaseStopsWithoutTouchingIt();
    void missingTemplateAndDatabaseStops();
    void parametersAreShownOnEachActivation();
    void noCameraEndsTheProgram();
    void unknownStorageKindIsReported();
    void unreadableSettingsFileCreatesNothing_data();
    void unreadableSettingsFileCreatesNothing();
    void unusableDatabaseIsNamedOnceAndLeftAlone_data();
    void unusableDatabaseIsNamedOnceAndLeftAlone();
    void damagedPageIsReportedAfterTheStart();
    void damagedPageOffersTheNewestSoundBackup();
    void foreignTemplateIsNamed();
    void staleSnapshotTemporariesGoAtStart();
    void unwritableSettingsFileIsToldOnce();
    void failedTemplateCopyLeavesNoDatabase();

private:
    MainActivation::Outcome Activate(const QStringList &arguments = { QStringLiteral("Rolvan") });
    QString DataRoot() const { return m_home->path() + QStringLiteral("/RolvanDAP"); }
    void WriteIni(const QString &key, const QString &value)
    {
        WriteIniSetting(IniSection::Base, key, value);
    }

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_exeDir;
    QByteArray m_savedHome;
    Globals m_globals;
    std::unique_ptr<TDM> m_dm;
    StationState m_station;
    RecordingHooks m_hooks;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    MainActivation *m_last = nullptr;
    std::unique_ptr<MainActivation> m_activation;
};

void TestActivation::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_exeDir = std::make_unique<QTemporaryDir>();
    m_savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(m_home->path()));
    QVERIFY(QFile::copy(TemplatePath(), m_exeDir->filePath(QStringLiteral("SampleQuorin.db"))));

    m_globals = Globals();
    m_globals.ExeDir = m_exeDir->path() + QDir::separator();
    m_globals.StartDir = QDir::currentPath();
    SetGlobals(&m_globals);
    m_dm = std::make_unique<TestDataModule>(m_globals);
    m_station = StationState();
    m_hooks = RecordingHooks();
    m_prompter = std::make_unique<ScriptedPrompter>();
}

void TestActivation::cleanup()
{
    m_activation.reset();
    m_dm.reset();
    m_prompter.reset();
    SetGlobals(nullptr);
    qputenv("HOME", m_savedHome);
}

MainActivation::Outcome TestActivation::Activate(const QStringList &arguments)
{
    m_activation = std::make_unique<MainActivation>(*m_dm, m_station, m_hooks);
    return m_activation->Run(arguments, QCoreApplication::applicationFilePath());
}

void TestActivation::firstStartCreatesFoldersDatabaseAndVersionKeys()
{
    QVERIFY(!QFile::exists(m_globals.iniPath()));
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QVERIFY2(m_prompter->all().isEmpty(), qPrintable(m_prompter->all().join(u'\n')));

    for (const QString &folder : { QStringLiteral(""), QStringLiteral("/Backup"),
                                   QStringLiteral("/CSV"), QStringLiteral("/查核資料檔案") })
        QVERIFY2(QDir(DataRoot() + folder).exists(), qPrintable(folder));
    QVERIFY(QFile::exists(DataRoot() + QStringLiteral("/Quorin.db")));
    QVERIFY(m_dm->isWorkingOpen());
    QCOMPARE(QueryValue(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    // The template stays one file that can be copied byte for byte.
    QCOMPARE(QueryValueOn(QStringLiteral("PRAGMA journal_mode"), m_dm->ConSample()).toString(),
             QStringLiteral("delete"));

    const QString version = QueryValueOn(QStringLiteral("select CODE_SEQ from SYS_CODE where CODE_TYPE = 'DBVersion'"),
                                         m_dm->ConSample())
                                .toString();
    QVERIFY(!version.isEmpty());
    QCOMPARE(ReadIniSetting(IniSection::Base, IniKey::DbVersion, QString(), QString()), version);
    QCOMPARE(ReadIniSetting(IniSection::Base, IniKey::ExeVersion, QString(), QString()),
             QStringLiteral(ROLVAN_VERSION_TEXT));
    QVERIFY(!ReadIniSetting(IniSection::Base, IniKey::ExeDateTime, QString(), QString()).isEmpty());

    QCOMPARE(m_globals.EditionLevel, 2);
    QCOMPARE(m_globals.IdnoCaption, QStringLiteral("會員編號"));
    QCOMPARE(m_station.StorageKind, QStringLiteral("身分證字號"));
    QVERIFY(MainWindowCaption().startsWith(
        QStringLiteral("講習教育 簽到退作業  版本：Ostwick委託辦理訓練講習班客製版   版本序號：")));
    QCOMPARE(m_hooks.calls, QStringList({ QStringLiteral("class"), QStringLiteral("clock ST") }));
}

void TestActivation::secondActivationKeepsTheWorkingDatabase()
{
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QVERIFY(ExecSqlOn(QStringLiteral("insert into PSPN (ID, NAME) values (?, ?)"), m_dm->Con1(),
                      { QStringLiteral("A123456789"), QStringLiteral("王小明") }));
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QCOMPARE(QueryValue(QStringLiteral("select NAME from PSPN where ID = ?"), { QStringLiteral("A123456789") })
                 .toString(),
             QStringLiteral("王小明"));
}

void TestActivation::differentDatabaseVersionAsksForConversion()
{
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QVERIFY(ExecSqlOn(QStringLiteral("update SYS_CODE set CODE_SEQ = ? where CODE_TYPE = 'DBVersion'"),
                      m_dm->Con1(), { QStringLiteral("1999.01.1") }));
    m_hooks.calls.clear();
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QCOMPARE(m_prompter->messages,
             QStringList{ QStringLiteral("資料庫版本不一致 必須先執行資料庫備份轉換作業") });
    QVERIFY(m_hooks.calls.contains(QStringLiteral("conversion")));
    // The activation goes on after the conversion window.
    QCOMPARE(ReadIniSetting(IniSection::Base, IniKey::DbVersion, QString(), QString()),
             QStringLiteral("1999.01.1"));
}

void TestActivation::withoutTemplateTheVersionCheckIsSkipped()
{
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QVERIFY(ExecSqlOn(QStringLiteral("update SYS_CODE set CODE_SEQ = 'old' where CODE_TYPE = 'DBVersion'"),
                      m_dm->Con1()));
    m_dm->CloseSample();
    QVERIFY(QFile::remove(m_globals.samplePath()));
    m_hooks.calls.clear();
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QVERIFY(!m_hooks.calls.contains(QStringLiteral("conversion")));
    QVERIFY(m_prompter->messages.isEmpty());
}

void TestActivation::corruptWorkingDatabaseStopsWithoutTouchingIt()
{
    QVERIFY(QDir().mkpath(DataRoot()));
    const QString database = DataRoot() + QStringLiteral("/Quorin.db");
    {
        QFile file(database);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, '\x5a'));
    }
    const QByteArray before = FileHash(database);
    QCOMPARE(Activate(), MainActivation::Outcome::Stopped);
    QVERIFY(m_activation->lastError().contains(database));
    QCOMPARE(FileHash(database), before);
    QVERIFY(!QFile::exists(database + QStringLiteral("-wal")));
    // The steps after the database never ran.
    QVERIFY(!m_hooks.calls.contains(QStringLiteral("clock ST")));
}

void TestActivation::missingTemplateAndDatabaseStops()
{
    QVERIFY(QFile::remove(m_globals.samplePath()));
    QCOMPARE(Activate(), MainActivation::Outcome::Stopped);
    QVERIFY(!m_activation->lastError().isEmpty());
    QVERIFY(!QFile::exists(DataRoot() + QStringLiteral("/Quorin.db")));
}

void TestActivation::parametersAreShownOnEachActivation()
{
    const QStringList arguments = { QStringLiteral("Rolvan"), QStringLiteral("a"), QStringLiteral("b") };
    QCOMPARE(Activate(arguments), MainActivation::Outcome::Done);
    const QStringList expected = { QStringLiteral("Parameter 0 = Rolvan"), QStringLiteral("Parameter 1 = a"),
                                   QStringLiteral("Parameter 2 = b") };
    QCOMPARE(m_prompter->messages, expected);
    QCOMPARE(Activate(arguments), MainActivation::Outcome::Done);
    QCOMPARE(m_prompter->messages, expected + expected);
}

void TestActivation::noCameraEndsTheProgram()
{
    WriteIni(IniKey::PhotoOnSign, QStringLiteral("True"));
    m_hooks.cameraFound = false;
    QCOMPARE(Activate(), MainActivation::Outcome::Terminate);
    QVERIFY(m_station.photoOn);
}

void TestActivation::unknownStorageKindIsReported()
{
    WriteIni(IniKey::IdentityStoreKind, QStringLiteral("不存在的欄位"));
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QCOMPARE(m_prompter->messages,
             QStringList{ QStringLiteral("簽到退識別儲存種類='不存在的欄位' ,但人員基本資料 版面設定 無此 對應標題 欄位") });
}

// A settings file that cannot be read stops the start before anything is made: no data folders,
// no database, no open connection.
void TestActivation::unreadableSettingsFileCreatesNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QByteArray utf16("\xFF\xFE");
    const QString text = QStringLiteral("[Base]\r\nComputerNo=01\r\n");
    utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QTest::newRow("UTF-16, as Notepad saves Unicode") << utf16 << QStringLiteral("UTF-16");
    QTest::newRow("binary") << QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0", 16)
                            << QStringLiteral("不是文字檔");
    QTest::newRow("neither UTF-8 nor Big5") << QByteArray("[Base]\nCompany Name=\x80\xFF\n")
                                            << QStringLiteral("UTF-8");
}

void TestActivation::unreadableSettingsFileCreatesNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    WriteBytes(m_globals.iniPath(), bytes);

    QCOMPARE(Activate(), MainActivation::Outcome::Stopped);
    const QString error = m_activation->lastError();
    QVERIFY2(error.contains(expected) && error.contains(QStringLiteral("Rolvan.ini")), qPrintable(error));
    QVERIFY(!QFileInfo::exists(DataRoot()));
    QVERIFY(!m_dm->isWorkingOpen());
    QVERIFY(!m_dm->isSampleOpen());
    QVERIFY(m_hooks.calls.isEmpty());
    QCOMPARE(FileHash(m_globals.iniPath()),
             QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
}

// A working database (or the template a new one would be copied from) that cannot be used:
// the message names the case, the file and the newest backup; it is given once, later
// activations stay quiet while nothing changed; the file is left byte for byte as it was.
void TestActivation::unusableDatabaseIsNamedOnceAndLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("detail");
    QTest::newRow("empty file") << QStringLiteral("empty") << QStringLiteral("資料庫檔案已損毀")
                                << QStringLiteral("0 位元組");
    QTest::newRow("not a database") << QStringLiteral("garbage")
                                    << QStringLiteral("不是本系統的資料庫") << QStringLiteral("SQLite");
    QTest::newRow("another program's database")
        << QStringLiteral("foreign") << QStringLiteral("不是本系統的資料庫") << QStringLiteral("資料表");
    QTest::newRow("no version row") << QStringLiteral("noversion")
                                    << QStringLiteral("不是本系統的資料庫") << QStringLiteral("版本");
    QTest::newRow("damaged table") << QStringLiteral("damaged")
                                   << QStringLiteral("資料庫檔案已損毀") << QStringLiteral("SQLite");
    QTest::newRow("empty template") << QStringLiteral("empty template")
                                    << QStringLiteral("無法由範本複製出新的資料庫")
                                    << QStringLiteral("0 位元組");
    QTest::newRow("template not a database")
        << QStringLiteral("garbage template") << QStringLiteral("無法由範本複製出新的資料庫")
        << QStringLiteral("不是本系統的資料庫");
    QTest::newRow("read-only file") << QStringLiteral("read-only file")
                                    << QStringLiteral("沒有寫入權限") << QStringLiteral("唯讀");
    QTest::newRow("read-only folder") << QStringLiteral("read-only folder")
                                      << QStringLiteral("沒有寫入權限") << QStringLiteral("資料夾");
    QTest::newRow("read-only mount") << QStringLiteral("read-only mount")
                                     << QStringLiteral("沒有寫入權限") << QStringLiteral("唯讀掛載");
    QTest::newRow("full disk") << QStringLiteral("full disk") << QStringLiteral("磁碟空間不足")
                               << QStringLiteral("KB");
}

void TestActivation::unusableDatabaseIsNamedOnceAndLeftAlone()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    QFETCH(QString, detail);

    const bool root = ::geteuid() == 0;
    if ((kind == QStringLiteral("read-only file") || kind == QStringLiteral("read-only folder")) && root)
        QSKIP("root may write read-only files and folders; the read-only mount covers root");
    std::unique_ptr<ScratchMount> mount;
    if (kind == QStringLiteral("read-only mount") || kind == QStringLiteral("full disk")) {
        mount = std::make_unique<ScratchMount>(DataRoot());
        if (!mount->mounted())
            QSKIP("needs root to mount a 2 MiB tmpfs (CI runs as root)");
    }

    QVERIFY(QDir().mkpath(DataRoot() + QStringLiteral("/Backup")));
    const QString backup = DataRoot() + QStringLiteral("/Backup/20250502170000_QuorinBackup.db");
    if (!mount) {
        QVERIFY(QFile::copy(TemplatePath(), backup));
        QVERIFY(QFile::copy(TemplatePath(),
                            DataRoot() + QStringLiteral("/Backup/20250430170000_QuorinBackup.db")));
    }
    const QString database = DataRoot() + QStringLiteral("/Quorin.db");
    const bool templateCase = kind.endsWith(QStringLiteral("template"));
    if (kind.startsWith(QStringLiteral("empty")))
        WriteBytes(templateCase ? m_globals.samplePath() : database, QByteArray());
    else if (kind.startsWith(QStringLiteral("garbage")))
        WriteBytes(templateCase ? m_globals.samplePath() : database, QByteArray(4096, '\x5a'));
    else if (kind == QStringLiteral("foreign"))
        QVERIFY(ExecOnFile(database, QStringLiteral("create table Songs (Title text)")));
    else
        QVERIFY(QFile::copy(TemplatePath(), database));
    QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner);
    if (kind == QStringLiteral("noversion"))
        QVERIFY(ExecOnFile(database, QStringLiteral("delete from SYS_CODE where CODE_TYPE = 'DBVersion'")));
    if (kind == QStringLiteral("damaged"))
        DamagePage(database, RootPage(database, QStringLiteral("SYS_CODE")));
    if (kind == QStringLiteral("read-only file"))
        QFile::setPermissions(database, QFile::ReadOwner);
    if (kind == QStringLiteral("read-only folder"))
        QFile::setPermissions(DataRoot(), QFile::ReadOwner | QFile::ExeOwner);
    auto writable = qScopeGuard([this] {
        QFile::setPermissions(DataRoot(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (kind == QStringLiteral("read-only mount"))
        QVERIFY(mount->makeReadOnly());
    if (kind == QStringLiteral("full disk"))
        mount->fill();
    const QByteArray before = FileHash(database);

    QCOMPARE(Activate(), MainActivation::Outcome::Stopped);
    const QString error = m_activation->lastError();
    QVERIFY2(error.startsWith(QStringLiteral("無法開啟資料庫 ") + QDir::toNativeSeparators(database)
                              + QStringLiteral("：") + expected),
             qPrintable(error));
    QVERIFY2(error.contains(detail), qPrintable(error));
    if (!mount)
        QVERIFY2(error.contains(QStringLiteral("最新的備份：") + QDir::toNativeSeparators(backup)),
                 qPrintable(error));
    QVERIFY(!m_dm->isWorkingOpen());
    QVERIFY(!m_hooks.calls.contains(QStringLiteral("clock ST")));
    QCOMPARE(FileHash(database), before);
    if (templateCase)
        QVERIFY(!QFileInfo::exists(database));

    // The same problem again: no second message, still nothing written.
    QCOMPARE(Activate(), MainActivation::Outcome::Stopped);
    QCOMPARE(m_activation->lastError(), QString());
    QCOMPARE(FileHash(database), before);
    QVERIFY(!QFileInfo::exists(database + QStringLiteral("-wal")));
}

// A damaged page in a table the start does not read: the station starts, SQLite's page check
// runs beside it and the damage is shown once, with the newest backup.
void TestActivation::damagedPageIsReportedAfterTheStart()
{
    QVERIFY(QDir().mkpath(DataRoot() + QStringLiteral("/Backup")));
    const QString backup = DataRoot() + QStringLiteral("/Backup/20250502170000_QuorinBackup.db");
    QVERIFY(QFile::copy(TemplatePath(), backup));
    const QString database = DataRoot() + QStringLiteral("/Quorin.db");
    QVERIFY(QFile::copy(TemplatePath(), database));
    QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(ExecOnFile(database, QStringLiteral(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
        "insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY) "
        "select '01', printf('A%09d', i), '1140501', '090000', '0', 'ABC12345678000109:00' from n")));
    const qint64 pages = QFileInfo(database).size() / 4096;
    DamagePage(database, int(pages) - 1);

    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    m_dm->WaitForPageCheck();
    QTRY_COMPARE(m_prompter->errors.size(), 1);
    const QString error = m_prompter->errors.first();
    QVERIFY2(error.startsWith(QStringLiteral("資料庫 ") + QDir::toNativeSeparators(database)
                              + QStringLiteral(" 檢查發現已損毀")),
             qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("最新的備份：") + QDir::toNativeSeparators(backup)), qPrintable(error));

    // Once per run: the next activation does not check (nor report) again.
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    m_dm->WaitForPageCheck();
    QTest::qWait(50);
    QCOMPARE(m_prompter->errors.size(), 1);
}

// After a damaged page the newest backup that passes the check is offered; restoring keeps the
// damaged file aside and lists the events recorded after the backup for entering again.
void TestActivation::damagedPageOffersTheNewestSoundBackup()
{
    QVERIFY(QDir().mkpath(DataRoot() + QStringLiteral("/Backup")));
    const QString sound = DataRoot() + QStringLiteral("/Backup/20250502170000_QuorinBackup.db");
    QVERIFY(QFile::copy(TemplatePath(), sound));
    const QString broken = DataRoot() + QStringLiteral("/Backup/20250503170000_QuorinBackup.db");
    WriteBytes(broken, QByteArray(8192, 'x'));
    const QString database = DataRoot() + QStringLiteral("/Quorin.db");
    QVERIFY(QFile::copy(TemplatePath(), database));
    QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner);
    // Two events after the backup was made, then many before it.
    QVERIFY(ExecOnFile(database, QStringLiteral(
        "insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY) values "
        "('01', 'L123456789', '1140504', '081500', '0', 'KB', 'ABC12345678000109:00'), "
        "('01', 'M223456789', '1140502', '170001', '1', 'SR', 'ABC12345678000109:00')")));
    QVERIFY(ExecOnFile(database, QStringLiteral(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
        "insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY) "
        "select '01', printf('A%09d', i), '1140501', '090000', '0', 'ABC12345678000109:00' from n")));
    const qint64 pages = QFileInfo(database).size() / 4096;
    DamagePage(database, int(pages) - 1);

    m_prompter->queueButton(Prompter::Button::Yes);
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    m_dm->WaitForPageCheck();
    QTRY_COMPARE(m_prompter->messages.size(), 1);
    QCOMPARE(m_prompter->errors.size(), 1);
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY2(m_prompter->asked.first().contains(QDir::toNativeSeparators(sound)),
             qPrintable(m_prompter->asked.first()));
    QCOMPARE(m_prompter->askedButtons.first().value(1).caption, QStringLiteral("暫不還原"));

    // The backup's rows in the database's place, open again for the station.
    QVERIFY(m_dm->isWorkingOpen());
    QCOMPARE(QueryValue(QStringLiteral("select count(*) from PSIO")).toInt(), 0);
    // Nothing deleted: the damaged file aside as it was, the unusable backup where it was.
    const QStringList aside = QDir(DataRoot()).entryList({ QStringLiteral("*_QuorinDamaged.db") });
    QCOMPARE(aside.size(), 1);
    QCOMPARE(ValueOnFile(DataRoot() + u'/' + aside.first(),
                         QStringLiteral("select group_concat(IDNO) from PSIO where RID <= 2")),
             QStringLiteral("L123456789,M223456789"));
    QVERIFY(QFile::exists(broken));
    // The events after the backup, listed for entering again.
    const QStringList lists = QDir(DataRoot()).entryList({ QStringLiteral("*_補登簽到退.csv") });
    QCOMPARE(lists.size(), 1);
    QFile list(DataRoot() + u'/' + lists.first());
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QString listed = QString::fromUtf8(list.readAll());
    QCOMPARE(listed.count(QStringLiteral("\r\n")), 3);
    QVERIFY(listed.contains(QStringLiteral("1140502,170001,M223456789,1,ABC12345678000109:00,SR,01")));
    QVERIFY(listed.contains(QStringLiteral("1140504,081500,L123456789,0,ABC12345678000109:00,KB,01")));
    const QString told = m_prompter->messages.first();
    QVERIFY2(told.contains(QDir::toNativeSeparators(DataRoot() + u'/' + aside.first()))
                 && told.contains(QStringLiteral("2 筆")) && told.contains(QStringLiteral("L123456789")),
             qPrintable(told));
}

// A template that is no template of ours is named as such, not by the statement that failed.
void TestActivation::foreignTemplateIsNamed()
{
    QVERIFY(QDir().mkpath(DataRoot()));
    const QString database = DataRoot() + QStringLiteral("/Quorin.db");
    QVERIFY(QFile::copy(TemplatePath(), database));
    QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner);
    const QString sample = m_exeDir->filePath(QStringLiteral("SampleQuorin.db"));
    QVERIFY(QFile::remove(sample));
    QVERIFY(ExecOnFile(sample, QStringLiteral("create table Inventory (Item text, Count integer)")));

    QCOMPARE(Activate(), MainActivation::Outcome::Stopped);
    const QString error = m_activation->lastError();
    QVERIFY2(error.startsWith(QStringLiteral("範本資料庫 ") + QDir::toNativeSeparators(sample)
                              + QStringLiteral(" 不是本系統的範本")),
             qPrintable(error));
    QVERIFY2(!error.contains(QStringLiteral("select")), qPrintable(error));
}

// A station ended while it wrote a snapshot leaves the writer's temporary file; the next start
// removes those of the snapshot folders, and nothing else.
void TestActivation::staleSnapshotTemporariesGoAtStart()
{
    const QString images = DataRoot() + QStringLiteral("/查核資料檔案");
    const QStringList stale { images + QStringLiteral("/11412/.A.jpg.123456"),
                              images + QStringLiteral("/11401000001/PIC/.B.jpg.111111") };
    const QStringList kept { images + QStringLiteral("/11412/A.jpg"),
                             images + QStringLiteral("/11401000001/PIC/.notes.txt"),
                             images + QStringLiteral("/11401000001/.C.csv.222222"),
                             images + QStringLiteral("/.D.jpg.333333"),
                             images + QStringLiteral("/other/.E.jpg.444444"),
                             DataRoot() + QStringLiteral("/.Other.db.555555") };
    const QString beingWritten = images + QStringLiteral("/11412/.F.jpg.654321");
    for (const QString &path : stale + kept + QStringList { beingWritten }) {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("half");
        file.flush();
        if (path != beingWritten)
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
    }
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    for (const QString &path : stale)
        QVERIFY2(!QFile::exists(path), qPrintable(path));
    for (const QString &path : kept + QStringList { beingWritten })
        QVERIFY2(QFile::exists(path), qPrintable(path));
}

// The version keys cannot be written (a full disk): the reason is told once, the station starts
// all the same and the settings file keeps what it had.
void TestActivation::unwritableSettingsFileIsToldOnce()
{
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    // A version key that differs, so that the next start writes.
    WriteIni(IniKey::DbVersion, QStringLiteral("older"));
    const QByteArray before = FileHash(m_globals.iniPath());
    for (int run = 0; run < 2; ++run) {
        m_hooks.calls.clear();
        InjectAtomicFileFault(AtomicFileStep::Sync, ENOSPC);
        QCOMPARE(Activate(), MainActivation::Outcome::Done);
        InjectAtomicFileFault(AtomicFileStep::Sync, 0);
        QVERIFY(m_hooks.calls.contains(QStringLiteral("clock ST")));
        QCOMPARE(m_prompter->errors.size(), 1);
        QVERIFY2(m_prompter->errors.first().contains(QStringLiteral("磁碟空間不足"))
                     && m_prompter->errors.first().contains(QStringLiteral("Rolvan.ini")),
                 qPrintable(m_prompter->errors.first()));
        QCOMPARE(FileHash(m_globals.iniPath()), before);
    }
}

// The disk fills while the template is copied to a new working database: no half database is
// left under its name, and the message says why.
void TestActivation::failedTemplateCopyLeavesNoDatabase()
{
    InjectAtomicFileFault(AtomicFileStep::Write, ENOSPC);
    QCOMPARE(Activate(), MainActivation::Outcome::Stopped);
    InjectAtomicFileFault(AtomicFileStep::Write, 0);
    const QString error = m_activation->lastError();
    QVERIFY2(error.contains(QStringLiteral("無法由範本複製出新的資料庫"))
                 && error.contains(QStringLiteral("磁碟空間不足")),
             qPrintable(error));
    QCOMPARE(QDir(DataRoot()).entryList(QDir::Files | QDir::Hidden), QStringList());
    // The disk has room again: the next activation makes the database.
    QCOMPARE(Activate(), MainActivation::Outcome::Done);
    QVERIFY(QFile::exists(DataRoot() + QStringLiteral("/Quorin.db")));
}

QTEST_GUILESS_MAIN(TestActivation)
#include "tst_activation.moc"
