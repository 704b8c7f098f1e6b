#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// Rules of the two small choice dialogs, kept apart from their widgets.
//
// Date dialog: the caller hands in a field's text and its pattern (empty meaning "YYYY/MM/DD");
// a confirmed choice replaces the text, any other way of closing leaves it as it was.
//
// Course choice dialog: offers the lessons of a class as lines
// "<CNo4>:<DateStart>(<TimeStart>-<TimeEnd>):<Subject>", for example
// "A001:2024/05/06(09:00-12:00):職業安全". Its result stays "abort" until a line is confirmed.

// --- Date dialog ---

// Days the "年" button moves the calendar back (and its arrow button forward).
inline constexpr int DateDialogYearStep = 365;

// The day the calendar shows when the dialog opens: today for a text of fewer than seven
// characters (blanks around ignored) or one the pattern cannot read, otherwise the date the
// text names.
QDate DateDialogStartDate(const QString &dialogDateText, const QString &pattern);

// The text a confirmed choice writes back: the date in the form the pattern names.
QString DateDialogResultText(const QDate &date, const QString &pattern);

// --- Course choice dialog ---

QString CourseChoiceAbort();          // "abort"
QString CourseChoicePrompt();         // edit text before a choice: "至少選1個課程"
// The caption line: "日期：<first day>～<last day>".
QString CourseChoiceCaption(const QString &firstDay, const QString &lastDay);

// The lesson lines of a class on the working connection db, by date and start time. A lesson
// with a blank column still gives a line (the blank part is empty).
QStringList CourseChoiceLines(QSqlDatabase db, const QString &classKey);

// What a confirmed line gives.
struct CourseChoice
{
    QString LessonKey;     // CNo4 followed by the lesson's start time
    QString FullLessonKey; // ClassNumber followed by LessonKey
    QString Result;        // the lesson date as ROC "YYYMMDD" followed by "(<weekday>)"
};

// The class number of a class key: its first courseNoLength characters, blanks around removed.
QString ClassNumberOfKey(const QString &classKey, int courseNoLength);

// The start time of a lesson line: the text between the "(" and the "-" that follow the first
// ":", so that codes of any length work. A line without that form gives its characters 17 to 21
// (where a four-character code puts the start time).
QString LessonStartOfLine(const QString &line);

// The lesson date of a line: the text after the first ":" up to "(" (its first ten characters
// when there is no "("), read as "YYYY/MM/DD"; today when it is not a date.
QDate LessonDateOfLine(const QString &line);

// "1130506(一)": a date as ROC "YYYMMDD" and its weekday character.
QString RocDateWithWeekday(const QDate &date);

// False while the drop-down still shows its prompt (or nothing): no lesson was chosen, so
// "OK" asks for one instead of handing the prompt on as a lesson.
bool IsCourseChoiceMade(const QString &text);

// The values of a confirmed line for a class. The line is not checked: a text typed by hand
// gives whatever its parts contain, an unreadable date gives today.
CourseChoice ChooseCourseLine(const QString &line, const QString &classKey, int courseNoLength);
