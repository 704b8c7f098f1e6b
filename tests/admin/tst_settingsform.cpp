// The station settings behind the settings window: what a save writes and refuses, the class
// periods, the drive change, the new-station folders and databases, and the administrator
// password check; the shared database's fields.

#include "Fun/Base64Functions.h"
#include "Fun/IniFile.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "admin/AdminPassword.h"
#include "admin/StationSettingsForm.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString Value(const QString &iniPath, const QString &section, const QString &key)
{
    IniFile ini;
    if (!ini.load(iniPath))
        return u"<unreadable>"_s;
    return ini.value(section, key).value_or(u"<missing>"_s);
}

// A settings file of a station that has been running for a while.
const QByteArray ExistingIni =
    "[Base]\n"
    "Company ID=  12345678  \n"
    "Company Name=台北職訓中心\n"
    "委託代訓編號=Y002\n"
    "ComputerNo=03\n"
    "system pass=c2VjcmV0\n"
    "DataBaseLocationPath=D:\\RolvanDAP\n"
    "BackupLocationPath=D:\\RolvanDAP\\Backup\n"
    "ImageFileLocationPath=D:\\RolvanDAP\\查核資料檔案\n"
    "班別時間設定=080012001300170018002200\n"
    "IOKeyboard=maybe\n"
    "簽到拍照=False\n"
    "IORS232=True\n"
    "簽到退識別儲存種類=會員編號\n"
    "作業系統=Win 7\n"
    "[Baae]\n"
    "班別時間設定=093012001330173018302130\n"
    "[感應卡]\n"
    "檢核資料=ABC\n"
    "BoudRate=19200\n";

// The settings file after a save of the settings window.
QByteArray ExistingIniSavedOnce()
{
    return "[Base]\nComputerNo=01\n影像子目錄分類依據=課程編號\n上課前幾分鐘開始簽到=60\n"
           "下課後幾分鐘內可簽退=60\nIOScreen=True\nIOKeyboard=True\n簽到拍照=True\n"
           "簽到退識別儲存種類=身分證字號\n簽到退識別輸入種類=身分證字號\n簽到退識別顯示種類=姓名\n";
}

} // namespace

class TestSettingsForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadTakesStoredValuesAndDefaults();
    void saveNeedsATwoCharacterStationNumber_data();
    void saveNeedsATwoCharacterStationNumber();
    void saveWritesEveryKeyWithTheFixedValues();
    void passwordIsKeptAsStoredUnlessChanged_data();
    void passwordIsKeptAsStoredUnlessChanged();
    void sharedDatabaseFieldsRoundTrip();
    void sharedDatabasePasswordIsKeptAsStoredUnlessChanged_data();
    void sharedDatabasePasswordIsKeptAsStoredUnlessChanged();
    void saveRefusesAnIncompleteSharedDatabase_data();
    void saveRefusesAnIncompleteSharedDatabase();
    void classPeriodsArePaddedToFourCharacters_data();
    void classPeriodsArePaddedToFourCharacters();
    void driveChangeMovesEveryFolder_data();
    void driveChangeMovesEveryFolder();

    void saveListsWhatChangesUnseen_data();
    void saveListsWhatChangesUnseen();
    void saveAsksOnceAndWritesNothingWhenCancelled();

    void newStationActionCopiesTheTemplateOnce();
    void newStationActionReportsWhatFailed();

    void adminPasswordMatches_data();
    void adminPasswordMatches();

private:
    QString IniPath() const { return m_db->globals().iniPath(); }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestSettingsForm::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_prompter = std::make_unique<ScriptedPrompter>();
}

void TestSettingsForm::cleanup()
{
    m_prompter.reset();
    m_db.reset();
}

void TestSettingsForm::loadTakesStoredValuesAndDefaults()
{
    QVERIFY(WriteBytes(IniPath(), ExistingIni));
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());

    QCOMPARE(form.companyId, u"12345678"_s);
    QCOMPARE(form.companyName, u"台北職訓中心"_s);
    QCOMPARE(form.stationNo, u"03"_s);
    QCOMPARE(form.password, u"secret"_s);
    QCOMPARE(form.databasePath, u"D:\\RolvanDAP"_s);
    QCOMPARE(form.Drive(), u"D:"_s);
    QCOMPARE(form.classPeriods[0], u"0800"_s);
    QCOMPARE(form.classPeriods[5], u"2200"_s);
    QCOMPARE(form.operatingSystem, u"Win 7"_s);
    QCOMPARE(form.baudRate, u"19200"_s);
    // A yes/no value that cannot be read shows its default instead of closing the window.
    QCOMPARE(form.ioKeyboard, true);
    QCOMPARE(form.comPortModule, true);

    // Missing keys take the window's defaults.
    QCOMPARE(form.csvPath, JoinPath(DefaultDataRoot(), u"CSV"_s));
    QCOMPARE(form.minutesBeforeStart, u"60"_s);
    QCOMPARE(form.courseSwitchLimit, u"15"_s);
    QCOMPARE(form.identityInputKind, u"身分證字號"_s);
    QCOMPARE(form.identityShowKind, u"姓名"_s);
    QCOMPARE(form.comPort, u"COM3"_s);
    QCOMPARE(form.registryDeviceName, u"\\Device\\Serial"_s);
    // Without a template the two rule values shown from it take theirs.
    QCOMPARE(form.lateTolerance, u"15"_s);
    QCOMPARE(form.minutesPerHour, u"45"_s);
}

void TestSettingsForm::saveNeedsATwoCharacterStationNumber_data()
{
    QTest::addColumn<QString>("stationNo");
    QTest::addColumn<bool>("saved");
    QTest::newRow("one character") << u"1"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("three characters") << u"001"_s << false;
    QTest::newRow("two digits") << u"01"_s << true;
    QTest::newRow("two letters") << u"AB"_s << true;
}

void TestSettingsForm::saveNeedsATwoCharacterStationNumber()
{
    QFETCH(QString, stationNo);
    QFETCH(bool, saved);
    QVERIFY(WriteBytes(IniPath(), ExistingIni));
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());
    form.stationNo = stationNo;
    form.companyName = u"新名稱"_s;

    QCOMPARE(form.Save(IniPath()), saved);
    if (saved) {
        QVERIFY(m_prompter->all().isEmpty());
        QCOMPARE(Value(IniPath(), IniSection::Base, IniKey::StationNo), stationNo);
        QCOMPARE(Value(IniPath(), IniSection::Base, IniKey::CompanyName), u"新名稱"_s);
    } else {
        QCOMPARE(m_prompter->messages, QStringList{u"電腦編號長度只能2碼"_s});
        QCOMPARE(ReadBytes(IniPath()), ExistingIni);
    }
}

void TestSettingsForm::saveWritesEveryKeyWithTheFixedValues()
{
    QVERIFY(WriteBytes(IniPath(), ExistingIni));
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());
    form.imagePath = u"D:\\影像"_s;
    form.ioKeyboard = false;
    form.manualSuccessSound = false;
    form.serviceUrl = u"https://service.example/cco"_s;
    QVERIFY(form.Save(IniPath()));

    const QString &base = IniSection::Base;
    // Every value of the window, the loaded ones too.
    QCOMPARE(Value(IniPath(), base, IniKey::CompanyId), u"12345678"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::TrainingUnitCode), u"Y002"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::ImageFileLocationPath), u"D:\\影像"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::CsvLocationPath), JoinPath(DefaultDataRoot(), u"CSV"_s));
    QCOMPARE(Value(IniPath(), base, IniKey::PhotoSubPathRule), u"課程編號"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::CourseNoLength), u"11"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::ClassPeriods), u"080012001300170018002200"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::RollCallLimit), u"30"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::IOKeyboard), u"False"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::IOScreen), u"True"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::ManualSuccessSound), u"False"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::OperatingSystem), u"Win 7"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::ServiceUrl), u"https://service.example/cco"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::UpdateUrl), StationSettingsForm::DefaultUpdateUrl);
    QCOMPARE(Value(IniPath(), IniSection::CardReader, IniKey::BaudRate), u"19200"_s);
    QCOMPARE(Value(IniPath(), IniSection::CardReader, IniKey::ComPort), u"COM3"_s);

    // The fixed values, whatever the file held.
    QCOMPARE(Value(IniPath(), base, IniKey::IdentityStoreKind), u"身分證字號"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::PhotoOnSign), u"True"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::IORS232), u"False"_s);
    for (const QString &key : {IniKey::CheckStart, IniKey::CheckData, IniKey::DataStart,
                               IniKey::DataBits, IniKey::OutputLength, IniKey::CardSegments})
        QCOMPARE(Value(IniPath(), IniSection::CardReader, key), QString());

    // The rule values shown from the template are never written; the class periods of the
    // station (section Baae) stay as they were.
    QCOMPARE(Value(IniPath(), base, PerUnitKey(SysIniKey::LateTolerancePrefix, u"Y002"_s)), u"<missing>"_s);
    QCOMPARE(Value(IniPath(), IniSection::Baae, IniKey::ClassPeriods), u"093012001330173018302130"_s);
}

void TestSettingsForm::passwordIsKeptAsStoredUnlessChanged_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("newPassword"); // null: not changed
    QTest::addColumn<QString>("expected");
    QTest::newRow("none stays none") << QString() << QString() << QString();
    QTest::newRow("kept") << u"c2VjcmV0"_s << QString() << u"c2VjcmV0"_s;
    QTest::newRow("not Base64, kept") << u"abc"_s << QString() << u"abc"_s;
    QTest::newRow("changed") << u"c2VjcmV0"_s << u"管理"_s << Utf8ToBase64(u"管理"_s);
    QTest::newRow("removed") << u"c2VjcmV0"_s << u""_s << QString();
}

void TestSettingsForm::passwordIsKeptAsStoredUnlessChanged()
{
    QFETCH(QString, stored);
    QFETCH(QString, newPassword);
    QFETCH(QString, expected);
    WriteIniSettingAt(IniPath(), IniSection::Base, IniKey::SystemPass, stored);
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());
    form.stationNo = u"01"_s;
    if (!newPassword.isNull())
        form.password = newPassword;
    QVERIFY(form.Save(IniPath()));
    QCOMPARE(Value(IniPath(), IniSection::Base, IniKey::SystemPass), expected);
}

void TestSettingsForm::sharedDatabaseFieldsRoundTrip()
{
    QVERIFY(WriteBytes(IniPath(), ExistingIni));
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());
    // Not set yet: off, the usual port.
    QCOMPARE(form.useNetDb, false);
    QCOMPARE(form.netDbPort, u"5432"_s);
    QCOMPARE(form.netDbHost, QString());

    const QString password = u"教室 p@ss'w\\rd="_s;
    form.useNetDb = true;
    form.netDbHost = u"  db.unit.example "_s;
    form.netDbPort = u"06543"_s;
    form.netDbDatabase = u"attendance"_s;
    form.netDbUser = u"station"_s;
    form.netDbPassword = password;
    QVERIFY(form.Save(IniPath()));

    const QString &base = IniSection::Base;
    QCOMPARE(Value(IniPath(), base, IniKey::UseNetDb), u"True"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::NetDbHost), u"db.unit.example"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::NetDbPort), u"6543"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::NetDbDatabase), u"attendance"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::NetDbUser), u"station"_s);
    // The password is Base64 of its UTF-8 bytes, never the plain text.
    const QString stored = Value(IniPath(), base, IniKey::NetDbPassword);
    QCOMPARE(QByteArray::fromBase64(stored.toLatin1()), password.toUtf8());
    QVERIFY(!ReadBytes(IniPath()).contains("p@ss"));

    // What the station reads, and what the window shows again.
    const NetDbSettings read = NetDbSettings::FromIniFile(IniPath());
    QCOMPARE(read.host, u"db.unit.example"_s);
    QCOMPARE(read.port, 6543);
    QCOMPARE(read.database, u"attendance"_s);
    QCOMPARE(read.user, u"station"_s);
    QCOMPARE(read.password, password);
    StationSettingsForm again;
    again.Load(IniPath(), m_db->dm().ConSample());
    QCOMPARE(again.useNetDb, true);
    QCOMPARE(again.netDbHost, u"db.unit.example"_s);
    QCOMPARE(again.netDbPort, u"6543"_s);
    QCOMPARE(again.netDbPassword, password);
    QCOMPARE(again.NetDb().Describe(), read.Describe());

    // Switched off, the server's values stay for the next time.
    again.useNetDb = false;
    QVERIFY(again.Save(IniPath()));
    QCOMPARE(Value(IniPath(), base, IniKey::UseNetDb), u"False"_s);
    QCOMPARE(Value(IniPath(), base, IniKey::NetDbPassword), stored);
}

void TestSettingsForm::sharedDatabasePasswordIsKeptAsStoredUnlessChanged_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("newPassword"); // null: not changed
    QTest::addColumn<QString>("expected");
    QTest::newRow("none stays none") << QString() << QString() << QString();
    QTest::newRow("kept") << u"c2VjcmV0"_s << QString() << u"c2VjcmV0"_s;
    QTest::newRow("not Base64, kept as it is") << u"%%%"_s << QString() << u"%%%"_s;
    QTest::newRow("changed") << u"c2VjcmV0"_s << u"新密碼"_s << u"5paw5a+G56K8"_s;
    QTest::newRow("removed") << u"c2VjcmV0"_s << u""_s << QString();
}

void TestSettingsForm::sharedDatabasePasswordIsKeptAsStoredUnlessChanged()
{
    QFETCH(QString, stored);
    QFETCH(QString, newPassword);
    QFETCH(QString, expected);
    WriteIniSettingAt(IniPath(), IniSection::Base, IniKey::NetDbPassword, stored);
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());
    form.stationNo = u"01"_s;
    if (!newPassword.isNull())
        form.netDbPassword = newPassword;
    QVERIFY(form.Save(IniPath()));
    QCOMPARE(Value(IniPath(), IniSection::Base, IniKey::NetDbPassword), expected);
}

// A save with the shared database switched on needs where it is; the port is a port either way.
void TestSettingsForm::saveRefusesAnIncompleteSharedDatabase_data()
{
    QTest::addColumn<bool>("useNetDb");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("field"); // StationSettingsForm::Field; None: saved
    QTest::addColumn<QString>("named"); // in the message

    using F = StationSettingsForm::Field;
    const QString h = u"db.example"_s, d = u"attendance"_s, u = u"station"_s;
    QTest::newRow("complete") << true << h << u"5432"_s << d << u << int(F::None) << QString();
    QTest::newRow("port at the top") << true << h << u"65535"_s << d << u << int(F::None) << QString();
    QTest::newRow("port with blanks") << true << h << u" 1 "_s << d << u << int(F::None) << QString();
    QTest::newRow("off, nothing filled in") << false << QString() << u"5432"_s << QString() << QString()
                                            << int(F::None) << QString();
    QTest::newRow("port zero") << true << h << u"0"_s << d << u << int(F::NetDbPort) << u"「連接埠」"_s;
    QTest::newRow("port too large") << true << h << u"65536"_s << d << u << int(F::NetDbPort) << u"「連接埠」"_s;
    QTest::newRow("port not a number") << true << h << u"54a2"_s << d << u << int(F::NetDbPort) << u"「連接埠」"_s;
    QTest::newRow("port negative") << true << h << u"-1"_s << d << u << int(F::NetDbPort) << u"「連接埠」"_s;
    QTest::newRow("port empty") << true << h << QString() << d << u << int(F::NetDbPort) << u"「連接埠」"_s;
    QTest::newRow("port wrong while off") << false << QString() << u"99999"_s << QString() << QString()
                                          << int(F::NetDbPort) << u"「連接埠」"_s;
    QTest::newRow("host empty") << true << QString() << u"5432"_s << d << u << int(F::NetDbHost) << u"「主機」"_s;
    QTest::newRow("host blanks") << true << u"   "_s << u"5432"_s << d << u << int(F::NetDbHost) << u"「主機」"_s;
    QTest::newRow("database empty") << true << h << u"5432"_s << QString() << u << int(F::NetDbDatabase)
                                    << u"「資料庫名稱」"_s;
    QTest::newRow("user empty") << true << h << u"5432"_s << d << QString() << int(F::NetDbUser)
                                << u"「使用者」"_s;
}

void TestSettingsForm::saveRefusesAnIncompleteSharedDatabase()
{
    QFETCH(bool, useNetDb);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, database);
    QFETCH(QString, user);
    QFETCH(int, field);
    QFETCH(QString, named);
    QVERIFY(WriteBytes(IniPath(), ExistingIni));
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());
    form.useNetDb = useNetDb;
    form.netDbHost = host;
    form.netDbPort = port;
    form.netDbDatabase = database;
    form.netDbUser = user;

    QCOMPARE(int(form.Validate().field), field);
    const bool saved = field == int(StationSettingsForm::Field::None);
    QCOMPARE(form.Save(IniPath()), saved);
    if (saved) {
        QVERIFY(m_prompter->all().isEmpty());
        QCOMPARE(Value(IniPath(), IniSection::Base, IniKey::UseNetDb), BoolToText(useNetDb));
        QCOMPARE(Value(IniPath(), IniSection::Base, IniKey::NetDbPort), QString::number(port.trimmed().toInt()));
    } else {
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY2(m_prompter->messages.first().contains(named), qPrintable(m_prompter->messages.first()));
        QCOMPARE(ReadBytes(IniPath()), ExistingIni);
    }
}

void TestSettingsForm::classPeriodsArePaddedToFourCharacters_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("saved");
    QTest::newRow("four") << u"0930"_s << u"093012001330170018302100"_s;
    QTest::newRow("three") << u"930"_s << u"930012001330170018302100"_s;
    QTest::newRow("empty") << QString() << u"000012001330170018302100"_s;
    QTest::newRow("five") << u"09301"_s << u"093012001330170018302100"_s;
}

void TestSettingsForm::classPeriodsArePaddedToFourCharacters()
{
    QFETCH(QString, first);
    QFETCH(QString, saved);
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());
    QCOMPARE(form.ClassPeriodsText(), IniDefault::ClassPeriodsBase);
    form.stationNo = u"01"_s;
    form.classPeriods[0] = first;
    QVERIFY(form.Save(IniPath()));
    QCOMPARE(Value(IniPath(), IniSection::Base, IniKey::ClassPeriods), saved);
}

void TestSettingsForm::driveChangeMovesEveryFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("expected");
    QTest::newRow("drive changed") << u"D:\\RolvanDAP\\Backup"_s << u"E:"_s << u"E:\\RolvanDAP\\Backup"_s;
    QTest::newRow("same drive") << u"C:\\RolvanDAP"_s << u"C:"_s << u"C:\\RolvanDAP"_s;
    QTest::newRow("no drive") << u"/home/u/RolvanDAP"_s << u"E:"_s << u"/home/u/RolvanDAP"_s;
    QTest::newRow("network path") << u"\\\\server\\share"_s << u"E:"_s << u"\\\\server\\share"_s;
    QTest::newRow("empty") << QString() << u"E:"_s << QString();
}

void TestSettingsForm::driveChangeMovesEveryFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, drive);
    QFETCH(QString, expected);
    QCOMPARE(ReplaceDrive(path, drive), expected);

    StationSettingsForm form;
    form.databasePath = form.backupPath = form.csvPath = form.imagePath = path;
    form.ChangeDrive(drive);
    for (const QString &changed : {form.databasePath, form.backupPath, form.csvPath, form.imagePath})
        QCOMPARE(changed, expected);
}

// The station reads some keys with defaults of its own; where the file lacks them (or the window
// cannot edit them) a save changes how the station signs in and files pictures, and the window
// lists those changes before saving.
void TestSettingsForm::saveListsWhatChangesUnseen_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("idnoCaption");
    QTest::addColumn<QStringList>("listed"); // "<key>: <before> -> <after>"

    QTest::newRow("a station running on its own defaults")
        << QByteArray("[Base]\nComputerNo=01\n") << QString()
        << QStringList{u"影像子目錄分類依據: 年月 -> 課程編號"_s,
                       u"上課前幾分鐘開始簽到: 0（不限制） -> 60 分鐘"_s,
                       u"下課後幾分鐘內可簽退: 0（不限制） -> 60 分鐘"_s,
                       u"IOScreen: False -> True"_s, u"IOKeyboard: False -> True"_s,
                       u"簽到拍照: False -> True"_s};
    QTest::newRow("the identity kinds follow the identity caption")
        << QByteArray("[Base]\nComputerNo=01\n影像子目錄分類依據=課程編號\n上課前幾分鐘開始簽到=60\n"
                      "下課後幾分鐘內可簽退=60\nIOScreen=True\nIOKeyboard=True\n簽到拍照=True\n")
        << u"學員編號"_s
        << QStringList{u"簽到退識別儲存種類: 學員編號 -> 身分證字號"_s,
                       u"簽到退識別輸入種類: 學員編號 -> 身分證字號"_s,
                       u"簽到退識別顯示種類: 學員編號 -> 姓名"_s};
    QTest::newRow("a stored 年月 is turned into 課程編號")
        << QByteArray("[Base]\nComputerNo=01\n影像子目錄分類依據=年月\n上課前幾分鐘開始簽到=00\n"
                      "下課後幾分鐘內可簽退=\nIOScreen=true\nIOKeyboard=False\n簽到拍照=True\n")
        << QString() << QStringList{u"影像子目錄分類依據: 年月 -> 課程編號"_s};
    QTest::newRow("a station saved before") << ExistingIniSavedOnce() << u"學員編號"_s << QStringList{};
}

void TestSettingsForm::saveListsWhatChangesUnseen()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, idnoCaption);
    QFETCH(QStringList, listed);
    m_db->globals().IdnoCaption = idnoCaption;
    QVERIFY(WriteBytes(IniPath(), ini));
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());
    QStringList seen;
    const QList<StationSettingsForm::UnseenChange> changes = form.UnseenChanges(IniPath());
    for (const StationSettingsForm::UnseenChange &c : changes)
        seen << c.key + u": "_s + c.before + u" -> "_s + c.after;
    QCOMPARE(seen, listed);
    if (!changes.isEmpty()) {
        const QString question = StationSettingsForm::UnseenChangesQuestion(changes);
        QVERIFY(question.contains(changes.first().caption + u"："_s + changes.first().before));
        QVERIFY(question.endsWith(u"確定要儲存設定嗎?"_s));
    }
}

void TestSettingsForm::saveAsksOnceAndWritesNothingWhenCancelled()
{
    const QByteArray fresh("[Base]\nComputerNo=01\n");
    QVERIFY(WriteBytes(IniPath(), fresh));
    StationSettingsForm form;
    form.Load(IniPath(), m_db->dm().ConSample());

    // A refused station number is refused before anything is asked.
    form.stationNo = u"1"_s;
    QVERIFY(!form.SaveAfterAsking(IniPath()));
    QCOMPARE(m_prompter->all(), QStringList{u"電腦編號長度只能2碼"_s});
    m_prompter->clear();

    form.stationNo = u"01"_s;
    m_prompter->queueButton(Prompter::Button::No);
    QVERIFY(!form.SaveAfterAsking(IniPath()));
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->askedButtons.first().first().caption, u"儲存"_s);
    QCOMPARE(ReadBytes(IniPath()), fresh);

    m_prompter->queueButton(Prompter::Button::Yes);
    QVERIFY(form.SaveAfterAsking(IniPath()));
    QCOMPARE(m_prompter->asked.size(), 2);
    QCOMPARE(Value(IniPath(), IniSection::Base, IniKey::PhotoSubPathRule), u"課程編號"_s);
    // Saved once, the next save has nothing unseen to ask about.
    QVERIFY(form.SaveAfterAsking(IniPath()));
    QCOMPARE(m_prompter->asked.size(), 2);
}

void TestSettingsForm::newStationActionCopiesTheTemplateOnce()
{
    Globals &g = m_db->globals();
    // A template that is not one of ours is never copied.
    QVERIFY(WriteBytes(g.ExeDir + g.SampleDbFileName, "template"));
    {
        StationSettingsForm refused;
        refused.databasePath = JoinPath(m_db->dir(), u"壞範本"_s);
        refused.backupPath = refused.csvPath = refused.imagePath = refused.databasePath;
        const StationSettingsForm::NewStationResult result = refused.CreateStationFolders(
            g.ExeDir, g.DbFileName, g.SampleDbFileName, g.OrgDbFileName);
        QVERIFY2(result.failures.join(u'\n').contains(u"不是本系統的資料庫"_s),
                 qPrintable(result.failures.join(u'\n')));
        QVERIFY(!QFile::exists(JoinPath(refused.databasePath, g.DbFileName)));
    }
    QVERIFY(QFile::remove(g.ExeDir + g.SampleDbFileName));
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s,
                        g.ExeDir + g.SampleDbFileName));
    const QByteArray templateBytes = ReadBytes(g.ExeDir + g.SampleDbFileName);
    QVERIFY(WriteBytes(g.ExeDir + g.OrgDbFileName, "org"));
    const QString root = JoinPath(m_db->dir(), u"新站/RolvanDAP"_s);
    StationSettingsForm form;
    form.databasePath = root;
    form.backupPath = JoinPath(root, u"Backup"_s);
    form.csvPath = JoinPath(root, u"CSV"_s);
    form.imagePath = JoinPath(root, u"查核資料檔案/影像"_s);

    QVERIFY(form.RunNewStationAction());
    QCOMPARE(m_prompter->messages, QStringList{u"目錄新增完畢"_s});
    for (const QString &folder : {form.databasePath, form.backupPath, form.csvPath, form.imagePath})
        QVERIFY2(QDir(folder).exists(), qPrintable(folder));
    const QString database = JoinPath(root, g.DbFileName);
    QCOMPARE(ReadBytes(database), templateBytes);
    QCOMPARE(ReadBytes(JoinPath(root, g.OrgDbFileName)), QByteArray("org"));

    // The station works with its database; a second run must not replace it.
    QVERIFY(WriteBytes(database, "attendance records"));
    const StationSettingsForm::NewStationResult again =
        form.CreateStationFolders(g.ExeDir, g.DbFileName, g.SampleDbFileName, g.OrgDbFileName);
    QVERIFY(again.failures.isEmpty());
    QVERIFY(!again.templateCopied);
    QVERIFY(!again.orgDbCopied);
    QCOMPARE(ReadBytes(database), QByteArray("attendance records"));
    QCOMPARE(QDir(root).entryList(QDir::Files).size(), 2); // no temporary file left behind
}

void TestSettingsForm::newStationActionReportsWhatFailed()
{
    Globals &g = m_db->globals();
    // A file stands where the database folder should be; there is no template and no ORGDB.
    const QString blocker = JoinPath(m_db->dir(), u"blocker"_s);
    QVERIFY(WriteBytes(blocker, "x"));
    StationSettingsForm form;
    form.databasePath = JoinPath(blocker, u"RolvanDAP"_s);
    form.backupPath = JoinPath(m_db->dir(), u"Backup"_s);

    QVERIFY(!form.RunNewStationAction());
    QVERIFY(m_prompter->messages.isEmpty());
    QCOMPARE(m_prompter->errors.size(), 1);
    QVERIFY(m_prompter->errors.first().contains(QDir::toNativeSeparators(form.databasePath)));
    QVERIFY(QDir(form.backupPath).exists());

    // A folder that can be made, but no template beside the program.
    m_prompter->clear();
    form.databasePath = JoinPath(m_db->dir(), u"Data"_s);
    const StationSettingsForm::NewStationResult result =
        form.CreateStationFolders(g.ExeDir, g.DbFileName, u"NoSuchTemplate.db"_s, g.OrgDbFileName);
    QCOMPARE(result.failures.size(), 1);
    QVERIFY(result.failures.first().contains(u"NoSuchTemplate.db"_s));
    QVERIFY(!QFile::exists(JoinPath(form.databasePath, g.DbFileName)));
}

void TestSettingsForm::adminPasswordMatches_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("matches");
    // "c2VjcmV0" is how stations store the password "secret".
    QTest::newRow("right") << u"c2VjcmV0"_s << u"secret"_s << true;
    QTest::newRow("letter case") << u"c2VjcmV0"_s << u"Secret"_s << false;
    QTest::newRow("longer") << u"c2VjcmV0"_s << u"secret "_s << false;
    QTest::newRow("prefix") << u"c2VjcmV0"_s << u"secre"_s << false;
    QTest::newRow("empty typed") << u"c2VjcmV0"_s << QString() << false;
    QTest::newRow("chinese") << Utf8ToBase64(u"管理員"_s) << u"管理員"_s << true;
    QTest::newRow("chinese wrong") << Utf8ToBase64(u"管理員"_s) << u"管理"_s << false;
    QTest::newRow("stored plain text") << u"secret"_s << u"secret"_s << false;
}

void TestSettingsForm::adminPasswordMatches()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, matches);
    QCOMPARE(AdminPasswordMatches(typed, stored), matches);
}

QTEST_GUILESS_MAIN(TestSettingsForm)
#include "tst_settingsform.moc"
