#pragma once

#include "core/NetDatabase.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <array>

// The values of the settings window: every per-station setting it shows, loaded from the
// station settings file (and two read-only values from sys_ini of the template), checked and
// written back in one pass. The window shows these values and copies its fields back before
// saving; everything it decides lives here.
class StationSettingsForm
{
public:
    // Base addresses used when the settings file has none.
    static const QString DefaultServiceUrl;
    static const QString DefaultUpdateUrl;

    // The lists of the drop-down fields.
    static QStringList OperatingSystems();    // ComboBox9
    static QStringList IdentityInputKinds();  // ComboBox4
    static QStringList IdentityShowKinds();   // ComboBox7
    static QStringList DriveLetters();        // ComboBox6 (Windows only)
    static QStringList ComPorts();            // ComboBox2: COM1 .. COM20
    static QStringList BaudRates();           // ComboBox1
    static QStringList CardContentKinds();    // ComboBox10

    // ---- organisation and station ----
    QString companyId;          // EditCompanyID, "Company ID" (trimmed on loading)
    QString trainingUnitCode;   // EditSYSID, "委託代訓編號"
    QString companyName;        // EditCompany, "Company Name"
    QString stationNo;          // EditDoor, "ComputerNo": exactly two characters
    // Password (hidden): the administrator password in plain text. The window never shows
    // it, so a save keeps the stored text exactly as it was unless this value is changed.
    QString password;

    // ---- folders ----
    QString databasePath;       // Edit1, "DataBaseLocationPath"
    QString backupPath;         // Edit5, "BackupLocationPath"
    QString csvPath;            // Edit24 (hidden), "存放終身學習資料路徑"
    QString imagePath;          // Edit2, "ImageFileLocationPath"
    bool photoSubPathByCourseNo = true; // RadioButton6: "影像子目錄分類依據" = "課程編號"

    // ---- attendance rules ----
    QString courseNoLength;     // EditCourseIdLen (read-only), "課程編號長度"
    QString minutesBeforeStart; // Edit61, "上課前幾分鐘開始簽到"
    QString minutesAfterEnd;    // Edit62, "下課後幾分鐘內可簽退"
    QString breakLimit;         // Edit63, "課間休息分鐘限制"
    QString courseSwitchLimit;  // Edit4, "課間自動課程班別切換限制"
    QString lateTolerance;      // Edit64, sys_ini "遲到早退分鐘認定" + unit: shown, never saved
    QString minutesPerHour;     // Edit65, sys_ini "每小時須上滿分鐘數" + unit: shown, never saved
    // Edit31 .. Edit36: morning, afternoon and evening sign-in and sign-out, "HHMM" each, from
    // and to "班別時間設定" of section Base.
    std::array<QString, 6> classPeriods;
    QString rollCallLimit;      // Edit3, "點名簽到期限(分)"

    // ---- camera, screen and input ----
    QString cameraDevice;       // Edit66, "攝影裝置編號"
    QString photoQuality;       // Edit51, "影像拍照檔案壓縮比例"
    QString operatingSystem;    // ComboBox9, "作業系統"
    bool ioKeyboard = true;     // CheckBox3, "IOKeyboard"
    bool ioScreen = true;       // CheckBox17, "IOScreen"
    QString identityInputKind;  // ComboBox4, "簽到退識別輸入種類"
    QString identityShowKind;   // ComboBox7, "簽到退識別顯示種類"
    bool manualSuccessSound = true; // CheckBox26, "手動成功音效"
    QString serviceUrl;         // netAdd, "連線網址"
    QString updateUrl;          // VerCheck, "版更網址"

    // ---- shared database (section Base) ----
    bool useNetDb = false;      // CheckUseNetDB, "useNetDB"
    QString netDbHost;          // EditNetDbHost, "NetDB Host"
    QString netDbPort;          // EditNetDbPort, "NetDB Port" (as typed; 5432 by default)
    QString netDbDatabase;      // EditNetDbDatabase, "NetDB Database"
    QString netDbUser;          // EditNetDbUser, "NetDB User"
    // EditNetDbPassword, "NetDB Password": in plain text here, stored as Base64. A save keeps
    // the stored text exactly as it was unless this value is changed.
    QString netDbPassword;

    // The shared database as the fields describe it now (host, database and user trimmed; a
    // port that is not a number gives 0).
    NetDbSettings NetDb() const;

    // ---- card reader (hidden panel; section 感應卡) ----
    bool comPortModule = false; // CheckBox1, shown from "IORS232"; saving always writes "False"
    QString comPort;            // ComboBox2, "Com Port"
    QString baudRate;           // ComboBox1, "BoudRate"
    QString cardDataLength;     // Edit15, "感應卡資料長度"
    QString cardContentKind;    // ComboBox10, "感應卡內容種類"
    QString registryDeviceName; // Edit44, "註冊機碼名稱"

    // Fills every value from the settings file at iniPath (missing keys take the window's
    // defaults) and the two sys_ini values from the template connection sample when it is
    // open. A yes/no value that is not readable shows its default, so the window still opens
    // and the next save repairs it.
    void Load(const QString &iniPath, QSqlDatabase sample);

    // The field whose value refuses a save, and the message that says why.
    enum class Field { None, StationNo, NetDbPort, NetDbHost, NetDbDatabase, NetDbUser };
    struct Refusal
    {
        Field field = Field::None;
        QString message;
    };
    // The first refusal, in the window's order: the station number, the port of the shared
    // database (a number 1 .. 65535), and, when useNetDb is checked, its host, database and
    // user (not empty).
    Refusal Validate() const;
    // The message that refuses a save, or an empty text when the values may be saved.
    QString ValidationError() const;
    // What keeps "測試連線" from trying the fields: a port that is not one, or an empty host,
    // database or user (whether or not useNetDb is checked).
    Refusal NetDbTestRefusal() const;
    // The port as a number, or 0 when it is not a number 1 .. 65535.
    static int PortNumber(const QString &text);
    // The refusal of a port that is not.
    static QString PortRefusal();

    // Saves when the values are valid: every key in one pass through one open settings file,
    // written as a whole or not at all. Invalid values show ValidationError() through the
    // current prompter and nothing is written; returns false then. A file that cannot be
    // read or written raises RolvanError and is left as it was.
    bool Save(const QString &iniPath) const;

    // A change a save makes to how the station signs in and files pictures without the
    // administrator having changed a field: the station reads these keys with defaults of its
    // own ("年月", 0 and 0 minutes, "False", the identity caption) while this window shows and
    // writes its own ("課程編號", 60 and 60, "True", "身分證字號"), and some values are always
    // written as fixed.
    struct UnseenChange
    {
        QString key;
        QString caption; // as the list shows it
        QString before;  // what the station runs on now
        QString after;   // what the save writes
    };
    // The unseen changes of a save to the settings file at iniPath: every watched key that the
    // file lacks (the station runs on its own default) or that the window cannot edit, whose
    // value to be written means something else than what the station runs on.
    QList<UnseenChange> UnseenChanges(const QString &iniPath) const;
    // The question that lists them.
    static QString UnseenChangesQuestion(const QList<UnseenChange> &changes);

    // The action of "儲存設定": invalid values are refused as Save() refuses them; otherwise,
    // when the save would change how the station works without the administrator having
    // changed a field, the changes are listed and asked about once ("儲存" / "取消") and
    // nothing is written unless confirmed. Returns whether the file was written.
    bool SaveAfterAsking(const QString &iniPath) const;

    // "班別時間設定" as saved: each field padded with "0000" on the right and cut to four.
    QString ClassPeriodsText() const;

    // The drive part ("D:") of the database folder, as the drive list shows it.
    QString Drive() const;
    // Puts every folder on the given drive ("E:").
    void ChangeDrive(const QString &drive);

    // What the new-station action did.
    struct NewStationResult
    {
        bool templateCopied = false; // the working database was made from the template
        bool orgDbCopied = false;    // ORGDB was copied beside it
        QStringList failures;        // one line for each folder or copy that failed
    };
    // Creates the four folders where missing; makes the working database from the template
    // (exeDir + sampleFileName) when the database folder has none, and copies ORGDB
    // (exeDir + orgDbFileName) beside it when missing there and present beside the program.
    // Copies go through a temporary name, so an interrupted copy never leaves a half file.
    NewStationResult CreateStationFolders(const QString &exeDir, const QString &databaseFileName,
                                          const QString &sampleFileName,
                                          const QString &orgDbFileName) const;
    // The action of the button: CreateStationFolders with the program's file names, then
    // "目錄新增完畢", or the list of what failed. Returns true when nothing failed.
    bool RunNewStationAction() const;

    // The value stored as the password: the stored text when the password was not changed.
    QString StoredPasswordText() const;
    // The value stored as the shared database's password, in the same way.
    QString StoredNetDbPasswordText() const;

private:
    QString m_storedPassword;   // "system pass" as loaded
    QString m_loadedPassword;   // its decoded form, to see whether password was changed
    Refusal NetDbRefusal(bool needComplete, const QString &missingPrefix,
                         const QString &missingSuffix) const;
    QString m_storedNetDbPassword; // "NetDB Password" as loaded
    QString m_loadedNetDbPassword; // its decoded form
};

// Replaces the drive of a Windows path ("D:\RolvanDAP\Backup" with "E:" gives
// "E:\RolvanDAP\Backup"). A path without a drive letter is returned unchanged.
QString ReplaceDrive(const QString &path, const QString &drive);
