#pragma once

#include <QList>
#include <QString>

#include <array>
#include <functional>

// The attendance rules of the reports, one function per rule, each a function of its inputs
// alone: how the parts of a class day are bounded, how a sign event enters a person's row, how a
// sign-in and sign-out pair earns hours, how a roll call is judged and how each kind of lesson
// is credited. The hours run and the sign-in sheets load the data, call these and write the
// results; nothing here touches a database or shows a window.
//
// Times are texts compared by character code, as they are stored: event times "HHMMSS", lesson
// times "HH:MM", bounds "HHMM" or "HHMM59" (a minute with its last second). Hours are always cut
// to whole numbers downwards.
//
// Parts of a day are numbered 0 morning, 1 afternoon, 2 evening; the stored columns of part k
// are iTime/oTime/istat/ostat/pTime1 for the morning, iTime2/... /pTime2 for the afternoon and
// iTime3/... /pTime3 for the evening.

// Settings the reports read when their window is activated (station INI and sys_ini).
struct ReportSettings
{
    QString LateGrace = QStringLiteral("0015");     // "HHMM"
    QString RestLimit = QStringLiteral("00:30");    // "HH:MM"
    int HourMinutes = 45;                           // minutes that make a one-hour lesson attended
    int RollCallLimit = 30;                         // minutes a roll call may be answered late
    QString ClassPeriods = QStringLiteral("093012001330173018302130");
    int CourseNoLength = 11;
};

// A lesson (a Course row, or the class row standing in for one) as the reports read it.
struct ReportLesson
{
    QString DateStart;  // "YYYY/MM/DD"
    QString TimeStart;  // "HH:MM" as stored
    QString TimeEnd;
    int Hours = 0;      // approved hours
    QString CNo2;       // "選修" for an elective lesson
    QString CNo4;
    QString Subject;
    QString noonRS;     // lunch break start and end, "HH:MM" or blank
    QString noonRE;
    QString nightRS;    // dinner break start and end
    QString nightRE;
    QString R1;         // roll-call times of the morning, afternoon and evening, "HH:MM" or blank
    QString R2;
    QString R3;
};

// The lesson key of a lesson: trimmed CNo4 followed by the trimmed start time.
QString LessonKeyOf(const ReportLesson &lesson);

// The bounds of the three parts of one class day, as the late and early marks, the break merge
// and the roll-call checks read them.
struct DayWindows
{
    std::array<QString, 3> in{QStringLiteral("00:00"), QStringLiteral("00:00"), QStringLiteral("00:00")};
    std::array<QString, 3> out{QStringLiteral("00:00"), QStringLiteral("00:00"), QStringLiteral("00:00")};
    std::array<bool, 3> partOn{false, false, false};
    std::array<bool, 3> rollCall{false, false, false};
    std::array<QString, 3> rollCallTime; // "HH:MM"
    bool MergeMorningAfternoon = false;
    bool MergeAfternoonEvening = false;
    // Break bounds, "HHMM": end of the morning, start and end of the afternoon, start of the evening.
    QString MorningEnd;
    QString AfternoonStart;
    QString AfternoonEnd;
    QString EveningStart;
    std::array<QString, 3> ArrivalDeadline; // latest regular sign-in, "HHMM59"
    std::array<QString, 3> LeaveEarliest;   // earliest regular sign-out, "HHMM"
};

// The day state of one date from its lessons in start order (the hours run's rules).
DayWindows BuildDayWindows(const QList<ReportLesson> &lessonsOfDate, const ReportSettings &settings);

// The break bounds and, for every part, the arrival deadline ("HHMM" of the part's start plus
// the grace, then "59") and the earliest leave ("HHMM" of its end minus the grace). A part that
// stayed off keeps "00:00" and so gets 001559 and 0015 with the default grace.
void FinishPartBounds(DayWindows &windows, const ReportSettings &settings);

// One row of the work table IO_RPT200: a person's sign times of one lesson and date (hours
// run) or of the sheet's lesson (sheets).
struct AttendanceRow
{
    QString IDNO;
    QString cno4;    // lesson key (hours run only)
    QString IODATE;  // ROC date as the events carry it (hours run only)
    std::array<QString, 3> iTime;
    std::array<QString, 3> oTime;
    std::array<QString, 3> istat; // "遲到" or empty
    std::array<QString, 3> ostat; // "早退" or empty
    std::array<QString, 3> pTime; // roll-call times
    std::array<int, 3> scr{0, 0, 0};
    QString JOBTYPE;
};

// The texts a roll-call time is compared with to find its part: up to the first it is the
// morning's, up to the second the afternoon's, after it the evening's. With six-digit times both
// pairs give the same parts: hour 12 or earlier, 13 to 18, 19 or later.
struct RollCallLimits
{
    QString morning;
    QString afternoon;
};
RollCallLimits HoursRollCallLimits(); // "12:00", "18:00"
RollCallLimits SheetRollCallLimits(); // "12:45", "18:45"

// The part (0, 1, 2) a roll call at ioTime belongs to.
int RollCallSlot(const QString &ioTime, const RollCallLimits &limits);

// The part a sign-in or sign-out type belongs to ("0"/"1" morning, "2"/"3" afternoon, "4"/"5"
// evening), -1 for any other type.
int PartOfType(const QString &ioType);
bool IsSignOutType(const QString &ioType);

// The station signs a lesson that on its own has only the afternoon kinds (or only the evening
// kinds) with the first pair, "0"/"1": the shift to the pair those events stand for, 2 (or 4),
// else 0. classPeriods is the station's day template (section Baae).
int StationPairShift(const ReportLesson &lesson, const QString &classPeriods);
// "0"/"1" moved on by shift ("2"/"3" or "4"/"5"); every other type as it is.
QString TypeWithShift(const QString &ioType, int shift);

// One sign event entering a person's row: its time goes into the column of its type (a later
// event of the same type replaces an earlier one), a roll call into the pTime of its part, and
// a sign-in after the part's arrival deadline sets "遲到", a sign-out before its earliest leave
// "早退"; a mark once set stays. Returns the part of a sign-out (whose pair the caller then
// credits with PairHours), -1 for any other event.
int ApplyEvent(AttendanceRow &row, const QString &ioType, const QString &ioTime,
               const DayWindows &windows, const RollCallLimits &limits);

// The hours of one sign-in and sign-out pair ("HHMMSS" each) over the lessons of the date (or
// the one lesson that stands in for a class without lessons), numbered from 1 in start order:
// a one-hour lesson counts when at least HourMinutes of it were attended, and is reported to
// markAttended with its number; a longer lesson counts the whole hours of the attended span
// widened by the grace on both sides. A pair with an empty time gives 0.
int PairHours(const QString &signIn, const QString &signOut, const QList<ReportLesson> &lessons,
              const ReportSettings &settings, const std::function<void(int)> &markAttended);

// A roll call judged against its time: 1 when no roll call is set or it was answered at the
// roll-call minute or up to RollCallLimit minutes later, else 0 with the reason.
struct RollCallCheck
{
    int passed = 1;
    QString message;
};
RollCallCheck CheckRollCall(bool rollCallSet, const QString &rollCallTime, const QString &signTime,
                            int rollCallLimit);

// ---- Crediting a lesson ----

// The lesson's bounds as the credit rules compare them: start' "HHMM59", end' "HHMM", break
// starts "HHMM59" and break ends "HHMM" (an empty break time stays empty).
struct LessonFrame
{
    QString start;
    QString end;
    QString noonStart;
    QString noonEnd;
    QString nightStart;
    QString nightEnd;
};
LessonFrame FrameOfLesson(const ReportLesson &lesson);

// "100" morning, "010" afternoon, "001" evening, with "1" added at the second place for a noon
// break and at the third for an evening break ("110", "011", "111"); the class row standing in
// for a lesson takes the second and third place from its end time instead.
QString SegmentCodeOf(const ReportLesson &lesson, bool isClassRow);

// Minutes attended of window [P, Q] by sign-in x and sign-out y, plain and widened by the grace.
// An empty sign-in counts as the window's start; an empty sign-out gives 0.
int PlainMinutes(const QString &x, const QString &y, const QString &P, const QString &Q);
int GraceMinutes(const QString &x, const QString &y, const QString &P, const QString &Q,
                 const QString &lateGrace);
// Hours of a part of n approved hours: n = 1 counts a period of 45 attended minutes, n >= 2
// counts whole hours of the grace minutes, n <= 0 nothing.
int PartHours(int n, const QString &x, const QString &y, const QString &P, const QString &Q,
              const QString &lateGrace);

// What a row earns in a lesson: credited hours (never more than the lesson's approved hours,
// each part counted only over the lesson's own time span), the counted times t1..t6 ("HH:MM") and the
// roll-call message.
struct LessonCredit
{
    int hours = 0;
    std::array<QString, 6> t;
    QString message;
};
LessonCredit CreditRow(const QString &segmentCode, const AttendanceRow &row,
                       const ReportLesson &lesson, const DayWindows &windows,
                       const ReportSettings &settings);

// One swipe during a short break counts both as the sign-out before it and the sign-in after it:
// with a merge flag set, an empty sign-out takes the next part's sign-in made during the break,
// or an empty sign-in takes the sign-out made during the break. Marks and scr stay as they are.
void MergeBreakEvents(AttendanceRow &row, const DayWindows &windows);
