#include "admin/StationSettingsForm.h"

#include "Fun/Base64Functions.h"
#include "Fun/FileFunctions.h"
#include "Fun/IniFile.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/SysIni.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

const QString StationSettingsForm::DefaultServiceUrl = u"https://training.example/cco"_s;
const QString StationSettingsForm::DefaultUpdateUrl = u"https://training.example/esign"_s;

namespace {

const QString TrueText = u"True"_s;
const QString FalseText = u"False"_s;

QString Read(const IniFile &ini, const QString &section, const QString &key,
             const QString &defaultValue)
{
    // The same rule as ReadIniSetting with an empty empty-value.
    return ini.value(section, key, defaultValue);
}

bool ReadBool(const IniFile &ini, const QString &key, bool defaultValue)
{
    try {
        return TextToBool(ini.value(IniSection::Base, key, BoolToText(defaultValue)));
    } catch (const ConversionError &) {
        return defaultValue;
    }
}

// Copies source to target through a temporary name in the target's folder; the target is
// never replaced, so a file that appeared meanwhile is kept.
bool CopyNewFile(const QString &source, const QString &target)
{
    const QString temporary = target + u".copying"_s;
    QFile::remove(temporary);
    if (!QFile::copy(source, temporary))
        return false;
    QFile::setPermissions(temporary, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                         | QFile::ReadOther);
    if (!QFile::rename(temporary, target)) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

QString Shown(const QString &path) { return QDir::toNativeSeparators(path); }

} // namespace

QStringList StationSettingsForm::OperatingSystems()
{
    return {u"Win 7"_s, u"Win 8 "_s, u"Win 10"_s};
}

QStringList StationSettingsForm::IdentityInputKinds()
{
    return {u"會員編號"_s, u"身分證字號"_s, u"卡片序號"_s, u"手機號碼"_s};
}

QStringList StationSettingsForm::IdentityShowKinds()
{
    return {u"會員編號"_s, u"身分證字號"_s, u"姓名"_s, u"無"_s};
}

QStringList StationSettingsForm::DriveLetters()
{
    return {u"C:"_s, u"D:"_s, u"E:"_s};
}

QStringList StationSettingsForm::ComPorts()
{
    QStringList ports;
    for (int i = 1; i <= 20; ++i)
        ports << u"COM"_s + QString::number(i);
    return ports;
}

QStringList StationSettingsForm::BaudRates()
{
    return {u"9600"_s, u"19200"_s};
}

QStringList StationSettingsForm::CardContentKinds()
{
    return {u"會員編號"_s, u"身分證字號"_s, u"卡片序號"_s, u"卡片序號:員工編號"_s,
            u"卡片序號:身分證字號"_s, u"身分證字號or員工編號"_s};
}

void StationSettingsForm::Load(const QString &iniPath, QSqlDatabase sample)
{
    // A file that cannot be read shows the defaults; saving then refuses to overwrite it.
    IniFile ini;
    ini.load(iniPath);
    const QString &base = IniSection::Base;
    const QString root = DefaultDataRoot();

    companyId = Read(ini, base, IniKey::CompanyId, QString()).trimmed();
    trainingUnitCode = Read(ini, base, IniKey::TrainingUnitCode, IniDefault::TrainingUnitCode);
    companyName = Read(ini, base, IniKey::CompanyName, QString());
    stationNo = Read(ini, base, IniKey::StationNo, IniDefault::StationNo);

    m_storedPassword = Read(ini, base, IniKey::SystemPass, QString());
    m_loadedPassword.clear();
    if (!m_storedPassword.isEmpty()) {
        try {
            m_loadedPassword = Base64ToUtf8(m_storedPassword);
        } catch (const ConversionError &) {
            // Not a Base64 text: the stored text is kept as it is.
        }
    }
    password = m_loadedPassword;

    databasePath = Read(ini, base, IniKey::DataBaseLocationPath, root);
    backupPath = Read(ini, base, IniKey::BackupLocationPath, JoinPath(root, u"Backup"_s));
    csvPath = Read(ini, base, IniKey::CsvLocationPath, JoinPath(root, u"CSV"_s));
    imagePath = Read(ini, base, IniKey::ImageFileLocationPath, JoinPath(root, u"查核資料檔案"_s));
    // The companion choice "年月" is not offered: the course number is always chosen.
    photoSubPathByCourseNo = true;

    courseNoLength = Read(ini, base, IniKey::CourseNoLength, u"11"_s);
    minutesBeforeStart = Read(ini, base, IniKey::MinutesBeforeStart, u"60"_s);
    minutesAfterEnd = Read(ini, base, IniKey::MinutesAfterEnd, u"60"_s);
    breakLimit = Read(ini, base, IniKey::BreakLimit, u"60"_s);
    courseSwitchLimit = Read(ini, base, IniKey::CourseSwitchLimit, u"15"_s);
    const QString periods = Read(ini, base, IniKey::ClassPeriods, IniDefault::ClassPeriodsBase);
    for (int i = 0; i < 6; ++i)
        classPeriods[std::size_t(i)] = periods.mid(i * 4, 4);
    rollCallLimit = Read(ini, base, IniKey::RollCallLimit, u"30"_s);

    cameraDevice = Read(ini, base, IniKey::CameraDevice, u"0"_s);
    photoQuality = Read(ini, base, IniKey::PhotoQuality, u"15"_s);
    operatingSystem = Read(ini, base, IniKey::OperatingSystem, u"Win 10"_s);
    ioKeyboard = ReadBool(ini, IniKey::IOKeyboard, true);
    ioScreen = ReadBool(ini, IniKey::IOScreen, true);
    identityInputKind = Read(ini, base, IniKey::IdentityInputKind, u"身分證字號"_s);
    identityShowKind = Read(ini, base, IniKey::IdentityShowKind, u"姓名"_s);
    manualSuccessSound = ReadBool(ini, IniKey::ManualSuccessSound, true);
    serviceUrl = Read(ini, base, IniKey::ServiceUrl, DefaultServiceUrl);
    updateUrl = Read(ini, base, IniKey::UpdateUrl, DefaultUpdateUrl);

    useNetDb = ReadBool(ini, IniKey::UseNetDb, false);
    const NetDbSettings netDb = NetDbSettings::FromIniFile(iniPath);
    netDbHost = netDb.host;
    // The port as stored, so that a value that is not a number shows and is refused at saving.
    netDbPort = Read(ini, base, IniKey::NetDbPort, QString::number(netDb.port)).trimmed();
    netDbDatabase = netDb.database;
    netDbUser = netDb.user;
    m_storedNetDbPassword = Read(ini, base, IniKey::NetDbPassword, QString());
    m_loadedNetDbPassword = netDb.password;
    netDbPassword = m_loadedNetDbPassword;

    const QString &card = IniSection::CardReader;
    comPortModule = ReadBool(ini, IniKey::IORS232, false);
    comPort = Read(ini, card, IniKey::ComPort, u"COM3"_s);
    baudRate = Read(ini, card, IniKey::BaudRate, u"9600"_s);
    cardDataLength = Read(ini, card, IniKey::CardDataLength, u"10"_s);
    cardContentKind = Read(ini, card, IniKey::CardContentKind, u"卡片序號"_s);
    registryDeviceName = Read(ini, card, IniKey::RegistryDeviceName, u"\\Device\\Serial"_s);

    // Shown from the template; a station without one shows the usual values.
    lateTolerance = u"15"_s;
    minutesPerHour = u"45"_s;
    if (sample.isOpen()) {
        lateTolerance = ReadSysIni(sample, base, PerUnitKey(SysIniKey::LateTolerancePrefix, trainingUnitCode),
                                   QString(), u"15"_s);
        minutesPerHour = ReadSysIni(sample, base, PerUnitKey(SysIniKey::MinutesPerHourPrefix, trainingUnitCode),
                                    QString(), u"45"_s);
    }
}

int StationSettingsForm::PortNumber(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 5)
        return 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
    }
    const int port = digits.toInt();
    return port >= 1 && port <= 65535 ? port : 0;
}

QString StationSettingsForm::PortRefusal()
{
    return u"共用資料庫的「連接埠」必須是 1 到 65535 的數字（PostgreSQL 預設為 5432）。"_s;
}

NetDbSettings StationSettingsForm::NetDb() const
{
    NetDbSettings settings;
    settings.host = netDbHost.trimmed();
    settings.port = PortNumber(netDbPort);
    settings.database = netDbDatabase.trimmed();
    settings.user = netDbUser.trimmed();
    settings.password = netDbPassword;
    return settings;
}

StationSettingsForm::Refusal StationSettingsForm::NetDbRefusal(bool needComplete,
                                                               const QString &missingPrefix,
                                                               const QString &missingSuffix) const
{
    if (PortNumber(netDbPort) == 0)
        return {Field::NetDbPort, PortRefusal()};
    if (needComplete) {
        if (netDbHost.trimmed().isEmpty())
            return {Field::NetDbHost,
                    missingPrefix + u"「主機」（資料庫伺服器的名稱或 IP 位址）"_s + missingSuffix};
        if (netDbDatabase.trimmed().isEmpty())
            return {Field::NetDbDatabase, missingPrefix + u"「資料庫名稱」"_s + missingSuffix};
        if (netDbUser.trimmed().isEmpty())
            return {Field::NetDbUser, missingPrefix + u"「使用者」"_s + missingSuffix};
    }
    return {};
}

StationSettingsForm::Refusal StationSettingsForm::Validate() const
{
    if (stationNo.size() != 2)
        return {Field::StationNo, u"電腦編號長度只能2碼"_s};
    return NetDbRefusal(useNetDb, u"已勾選「使用共用資料庫」，請填寫共用資料庫的"_s, u"。"_s);
}

StationSettingsForm::Refusal StationSettingsForm::NetDbTestRefusal() const
{
    return NetDbRefusal(true, u"請先填寫共用資料庫的"_s, u"，再測試連線。"_s);
}

QString StationSettingsForm::ValidationError() const
{
    return Validate().message;
}

QString StationSettingsForm::ClassPeriodsText() const
{
    QString text;
    for (const QString &field : classPeriods)
        text += QString(field + u"0000"_s).left(4);
    return text;
}

QString StationSettingsForm::StoredPasswordText() const
{
    if (password == m_loadedPassword)
        return m_storedPassword;
    return password.isEmpty() ? QString() : Utf8ToBase64(password);
}

QString StationSettingsForm::StoredNetDbPasswordText() const
{
    if (netDbPassword == m_loadedNetDbPassword)
        return m_storedNetDbPassword;
    return netDbPassword.isEmpty() ? QString() : EncodeNetDbPassword(netDbPassword);
}

bool StationSettingsForm::Save(const QString &iniPath) const
{
    const QString error = ValidationError();
    if (!error.isEmpty()) {
        CurrentPrompter().ShowMessage(error);
        return false;
    }

    IniFile ini;
    if (!ini.load(iniPath))
        throw RolvanError(ini.errorString());
    const QString &base = IniSection::Base;
    auto set = [&ini, &base](const QString &key, const QString &value) {
        ini.setValue(base, key, value);
    };

    set(IniKey::CompanyId, companyId);
    set(IniKey::TrainingUnitCode, trainingUnitCode);
    set(IniKey::CompanyName, companyName);
    set(IniKey::StationNo, stationNo);
    set(IniKey::SystemPass, StoredPasswordText());
    set(IniKey::DataBaseLocationPath, databasePath);
    set(IniKey::BackupLocationPath, backupPath);
    set(IniKey::CsvLocationPath, csvPath);
    set(IniKey::ImageFileLocationPath, imagePath);
    if (photoSubPathByCourseNo)
        set(IniKey::PhotoSubPathRule, u"課程編號"_s);
    set(IniKey::CourseNoLength, courseNoLength);
    set(IniKey::MinutesBeforeStart, minutesBeforeStart);
    set(IniKey::MinutesAfterEnd, minutesAfterEnd);
    set(IniKey::BreakLimit, breakLimit);
    set(IniKey::CourseSwitchLimit, courseSwitchLimit);
    set(IniKey::ClassPeriods, ClassPeriodsText());
    set(IniKey::RollCallLimit, rollCallLimit);
    set(IniKey::CameraDevice, cameraDevice);
    set(IniKey::PhotoQuality, photoQuality);
    set(IniKey::OperatingSystem, operatingSystem);
    set(IniKey::IOKeyboard, BoolToText(ioKeyboard));
    set(IniKey::IOScreen, BoolToText(ioScreen));
    set(IniKey::IdentityInputKind, identityInputKind);
    set(IniKey::IdentityShowKind, identityShowKind);
    set(IniKey::ManualSuccessSound, BoolToText(manualSuccessSound));
    set(IniKey::ServiceUrl, serviceUrl);
    set(IniKey::UpdateUrl, updateUrl);
    set(IniKey::UseNetDb, BoolToText(useNetDb));
    set(IniKey::NetDbHost, netDbHost.trimmed());
    set(IniKey::NetDbPort, QString::number(PortNumber(netDbPort)));
    set(IniKey::NetDbDatabase, netDbDatabase.trimmed());
    set(IniKey::NetDbUser, netDbUser.trimmed());
    set(IniKey::NetDbPassword, StoredNetDbPasswordText());
    // Fixed values: sign events store the full identity number, every sign event takes a
    // snapshot, and the serial card-reader module is not available.
    set(IniKey::IdentityStoreKind, u"身分證字號"_s);
    set(IniKey::PhotoOnSign, TrueText);
    set(IniKey::IORS232, FalseText);

    const QString &card = IniSection::CardReader;
    ini.setValue(card, IniKey::ComPort, comPort);
    ini.setValue(card, IniKey::BaudRate, baudRate);
    ini.setValue(card, IniKey::CardDataLength, cardDataLength);
    ini.setValue(card, IniKey::CardContentKind, cardContentKind);
    ini.setValue(card, IniKey::RegistryDeviceName, registryDeviceName);
    for (const QString &key : {IniKey::CheckStart, IniKey::CheckData, IniKey::DataStart,
                               IniKey::DataBits, IniKey::OutputLength, IniKey::CardSegments})
        ini.setValue(card, key, QString());

    ini.saveOrThrow();
    return true;
}

namespace {

enum class ValueKind { Text, YesNo, Minutes };

// Two stored values that make the station behave alike: yes/no values by their meaning,
// minutes by their number ("00", "0" and empty all mean no limit).
bool SameMeaning(ValueKind kind, const QString &a, const QString &b)
{
    switch (kind) {
    case ValueKind::YesNo:
        try {
            return TextToBool(a) == TextToBool(b);
        } catch (const ConversionError &) {
            return a.trimmed() == b.trimmed();
        }
    case ValueKind::Minutes:
        return a.trimmed().toInt() == b.trimmed().toInt();
    case ValueKind::Text:
        break;
    }
    return a.trimmed() == b.trimmed();
}

QString ShownValue(ValueKind kind, const QString &value)
{
    if (kind == ValueKind::Minutes && value.trimmed().toInt() == 0)
        return value.trimmed().isEmpty() ? u"空白（不限制）"_s : value.trimmed() + u"（不限制）"_s;
    if (kind == ValueKind::Minutes)
        return value.trimmed() + u" 分鐘"_s;
    return value.trimmed().isEmpty() ? u"空白"_s : value.trimmed();
}

} // namespace

QList<StationSettingsForm::UnseenChange> StationSettingsForm::UnseenChanges(const QString &iniPath) const
{
    IniFile ini;
    ini.load(iniPath);
    struct Watched
    {
        QString key;
        QString caption;
        QString stationDefault; // empty: the station's default is not known here
        QString written;
        ValueKind kind;
        bool editable; // the administrator sees and may change the field
    };
    const QString caption = G().IdnoCaption.trimmed();
    const QList<Watched> watched{
        {IniKey::PhotoSubPathRule, u"影像子目錄分類依據"_s, u"年月"_s,
         photoSubPathByCourseNo ? u"課程編號"_s : QString(), ValueKind::Text, false},
        {IniKey::MinutesBeforeStart, u"上課前幾分鐘開始簽到"_s, u"0"_s, minutesBeforeStart,
         ValueKind::Minutes, false},
        {IniKey::MinutesAfterEnd, u"下課後幾分鐘內可簽退"_s, u"0"_s, minutesAfterEnd,
         ValueKind::Minutes, false},
        {IniKey::IOScreen, u"螢幕輸入 (IOScreen)"_s, FalseText, BoolToText(ioScreen),
         ValueKind::YesNo, false},
        {IniKey::IOKeyboard, u"鍵盤輸入 (IOKeyboard)"_s, FalseText, BoolToText(ioKeyboard),
         ValueKind::YesNo, true},
        {IniKey::PhotoOnSign, u"簽到拍照"_s, FalseText, TrueText, ValueKind::YesNo, false},
        {IniKey::IdentityStoreKind, u"簽到退識別儲存種類"_s, caption, u"身分證字號"_s,
         ValueKind::Text, false},
        {IniKey::IdentityInputKind, u"簽到退識別輸入種類"_s, caption, identityInputKind,
         ValueKind::Text, true},
        {IniKey::IdentityShowKind, u"簽到退識別顯示種類"_s, caption, identityShowKind,
         ValueKind::Text, true},
    };
    QList<UnseenChange> changes;
    for (const Watched &w : watched) {
        const std::optional<QString> stored = ini.value(IniSection::Base, w.key);
        if (w.written.isNull() || (stored && w.editable))
            continue; // not written, or shown as stored and changed by hand only
        const QString before = stored ? *stored : w.stationDefault;
        if (!stored && w.stationDefault.isEmpty())
            continue;
        if (SameMeaning(w.kind, before, w.written))
            continue;
        changes.append({w.key, w.caption, ShownValue(w.kind, before), ShownValue(w.kind, w.written)});
    }
    return changes;
}

QString StationSettingsForm::UnseenChangesQuestion(const QList<UnseenChange> &changes)
{
    QString text = u"儲存設定將改變簽到站目前的運作方式（設定檔尚無這些項目時，簽到站使用自己的預設值）：\n"_s;
    for (const UnseenChange &c : changes)
        text += u"\n・"_s + c.caption + u"：" + c.before + u" → "_s + c.after;
    text += u"\n\n新拍的相片將依新的方式分資料夾存放，舊相片仍查得到。\n確定要儲存設定嗎?"_s;
    return text;
}

bool StationSettingsForm::SaveAfterAsking(const QString &iniPath) const
{
    if (ValidationError().isEmpty()) {
        const QList<UnseenChange> changes = UnseenChanges(iniPath);
        if (!changes.isEmpty()
            && CurrentPrompter().MessageDlgCaptions(
                   UnseenChangesQuestion(changes),
                   {{Prompter::Button::Yes, u"儲存"_s}, {Prompter::Button::No, u"取消"_s}})
                != Prompter::Button::Yes)
            return false;
    }
    return Save(iniPath);
}

QString StationSettingsForm::Drive() const
{
    return databasePath.left(2);
}

void StationSettingsForm::ChangeDrive(const QString &drive)
{
    databasePath = ReplaceDrive(databasePath, drive);
    imagePath = ReplaceDrive(imagePath, drive);
    backupPath = ReplaceDrive(backupPath, drive);
    csvPath = ReplaceDrive(csvPath, drive);
}

QString ReplaceDrive(const QString &path, const QString &drive)
{
    const bool hasDrive = path.size() >= 2 && path.at(1) == u':' && path.at(0).isLetter();
    const bool isDrive = drive.size() == 2 && drive.at(1) == u':' && drive.at(0).isLetter();
    if (!hasDrive || !isDrive)
        return path;
    return drive + path.mid(2);
}

StationSettingsForm::NewStationResult
StationSettingsForm::CreateStationFolders(const QString &exeDir, const QString &databaseFileName,
                                          const QString &sampleFileName,
                                          const QString &orgDbFileName) const
{
    NewStationResult result;
    for (const QString &folder : {databasePath, backupPath, csvPath, imagePath}) {
        if (folder.trimmed().isEmpty())
            continue;
        if (!ForceDirectoryPath(folder))
            result.failures << u"無法建立目錄 "_s + Shown(folder);
    }

    if (databasePath.trimmed().isEmpty()) {
        result.failures << u"未設定本機資料庫路徑"_s;
        return result;
    }
    if (!QFileInfo(databasePath).isDir())
        return result; // already reported above

    const QString database = JoinPath(databasePath, databaseFileName);
    if (!QFileInfo::exists(database)) {
        const QString sample = JoinPath(exeDir, sampleFileName);
        if (!QFileInfo::exists(sample))
            result.failures << u"找不到範本資料庫 "_s + Shown(sample);
        else if (QString error; CopyTemplateDatabase(sample, database, &error))
            result.templateCopied = true;
        else
            result.failures << u"無法複製 "_s + Shown(sample) + u" 到 "_s + Shown(database)
                    + u"："_s + error;
    }

    const QString orgDb = JoinPath(databasePath, orgDbFileName);
    const QString orgSource = JoinPath(exeDir, orgDbFileName);
    if (!QFileInfo::exists(orgDb) && QFileInfo::exists(orgSource)) {
        if (CopyNewFile(orgSource, orgDb))
            result.orgDbCopied = true;
        else
            result.failures << u"無法複製 "_s + Shown(orgSource) + u" 到 "_s + Shown(orgDb);
    }
    return result;
}

bool StationSettingsForm::RunNewStationAction() const
{
    const Globals &g = G();
    const NewStationResult result =
        CreateStationFolders(g.programDir(), g.DbFileName, g.SampleDbFileName, g.OrgDbFileName);
    if (!result.failures.isEmpty()) {
        CurrentPrompter().ShowError(u"目錄新增未完成：\n"_s + result.failures.join(u'\n'));
        return false;
    }
    if (!useNetDb) {
        CurrentPrompter().ShowMessage(u"目錄新增完畢"_s);
        return true;
    }
    // A station on the shared database: its tables are made on the server instead of a file.
    QString message;
    const bool made = CreateSharedSchema(NetDb(), g.samplePath(), &message);
    if (!made) {
        CurrentPrompter().ShowError(u"目錄新增完畢\n"_s + message);
        return false;
    }
    CurrentPrompter().ShowMessage(u"目錄新增完畢\n"_s + message);
    return true;
}
