#pragma once

#include "Fun/DateTimeFunctions.h"

#include "reports/AttendanceRules.h"

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <functional>
#include <optional>

// The hours run of one training class: the sign events of the class become credited hours per
// person and lesson (work tables IO_RPT200 and IO_RPT300, then IO_SCORE00), and the per-person
// totals go into Booking.GHour (required) and Booking.Score (elective).
//
// The run reads the class's events, lessons and enrolment once, applies the rules in memory and
// writes each work table in one transaction; the tables keep their names and layouts because the
// sheets and the CSV outputs read them.

// Reads the settings of the moment from the template's sys_ini and the station INI. A setting
// that is not a whole number is reported (StrToIntSafe) and counts as 0.
ReportSettings ReadReportSettings(QSqlDatabase sample);

// ---- What the reports read of a class (on the connection given, values bound) ----

// The class row (Courses) of a class key, as the reports read it.
struct ReportClassRow
{
    bool found = false;
    QString CourseId;
    QString Course;     // the class name
    QString DateStart;  // "YYYY/MM/DD"
    QString DateEnd;
    QString TimeStart;
    QString TimeEnd;
    QString TotHours;
    QString CNo2;
    QString CNo4;
    QString SignType;
};
ReportClassRow LoadReportClassRow(QSqlDatabase db, const QString &classKey);

// The lessons of a class by date and start time.
QList<ReportLesson> LoadClassLessons(QSqlDatabase db, const QString &classKey);

// The class row standing in for the lessons of a class that has none: for the pair hours, its
// start and end (first five characters) and TotHours; for the credit of phase 2 also its date,
// CNo2, CNo4, its name as subject and the break times of classPeriods (characters 5-8 noon
// break start, 9-12 end, 13-16 evening break start, 17-20 end, each "HH:MM").
ReportLesson PairSubstituteLesson(const ReportClassRow &classRow);
ReportLesson ClassRowAsLesson(const ReportClassRow &classRow, const QString &classPeriods);

// A condition on a text column that holds exactly the rows whose value begins with prefix, ASCII
// letter case aside (as LIKE 'prefix%' does), written so that the column's index can be used:
//   "<column> >= ? and <column> < ? and <column> like ? escape '\'"
struct PrefixCondition
{
    QString sql;
    QVariantList params;
};
PrefixCondition BeginsWithCondition(const QString &column, const QString &prefix);

class HoursRun
{
public:
    // classKey: the class (CourseId + Echelon); the events of its class number are read, and
    // the work tables written, on db.
    HoursRun(QSqlDatabase db, const QString &classKey, const ReportSettings &settings);

    // Called while the events are applied: done of total, about a hundred times over the run and
    // once more at its end. The window steps its progress bar.
    void SetProgress(std::function<void(qsizetype done, qsizetype total)> progress);

    // Phases 1 and 2: everything is read and computed first, then the
    // three work tables are dropped, created and filled in one transaction. A class without a
    // class row, a class start date, lesson date or event date that cannot be read, or a time
    // that is not made of digits throws RolvanError with a clear message before any table is
    // touched; a database error rolls the tables back to what they were and throws
    // DatabaseError.
    void Run();

    // The per-person totals into Booking.GHour and Booking.Score, summed from IO_SCORE00: lessons
    // whose CNo2 is "選修" go to Score, all others to GHour; 0 for a person without rows. A total
    // is written in full even beyond the two characters GHour is declared with (SQLite keeps
    // it): cutting "123" to "12" would report hours that were never credited. After Run().
    void ComputeTotals();

    // What the last Run() read and wrote.
    qsizetype eventCount() const { return m_eventCount; }
    qsizetype rowCount() const { return m_rowCount; }     // IO_RPT200
    qsizetype scoreCount() const { return m_scoreCount; } // IO_SCORE00

private:
    QSqlDatabase m_db;
    QString m_classKey;
    ReportSettings m_settings;
    std::function<void(qsizetype, qsizetype)> m_progress;
    qsizetype m_eventCount = 0;
    qsizetype m_rowCount = 0;
    qsizetype m_scoreCount = 0;
};
