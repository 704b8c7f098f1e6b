#pragma once

#include "reports/AttendanceRules.h"
#include "reports/HoursRun.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QStringList>

#include <functional>

// The data of the sign-in sheets: for one date and lesson of a class, every person's sign-in and
// sign-out times, late and early marks, roll calls and snapshot file names go into the work
// table IO_RPT200 in its sheet layout (one row per person, no date and lesson columns), and the
// head figures of the sheet header are counted. The sheets then read the enrolment rows with the
// IO_RPT200 values of each person (OpenADOBooking).
//
// The course choice dialog is a window: the caller shows Tdialog_course when
// SheetNeedsCourseChoice says so and hands its result in as a SheetChoice.

// What the course choice dialog delivered.
struct SheetChoice
{
    QString Result;        // "abort", or the lesson date as ROC text with its weekday, 1130905(四)
    QString LessonKey;     // CNo4 followed by the lesson's start time
    QString FullLessonKey; // ClassNumber followed by LessonKey

    bool aborted() const { return Result == QStringLiteral("abort"); }
};

// Whether the class has lessons, so that the sheet needs the course choice dialog first.
bool SheetNeedsCourseChoice(QSqlDatabase db, const QString &classKey);

// The station's snapshot switch (INI Base/簽到拍照, "False" by default; a value that is no
// yes/no text counts as off).
bool ReadSheetPhotoOn();

// Everything a sheet reads besides its rows.
struct SheetData
{
    QString ClassKey;
    QString SheetDate;    // the chosen date as ROC text with its weekday, 1130905(四)
    QString RocSheetDate; // "YYYMMDD" of the events shown
    QString LessonDate;   // "YYYY/MM/DD"
    QString LessonKey;    // CNo4 + TimeStart of the chosen lesson (as chosen; empty without lessons)
    QString FullKey;      // ClassNumber + LessonKey, or the class's CourseId for a class without lessons
    QString TeacherID;    // the chosen lesson's TeacherID
    bool HasLessons = false;
    QSqlRecord ClassRow;     // the Courses row
    QSqlRecord ChosenLesson; // the chosen Course row; empty for a class without lessons

    // SQL text of the lecturers met among the events, ('A123' ,'B456' ), empty when none; the
    // same identities as a list, which is what OpenADOBooking binds.
    QString LecturerList;
    QStringList LecturerIds;

    QString SheetSignType; // six '0'/'1' flags of the event kinds that apply
    // "(" R1 ")" "(" R2 ")" "(" R3 ")" of the chosen lesson with the empty ones left out, and
    // three '0'/'1' flags for R1, R2 and R3 present.
    QString RollCallText;
    QString RollCallMask = QStringLiteral("000");

    int Expected = 0; // enrolled students ("學員")
    int Present = 0;  // persons with a row, lecturers not counted
    int Absent = 0;
    int MorningRollCalls = 0;
    int AfternoonRollCalls = 0;
    int EveningRollCalls = 0;

    DayWindows Windows; // the bounds of the late and early marks (BuildSheetWindows)
};

// The part bounds of the sheet from the class row, the class-day kinds (ClsIOType) and the rows
// of the chosen lesson on the lesson date:
//   - the class's SignType characters 1, 3 and 5 give the morning, afternoon and evening the
//     class's own start and end; a class without lessons stops there;
//   - otherwise the chosen lesson bounds the morning, split at lunch for a "1111.." day whose
//     lesson spans the lunch break, or bounds the afternoon ("0011.."; split at dinner for
//     "001111") or the evening ("0000 11") instead;
//   - later rows join a part after a break shorter than RestLimit, and a new part starts only
//     after a break longer than RestLimit.
DayWindows SheetWindowsFrom(const ReportClassRow &classRow, bool hasLessons, const QString &clsIOType,
                            const QList<ReportLesson> &chosenLessonRows, const ReportSettings &settings);

// The same, read for a class, lesson date ("YYYY/MM/DD") and lesson key from db (the class-day
// kinds through get_IOtypeTimeString).
DayWindows BuildSheetWindows(QSqlDatabase db, const QString &classKey, const QString &lessonDate,
                             const QString &lessonKey, const ReportSettings &settings);

// "(R1)(R2)(R3)" and its mask from the roll-call times of a lesson.
void RollCallTextOf(const QString &r1, const QString &r2, const QString &r3, QString *text,
                    QString *mask);

// Builds the sheet data of a class: the lesson of `choice` (ignored for a class without
// lessons, which shows its own start date), IO_RPT200 in the sheet layout and IO_RPT300
// recreated and filled in one transaction, the lecturers and the head counts.
// A cancelled course choice throws SilentAbort before anything is read or written; a class
// without class row or with a date that cannot be read throws RolvanError.
SheetData BuildSheetData(QSqlDatabase db, const QString &classKey, const SheetChoice &choice,
                         const ReportSettings &settings, bool photoOn,
                         const std::function<void(qsizetype, qsizetype)> &progress = {});

// The rows of the sheets (dataset ADOBooking): the class's enrolment rows, ordered by JOBTYPE
// and ID - only students, the lesson's teacher and the lecturers met when there are lecturers -
// each followed by the 24 text columns of the person's IO_RPT200 row (empty when there is none),
// cut to the lengths the sheets print: iTime, oTime, iStat, oStat, iTime2, oTime2, iStat2,
// oStat2, ipic, opic, ipic2, opic2, iTime3, oTime3, iStat3, oStat3, ipic3, opic3, pTime1,
// pTime2, pTime3, ppic1, ppic2, ppic3. Two statements, whatever the number of persons.
QList<QSqlRecord> OpenADOBooking(QSqlDatabase db, const QString &classKey, const QString &teacherId,
                                 const QStringList &lecturerIds);
