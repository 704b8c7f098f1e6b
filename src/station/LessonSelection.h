#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct StationState;
class TDM;

// Lesson selection for the sign-in screen: which class the station serves today (chosen
// automatically at activation or through the class window), which lesson of it (the lesson
// box), which kind of sign event it collects (the type buttons, each refused outside its time
// window), and the automatic mode that, in a short break between two lessons, lets each
// attendee's entry count for the lesson he is leaving or the one he is arriving for, and
// switches to the next lesson and "簽到" when it begins.
//
// Everything here works on the StationState shared with the recorder and on the program-wide
// CurrentClassKey (G()). The time comes from CurrentClock(), messages go through
// CurrentPrompter(), queries run on the working connection of the data module with bound values. The window
// only shows the state: after each call it reads the StationState fields (ClassCaption,
// LessonText, TypeChecked/CurrentIoType, AutoMode, TimerOn, the counters) and FormRefresh().
//
// Type codes: "0" 簽到, "1" 簽退, "2" 午到, "3" 午退, "4" 晚到, "5" 晚退, "9" 點名. Buttons by
// code: "0" RadioButton1, "1" RadioButton2, "2" RadioButton3, "3" RadioButton4,
// "4" RadioButton5, "5" RadioButton6, "9" RadioButton9.

// The course code of a lesson box item: the trimmed text before the first ":" (empty when
// there is none) followed by the trimmed five characters after the first "(" (empty when there
// is none). "0003:法規(13:30)" gives "000313:30".
QString get_codes(const QString &itemText);

// Merges the reference times N into M, field by field for the six "HHMM" fields: a field
// "0000" on one side takes the other side's value; then the starts (fields 1, 3, 5) keep the
// earlier and the ends (fields 2, 4, 6) the later of the two. Missing fields count as "0000";
// the result always has 24 characters.
QString amplify_Timestring(const QString &M, const QString &N);

// One type button as FormRefresh places it.
struct TypeButtonView
{
    QString code;         // "0" .. "5", "9"
    QString name;         // component name: "RadioButton1" .. "RadioButton6", "RadioButton9"
    bool visible = false;
    int left = 0;         // x inside Panel1
};

// What FormRefresh decides for the panel Panel1.
struct TypePanelView
{
    QList<TypeButtonView> buttons; // codes "0", "1", "2", "3", "4", "5", "9" in this order
    QString panelCaption;          // Panel1's caption: empty, or "本日無課程明細資料 或重選今日課程"

    const TypeButtonView *button(const QString &code) const;
};

// What the lesson part of the station settings load leaves for the window to show.
struct SettingsLoadView
{
    QString dateText;               // LabelDispDate: today as "YYYY/MM/DD"
    QMap<QString, QString> captions; // type code "0" .. "5" -> caption with today's count, "簽到(3)"
    TypePanelView panel;            // FormRefresh after the load
};

// One tick of the one-second timer Timer1.
struct TickView
{
    QString dateText;        // LabelDispDate, "YYYY/MM/DD"
    QString timeText;        // LabelDispTime, "hh:mm:ss"
    bool lessonSwitched = false; // automatic mode ended at the next lesson's start: the lesson
                                 // (StationState::LessonText) was chosen, the settings loaded and
                                 // "簽到" chosen; the window refreshes the lesson box and buttons
    bool synchronise = false;    // run the clock synchronisation in mode "IO" now
};

class LessonSelection
{
public:
    // The queries run on the working connection of dm, whichever it is at the time.
    LessonSelection(StationState &station, const TDM &dm);

    // The station settings load (GetSetting of the window: read the station settings, then
    // call LoadLessonSettings() and show its result). Class loading, a lesson choice and the
    // automatic switch call it at the moment the station must reload. Without a loader set,
    // LoadLessonSettings() alone runs (tests).
    void SetSettingsLoader(std::function<void()> loader) { m_settingsLoader = std::move(loader); }

    // --- Keeping the selection -------------------------------------------------------------

    // What the station serves now: class key, day ("YYYMMDD"), lesson item and type code (empty
    // when no type is checked).
    struct Selection
    {
        QString classKey;
        QString todayRoc;
        QString lessonText;
        QString ioType;
    };
    Selection CurrentSelection() const;
    // The next load of the same class on the same day keeps this lesson while one of its
    // windows holds now (or, when no lesson's windows do, while now is inside its hours widened
    // by BeforeStart and AfterEnd, at least AutoSwitchLimit minutes), and this type while now is
    // inside its window; a departure type only once its arrival's window has closed. The
    // sign-in screen keeps its selection before the class window and the administration menu;
    // at start-up the one remembered in the INI.
    void KeepSelection(const Selection &selection) { m_keep = selection; }
    // The selection remembered in the INI (Base / 最近簽到選定), or nothing.
    static std::optional<Selection> RememberedSelection();

    // --- Today's class ---------------------------------------------------------------------

    // Automatic choice of today's class among the classes running today (in row order): a class
    // is held today on its first and last day and on the days its DateBet marks; with one class,
    // it is chosen when now is inside its widened hours, when BeforeStart is "00:00" or when the
    // automatic-synchronisation module is off; with several, the first held today whose widened
    // hours hold now, or simply the first when BeforeStart is "00:00". A choice sets
    // CurrentClassKey, ClassChosenAuto and StationReady. Returns whether a class was chosen.
    bool CheckVDefaultChoice();

    // Activation step 22 (the activation calls it only when no class is chosen yet):
    // CheckVDefaultChoice and, when it chose, LoadChosenClass(Reason::Activation), keeping the
    // selection remembered in the INI when it is of this class and today (a restart).
    // Returns whether a class was loaded.
    bool ChooseTodaysClass();

    // The button "講習選定" after the class window TFmSetup closed; startedSigning: it was left
    // with "開始簽到退" (it set CurrentClassKey). Without it, a station that served a class goes
    // on with it: CurrentClassKey is set back to it (the window may have moved it to another
    // class) and LoadChosenClass(Reason::ClassKept) keeps its lesson and type; the class counts
    // as chosen (ClassChosenAuto), so no automatic choice replaces it. A station without a class
    // (or whose class is gone) goes back to no class (StationReady off, caption
    // "講習：進入講習選定點選講習", timer off, ClassKey cleared) and CheckVDefaultChoice runs. Then,
    // when a class is chosen (by user or automatically), LoadChosenClass(Reason::ClassWindow).
    // Returns whether a class was loaded. The window then runs its activation, its layout and
    // shows FormRefresh().
    bool ClassWindowClosed(bool startedSigning);

    enum class Reason {
        Activation,  // at start-up or when no class was chosen
        ClassWindow, // after the class window; a one-day class offers its own SignType
        ClassKept,   // the class window was left without a choice: the kept lesson stays
                     // whenever it is still one of today's
    };
    // Loads the class of CurrentClassKey: TodayText, the lesson (StationState::LessonText: the
    // kept one while one of its windows holds now, else the only one of today, else the first
    // whose arrival window holds now, else the last whose departure window does, else the kept
    // one while inside its hours, else the one around now (AutoSwitchLimit minutes either way),
    // else none), ClassCaption "講習：" + class name, ClassKey, ClassSigner, preBooking,
    // CourseCode and VINDEX_IO; then the station settings load. Returns false (and changes
    // nothing) when CurrentClassKey names no class. The window, after it: print button BitBtn8
    // and records button BitBtn14 disabled, "學員" BitBtn25 enabled.
    bool LoadChosenClass(Reason reason);

    // --- The lesson box ComboBox1 ----------------------------------------------------------

    // The items for CurrentClassKey and TodayText, in start-time order:
    // CNo4 + ":" + Subject + "(" + TimeStart + ")". The window refills the box when its list
    // opens.
    QStringList LessonItems() const;

    // An item chosen from the box: CourseCode := get_codes(item), VINDEX_IO := class number of
    // CurrentClassKey + CourseCode, LessonText := item; then the station settings load.
    void ChooseLesson(const QString &itemText);

    // --- Station settings load (the lesson part of GetSetting) ------------------------------

    // TodayRoc; today's counts of the types "0" .. "5" for the lesson (InCnt .. Io6Cnt); the
    // class-day profile and the time windows (LoadLessonProfile); the initial type (the kept one
    // of the same class, day and lesson while inside its window, else InitialTypeByWindows()),
    // checked silently; StationReady; the timer on (with jstart) when it was off; FormRefresh;
    // the selection remembered in the INI. The window calls it from its GetSetting after
    // reading the station settings and before setting StorageColumn.
    SettingsLoadView LoadLessonSettings();

    // Today's events of a type for the lesson (Index_Key beginning with VINDEX_IO).
    int CountToday(const QString &code) const;
    // Caption of a type button with its counter: "簽到(n)", "簽退(n)", io3Cap + "(n)", ...;
    // empty for any other code.
    QString TypeCaption(const QString &code) const;

    // --- Class-day profile and time windows ------------------------------------------------

    // get_ClassesNo, FormRefresh, then the windows WinStart/WinEnd from DayRefTimes (a field
    // "0000" takes the day template's), BeforeStart and AfterEnd:
    //   "0": R1-b .. R2   "1": R1 .. R2+a   "2": R3-b .. R4
    //   "3": R3 .. R4+a   "4": R5-b .. R6   "5": R5 .. R6+a
    TypePanelView LoadLessonProfile();
    // SignTypeFlags, DayRefTimes, TypeShift and RollCallOffered of the station's class today
    // (the chosen lesson alone when CourseCode is set, else the whole day).
    void get_ClassesNo();

    // Which type buttons show and where (no widgets): a button of "0" .. "5" shows when its
    // flag in SignTypeFlags is "1", "點名" when RollCallOffered; the caption
    // "本日無課程明細資料 或重選今日課程" when no type is offered.
    TypePanelView FormRefresh() const;

    // --- Event types -------------------------------------------------------------------------

    // The mouse was pressed on a type button (before its click).
    void MousePressedOnType(const QString &code);

    // A click on a type button (by the operator, or the program checking it): CurrentIoType
    // := code; outside the type's window (roll call never is) the type is not kept
    // (TypeChecked false) and, when the mouse was pressed on this same button, the message
    // RefusalMessage(code) is shown. Choosing "0" recounts InCnt. Automatic mode goes off.
    // Returns whether the type is kept (the window leaves the button checked, or unchecks it).
    bool ChooseType(const QString &code);

    // Why a type ("0" .. "5") is refused now, naming the window that applies, for example
    // "上課前30分鐘內始得簽到!（08:30～12:00）" or "下課已逾60分鐘不得簽退!（09:00～13:00）" with the
    // configured minutes; "下課後不得簽到!" for an arrival after its window, "上課後始得簽退!" for
    // a departure before its window; "本堂課程沒有<name>時段!" for a type without a window today.
    QString RefusalMessage(const QString &code) const;

    // Whether now ("HHMM") is inside the window of a type, with the day's shift applied. Roll
    // call always is; a type the shift puts beyond the evening never is (it has no window).
    bool InsideWindow(const QString &code) const;
    // The type the time windows give now, among the types offered today (SignTypeFlags;
    // "簽到"/"簽退" when none is): an arrival while its window holds now, the earliest part of
    // the day (morning, afternoon, evening) first; else a departure while its window does, the
    // latest part first. "0" (unchecked) when no window holds now. The counts of stored events
    // never decide it.
    QString InitialTypeByWindows() const;

    // --- Automatic mode ----------------------------------------------------------------------

    // The mouse released on "自動" (CheckBox1): switches automatic mode on when now is in a
    // break of at most AutoSwitchLimit minutes between two consecutive lessons of today (all
    // types unchecked, PrevCourseCode/NextCourseCode/PrevInType/PrevOutType/NextCourseTitle/
    // NextTimeStart set), otherwise off, with the messages "課間休息限制 <n> 分鐘內,才會有此功能 "
    // or "時間區間(<end>～<start>)... 才會有自動 功能". Returns AutoMode; the window sets
    // CheckBox1 to it.
    bool AutoModeReleased();

    // --- Timer1 ------------------------------------------------------------------------------

    // One tick of the one-second timer: the date and time to show; while the timer is on,
    // in automatic mode and later than the next lesson's start, the switch to that lesson and
    // "簽到"; and, while a type is chosen, whether to synchronise the clock now (the first tick
    // after the timer started, and second 00 of every minute whose last digit is odd).
    TickView Tick();

private:
    void RunSettingsLoad();
    bool Offered(const QString &code) const;
    // A departure type whose arrival (of the same pair) is offered and inside its window now.
    bool ArrivalOfPairOpen(const QString &code) const;
    // Which windows of one lesson (its own class-day profile, the types it offers) hold now.
    struct WindowsHolding
    {
        bool arrival = false;
        bool departure = false;
        bool any() const { return arrival || departure; }
    };
    WindowsHolding LessonWindowsHoldingNow(const QString &classKey, const QString &lessonText) const;
    // Among today's lesson items (in start order): the first whose arrival window holds now,
    // else the last whose departure window does; empty when none.
    QString LessonByWindows(const QString &classKey, const QStringList &items) const;
    bool LessonInsideHours(const QString &classKey, const QString &lessonText) const;
    QString LessonAroundNow(const QString &classKey) const;
    void RememberSelection();
    // Chooses a type by program: silent when refused.
    bool CheckTypeSilently(const QString &code);
    bool ChooseTypeImpl(const QString &code, bool operatorClick);
    void ComputeWindows();
    QString ClassNumber(const QString &classKey) const;

    StationState &m_station;
    const TDM &m_dm;
    std::function<void()> m_settingsLoader;
    std::optional<Selection> m_keep;
    QString m_remembered; // the INI value written last
};
