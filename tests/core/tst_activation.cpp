// The start-up duties of the main window: data folders, the working database copied from the
// template, the version check, the INI version keys, and what stops an activation.

#include "Fun/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/Activation.h"
#include "core/Globals.h"
#include "core/TDM.h"
#include "mock/ScriptedPrompter.h"
#include "station/StationState.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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
    m_dm = std::make_unique<TDM>(m_globals);
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
    QVERIFY(m_activation->windowCaption().startsWith(
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

QTEST_GUILESS_MAIN(TestActivation)
#include "tst_activation.moc"
