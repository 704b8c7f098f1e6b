#pragma once

#include <QString>

// Every section and key name of the station settings file (Rolvan.ini) and of the table
// sys_ini of the template database, in one place: code names a setting through these
// constants and never types its text again. Each comment gives the meaning and the
// default(s) its readers pass; "(a / b)" means two windows read the key with different
// defaults. A yes/no setting is stored as "True" or "False".
//
// These are namespace-scope QStrings initialised at start-up: use them in code that runs
// after main() starts, not in the initialiser of another namespace-scope object.

namespace IniSection {
inline const QString Base = QStringLiteral("Base");                 // organisation, station, paths, rules, input and modules
inline const QString Baae = QStringLiteral("Baae");                 // the class periods used by the station, lessons and reports
inline const QString FormSize = QStringLiteral("FormSize");         // window geometry, keys <window name> + a FormSizeKey suffix
inline const QString SystemExtension = QStringLiteral("系統擴充");  // optional buttons of the class window
inline const QString CardReader = QStringLiteral("感應卡");         // card reader on a serial port
inline const QString CourseDefaults = QStringLiteral("課程基本資料"); // the last saved class record, remembered for the next one
} // namespace IniSection

namespace IniKey {

// ---- Base: organisation, station and paths ----
inline const QString CompanyId = QStringLiteral("Company ID");                        // organisation code (unit code or tax number); default empty
inline const QString CompanyName = QStringLiteral("Company Name");                    // organisation name on the sign-in screen and report headings; default empty
inline const QString TrainingUnitCode = QStringLiteral("委託代訓編號");                // training-unit code at the agency; first character picks the per-unit keys; "X001"
inline const QString StationNo = QStringLiteral("ComputerNo");                        // station number, exactly two characters; "00"
inline const QString SystemPass = QStringLiteral("system pass");                      // administrator password as Base64 of its UTF-8 bytes; empty = none
inline const QString DataBaseLocationPath = QStringLiteral("DataBaseLocationPath");   // folder of the working database; DefaultDataRoot() (start-up, settings) / empty elsewhere
inline const QString BackupLocationPath = QStringLiteral("BackupLocationPath");       // folder of database backups; <data root>/Backup (start-up, settings) / empty (conversion)
inline const QString CsvLocationPath = QStringLiteral("存放終身學習資料路徑");          // folder of exported CSV files; <data root>/CSV
inline const QString ImageFileLocationPath = QStringLiteral("ImageFileLocationPath"); // folder of snapshots and audit packages; <data root>/查核資料檔案 (start-up, settings) / empty elsewhere
inline const QString PhotoSubPathRule = QStringLiteral("影像子目錄分類依據");           // snapshot sub-folders by "課程編號" or "年月"; "課程編號" (settings) / "年月" elsewhere
inline const QString CourseNoLength = QStringLiteral("課程編號長度");                   // characters of a class number; "11"
inline const QString OperatingSystem = QStringLiteral("作業系統");                     // screen layout generation "Win 7", "Win 8 " or "Win 10"; "Win 10"
inline const QString ServiceUrl = QStringLiteral("連線網址");                          // base address of the training web service (path "/cco"); the agency's address
inline const QString UpdateUrl = QStringLiteral("版更網址");                           // base address of the version-update download (path "/esign"); the agency's address
inline const QString TrustedCaFile = QStringLiteral("信任憑證檔");                        // PEM file of CA certificates trusted besides the system's store (web service, update); empty
inline const QString DbVersion = QStringLiteral("DB Version ");                       // database version code, written at every start (trailing blank); never read
inline const QString ExeVersion = QStringLiteral("Rolvan.exe Version ");              // the program's file version, written at every start (trailing blank); never read
inline const QString ExeDateTime = QStringLiteral("Rolvan.exe DateTime ");            // date and time of the program file, written at every start (trailing blank); never read
inline const QString ClockServer = QStringLiteral("校時伺服器");                        // time server of the clock synchronisation; IniDefault::ClockServer

// ---- Base: attendance rules ----
inline const QString MinutesBeforeStart = QStringLiteral("上課前幾分鐘開始簽到");     // minutes before a lesson from which sign events count, "00"/empty = no limit; "60" (settings) / "0" (station)
inline const QString MinutesAfterEnd = QStringLiteral("下課後幾分鐘內可簽退");         // minutes after a lesson until which sign events count, "00"/empty = no limit; "60" (settings) / "0" (station)
inline const QString BreakLimit = QStringLiteral("課間休息分鐘限制");                 // a longer break needs a new sign-in and sign-out; "60". Also a sys_ini key (reports, "30")
inline const QString CourseSwitchLimit = QStringLiteral("課間自動課程班別切換限制");   // a shorter break lets the station switch to the next lesson by itself; "15"
inline const QString ClassPeriods = QStringLiteral("班別時間設定");                    // six HHMM times: morning, afternoon, evening start and end; Base "093012001330170018302100" (settings), Baae "093012001330173018302130" (station, lessons, reports)
inline const QString RollCallLimit = QStringLiteral("點名簽到期限(分)");               // minutes after a roll call starts within which a roll-call sign-in counts; "30"
inline const QString MinutesPerHourPrefix = QStringLiteral("每小時須上滿分鐘數");      // + first character of TrainingUnitCode: minutes of each hour to attend; "45" (INI for reports, sys_ini for settings)

// ---- Base: sign-in screen input, output and modules ----
inline const QString IOKeyboard = QStringLiteral("IOKeyboard");                       // typed identity input allowed; "True" (settings) / "False" (station)
inline const QString IOScreen = QStringLiteral("IOScreen");                           // on-screen keypad offered; "True" (settings) / "False" (station)
inline const QString IdentityInputKind = QStringLiteral("簽到退識別輸入種類");          // identity entered: "會員編號", "身分證字號", "卡片序號", "手機號碼"; "身分證字號" (settings) / identity caption (station)
inline const QString IdentityStoreKind = QStringLiteral("簽到退識別儲存種類");          // identity stored with sign events; identity caption; the settings window writes "身分證字號"
inline const QString IdentityShowKind = QStringLiteral("簽到退識別顯示種類");           // shown after a sign event: "會員編號", "身分證字號", "姓名", "無"; "姓名" (settings) / identity caption (station)
inline const QString LastManualInputKind = QStringLiteral("最近手動輸入種類");          // last identity kind chosen on the sign-in screen; no default, never read
inline const QString LastSignSelection = QStringLiteral("最近簽到選定");            // the sign-in screen's selection: class key|ROC date|type code|lesson item; written by the station, read at its next start
inline const QString ManualSuccessSound = QStringLiteral("手動成功音效");               // play the success sound for typed input; "True"
inline const QString EmployeeNoLength = QStringLiteral("員工編號長度");                 // characters of an employee number; "6", an empty value reads "0"
inline const QString EmployeeNoHasLetters = QStringLiteral("員工編號含英文字母");       // employee numbers may contain letters; "False"
inline const QString ComPort = QStringLiteral("Com Port");                            // serial port of a card reader: Base empty (station); 感應卡 "COM3", "COM1" to "COM20"
inline const QString IORS232 = QStringLiteral("IORS232");                             // serial card-reader module; "False", the settings window always writes "False"
inline const QString PhotoOnSign = QStringLiteral("簽到拍照");                          // camera snapshot at each sign event; "False", the settings window always writes "True"
inline const QString PhotoQuality = QStringLiteral("影像拍照檔案壓縮比例");              // JPEG quality of snapshots; "15"
inline const QString CameraDevice = QStringLiteral("攝影裝置編號");                     // index of the camera device, -1 = no camera; "0"
inline const QString PhotoVideoSize = QStringLiteral("影像拍照VideoSize");              // picture size chosen for the camera; empty
inline const QString ImeName = QStringLiteral("imeName");                             // Chinese input method of text inputs; "中文 (繁體) - 注音" (station) / empty (records)
inline const QString EnrolmentModule = QStringLiteral("報名模組");                      // on-the-spot enrolment module of the station; "False"
inline const QString AutoSyncModule = QStringLiteral("網路資料自動同步模組");            // automatic class choice from synchronised data; "False"
inline const QString NetworkEdition = QStringLiteral("網路版");                         // networked edition; "False"
inline const QString ClientServerMode = QStringLiteral("ClientServer Mode");          // reserved, read without effect; "0", an empty value reads "0"
inline const QString UseNetDb = QStringLiteral("useNetDB");                           // "True" = shared database server instead of DataBaseLocationPath; "False"
inline const QString NetDbHost = QStringLiteral("NetDB Host");                       // host name or address of the shared database server (PostgreSQL); empty
inline const QString NetDbPort = QStringLiteral("NetDB Port");                       // its port; "5432"
inline const QString NetDbDatabase = QStringLiteral("NetDB Database");               // the database on that server; empty
inline const QString NetDbUser = QStringLiteral("NetDB User");                       // the login of the stations; empty
inline const QString NetDbSchema = QStringLiteral("NetDB Schema");                   // schema of the attendance tables on that database; empty = public
inline const QString NetDbPassword = QStringLiteral("NetDB Password");               // its password as Base64 of its UTF-8 bytes (as "system pass"); empty
inline const QString LastClockLog = QStringLiteral("最近校時紀錄");                  // the time of this station's last clock-synchronisation log line; written by the station
inline const QString CourseNoFormat = QStringLiteral("課程編號格式");                   // pattern of new class numbers; empty
inline const QString Demo = QStringLiteral("Demo");                                   // reserved, read without effect; "False"
inline const QString SystemManager = QStringLiteral("SystemManager");                 // designer code, designer mode when it equals "青紅黃綠藍紫"; "xxxxxx"
inline const QString SystemManagerOn = QStringLiteral("SystemManagerOn");             // reserved, read without effect; "False"

// ---- 系統擴充 ----
inline const QString &SystemExtension = IniSection::SystemExtension;                  // (same text as its section) shows the class window's button "簽到資料註記到人員基本資料"; "False"

// ---- 感應卡 (hidden panel of the settings window; also ComPort above) ----
inline const QString BaudRate = QStringLiteral("BoudRate");                           // "9600" or "19200"; "9600"
inline const QString CardDataLength = QStringLiteral("感應卡資料長度");                 // characters per card read; "10"
inline const QString CardContentKind = QStringLiteral("感應卡內容種類");                // what the card holds ("會員編號", "身分證字號", "卡片序號", "卡片序號:員工編號", "卡片序號:身分證字號", "身分證字號or員工編號"); "卡片序號"
inline const QString RegistryDeviceName = QStringLiteral("註冊機碼名稱");               // registry value name of the serial device, "0" = no check; "\Device\Serial"
inline const QString CheckStart = QStringLiteral("檢核起始位置");                       // unused; written empty by every save of the settings window
inline const QString CheckData = QStringLiteral("檢核資料");                            // unused; written empty by every save of the settings window
inline const QString DataStart = QStringLiteral("資料起始位置");                        // unused; written empty by every save of the settings window
inline const QString DataBits = QStringLiteral("資料位元數");                           // unused; written empty by every save of the settings window
inline const QString OutputLength = QStringLiteral("轉出資料長度");                     // unused; written empty by every save of the settings window
inline const QString CardSegments = QStringLiteral("感應卡資料分段數");                 // unused; written empty by every save of the settings window

// ---- 課程基本資料: the last saved class record, written by the class window, read by nobody ----
inline const QString TrainingTotal = QStringLiteral("訓練總數");                        // training total
inline const QString CardKind = QStringLiteral("刷卡種類");                             // kind of card swipe
inline const QString StartTime = QStringLiteral("時間");                                // time (start)
inline const QString EndTime = QStringLiteral("結束時間");                              // end time
inline const QString Place = QStringLiteral("地點");                                    // place
inline const QString Organiser = QStringLiteral("主辦單位");                            // organising unit
inline const QString Audience = QStringLiteral("對象");                                 // audience
inline const QString NeedsEnrolment = QStringLiteral("需要報名");                       // enrolment required

} // namespace IniKey

// Keys of section "FormSize": the window's name followed by one of these; values are pixels.
namespace FormSizeKey {
inline const QString Top = QStringLiteral("_top");
inline const QString Left = QStringLiteral("_left");
inline const QString Width = QStringLiteral("_width");
inline const QString Height = QStringLiteral("_height");
} // namespace FormSizeKey

// The geometry a window takes when section "FormSize" has none for it.
namespace FormSizeDefault {
struct Geometry
{
    int top;
    int left;
    int width;
    int height;
};
inline constexpr Geometry FmRolvan{0, 0, 980, 710};
inline constexpr Geometry fm_Course{30, 30, 949, 600};
inline constexpr Geometry FmReport{0, 0, 600, 630};
inline constexpr Geometry fmPSIO_Booking{30, 30, 949, 600};
inline constexpr Geometry fmInitiative{10, 99, 1150, 690};
inline constexpr Geometry fmUpdate{300, 300, 604, 195};
inline constexpr Geometry FmSysManager{0, 0, 980, 710};
inline constexpr Geometry FmSetup{0, 0, 980, 710};
inline constexpr Geometry Dialog_Date{0, 0, 283, 193}; // restores only width and height, saves all four
} // namespace FormSizeDefault

// Keys of the table sys_ini of the template database (section IniSection::Base).
namespace SysIniKey {
inline const QString LateTolerancePrefix = QStringLiteral("遲到早退分鐘認定");              // + first character of TrainingUnitCode: tolerated minutes of late arrival or early leaving; "15"
inline const QString &MinutesPerHourPrefix = IniKey::MinutesPerHourPrefix;             // + first character of TrainingUnitCode: minutes of each hour to attend (shown by settings); "45"
inline const QString &BreakLimit = IniKey::BreakLimit;                                 // break limit in minutes used by the reports; "30"
} // namespace SysIniKey

// Defaults that several readers share.
namespace IniDefault {
inline const QString TrainingUnitCode = QStringLiteral("X001");
inline const QString StationNo = QStringLiteral("00");
inline const QString ClassPeriodsBase = QStringLiteral("093012001330170018302100");
inline const QString ClassPeriodsBaae = QStringLiteral("093012001330173018302130");
inline const QString ImeName = QStringLiteral("中文 (繁體) - 注音");
inline const QString ClockServer = QStringLiteral("time.stdtime.gov.tw");
} // namespace IniDefault

// A key that exists once per training unit: the prefix followed by the first character of
// the unit code ("每小時須上滿分鐘數" + "X001" gives "每小時須上滿分鐘數X").
inline QString PerUnitKey(const QString &prefix, const QString &trainingUnitCode)
{
    return prefix + trainingUnitCode.left(1);
}
