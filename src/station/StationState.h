#pragma once

#include <QRgb>
#include <QString>
#include <QStringList>

// Fields of the sign-in screen that the activation fills and other windows read.
struct StationState
{
    // Captions of the sign-event types "2" .. "5".
    QString io3Cap = QStringLiteral("午到");
    QString io4Cap = QStringLiteral("午退");
    QString io5Cap = QStringLiteral("晚到");
    QString io6Cap = QStringLiteral("晚退");

    QString imeName;               // input method put on text inputs
    bool autoSyncModule = false;   // 網路資料自動同步模組
    bool photoOn = false;          // take a snapshot at each sign event
    bool enrolmentModule = true;   // always on for this edition
    bool preBooking = true;        // the chosen class requires enrolment
    QString photoSubPathRule = QStringLiteral("年月");
    int cameraDeviceNo = 0;

    // Time limits read at each activation and at each settings load (ReadTimeLimits). The
    // settings file's "0" or blank minutes mean no limit on that side of a lesson: sign-in
    // opens with the day, sign-out stays open until its end; the texts then read "00:00".
    QString BeforeStart = QStringLiteral("00:00");
    QString AfterEnd = QStringLiteral("00:00");
    bool BeforeStartUnlimited = false;
    bool AfterEndUnlimited = false;
    int BreakLimit = 60;
    int AutoSwitchLimit = 15;

    // Identity kind stored with each sign event.
    QString StorageKind;

    // A class was chosen by the user (class window) or by the automatic choice.
    bool ClassChosenByUser = false;
    bool ClassChosenAuto = false;
    bool classChosen() const { return ClassChosenByUser || ClassChosenAuto; }

    // Clock-synchronisation flag stored with each sign event ("Y" or "N").
    QString NtpFlag = QStringLiteral("N");

    // ---- Sign-in: what identity resolution and the recorder read (lesson selection and the
    // station settings load set most of it; the recorder keeps the counters and TodayRoc).
    QString ClassKey;        // trimmed CourseId + Echelon as two digits
    QString ClassSigner;     // the class's Signer: "內部", "內外", ...
    QString VINDEX_IO;       // lesson key: class number + CNo4 + TimeStart; the class key without a lesson
    QString LessonText;      // text of the lesson box ComboBox1 (blank: no lesson chosen)
    bool StationReady = false;
    QString CurrentIoType = QStringLiteral("0"); // code of the type button clicked last
    bool TypeChecked = false;                    // one of the seven type buttons is checked
    bool AutoMode = false;                       // the check box "自動"
    QString PrevCourseCode;  // automatic mode: the lesson that has just ended (CNo4 + TimeStart)
    QString NextCourseCode;  // automatic mode: the next lesson
    QString PrevInType = QStringLiteral("0");
    QString PrevOutType = QStringLiteral("1");
    QString TodayRoc;        // today as "YYYMMDD"
    int InCnt = 0;           // events of type "0" today for the lesson
    int OutCnt = 0;          // "1"
    int Io3Cnt = 0;          // "2"
    int Io4Cnt = 0;          // "3"
    int Io5Cnt = 0;          // "4"
    int Io6Cnt = 0;          // "5"
    QRgb RowColor = 0xff0000ff; // font colour of the type button clicked last (blue)

    // Station settings of the sign-in screen.
    QString StationNo = QStringLiteral("00"); // ComputerNo, stored in PSIO.DOOR
    bool OkSoundOn = true;                    // 手動成功音效
    bool KeyboardFocusOn = false;             // IOKeyboard
    QString imgPath;                          // picture folder of the snapshots
    QString photoSubPath;                     // its sub-folder for new snapshots
    int PhotoQuality = 15;                    // JPEG quality of the snapshots

    // Identity kinds entered, stored and shown (StorageKind above).
    QString InputKind;
    QString DisplayKind;
    QString DisplayField;        // SQL expression of DisplayKind's columns joined with ':'
    QStringList DisplayColumns;  // the Booking columns of DisplayKind, in order
    QString StorageColumn;       // "ID" or "IDNO", the Booking column of StorageKind
    int IdnoLength = 6;          // 員工編號長度
    QString ManualKind = QStringLiteral("身分證末5碼");

    // ---- Lesson selection: the class, lesson and event type the station serves, the time
    // windows of the six types and the automatic switch between two lessons (LessonSelection).
    QString ClassCaption = QStringLiteral("講習：進入講習選定點選講習"); // PanelClass
    QString TodayText;        // today as "YYYY/MM/DD", set when a class is loaded
    QString CourseCode;       // CNo4 + TimeStart of the chosen lesson
    QString SignTypeFlags = QStringLiteral("000000"); // which of the types "0" .. "5" are offered
    QString DayRefTimes = QStringLiteral("000000000000000000000000"); // R1..R6, "HHMM" each
    QString ClassPeriods;     // day template of INI Baae/班別時間設定, read with the windows
    QString WinStart;         // windows of the types "0" .. "5": six "HHMM" starts,
    QString WinEnd;           // six "HHMM" ends; empty until first computed (every type refused)
    int TypeShift = 0;        // ClsIOTypeShift of the station's class day (0, 2 or 4)
    bool RollCallOffered = false; // the day has roll-call times: "點名" (RadioButton9) is shown
    QString LastPressedType;  // hint of the type button the mouse was last pressed on
    QString NextCourseTitle;  // automatic mode: CNo4 + ":" + Subject of the next lesson
    QString NextTimeStart;    // automatic mode: "HH:MM" start of the next lesson
    bool TimerOn = false;     // the one-second timer Timer1 runs (a class is loaded)
    bool jstart = false;      // the first tick after the timer started synchronises the clock
};
