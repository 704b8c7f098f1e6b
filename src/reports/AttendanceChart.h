#pragma once

#include "reports/AttendanceRules.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

// The attendance of a class at a glance: for each lesson how many were present, late, left
// early and absent, and how the credited hours of the enrolled people spread against the
// hours the class requires. Read from the hours run's work tables (IO_RPT200 for the marks,
// IO_SCORE00 for the credited hours) and the class's enrolment; no widgets here.

struct LessonAttendance
{
    QString DateStart; // "YYYY/MM/DD"
    QString TimeStart; // "HH:MM"
    QString Subject;
    int Present = 0;   // enrolled people with a sign event in the lesson
    int Late = 0;      // of them, marked 遲到 in any part of it
    int LeftEarly = 0; // of them, marked 早退 in any part of it
    int Absent = 0;    // enrolled people without a sign event in the lesson

    // "09/05 09:00" as the chart's axis shows it.
    QString Caption() const;
};

struct AttendanceChartData
{
    QList<LessonAttendance> lessons;
    int RequiredHours = 0;            // the sum of the lessons' hours (the class row's when none)
    QList<int> PeopleByCreditedHours; // [h]: enrolled people credited h hours in all, 0 .. max
    int Enrolled = 0;
};

// Reads the chart of a class from the work tables of db as the last hours run left them (that run
// must have been of this class).
AttendanceChartData ReadAttendanceChart(QSqlDatabase db, const QString &classKey);

// Runs the hours computation of the class (HoursRun::Run, the totals untouched) and reads it.
// Errors of the run raise as HoursRun::Run raises them.
AttendanceChartData ComputeAttendanceChart(QSqlDatabase db, const QString &classKey,
                                           const ReportSettings &settings);
