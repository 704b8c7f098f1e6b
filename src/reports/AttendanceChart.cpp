#include "reports/AttendanceChart.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "reports/HoursRun.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

struct PersonMarks
{
    bool late = false;
    bool leftEarly = false;
};

// date (ROC) + separator + lesson key in upper case -> person -> marks
using MarksOfLesson = QHash<QString, QHash<QString, PersonMarks>>;

QString LessonSlot(const QString &roc, const QString &lessonKey)
{
    return roc + QChar(0x1F) + lessonKey.trimmed().toUpper();
}

} // namespace

QString LessonAttendance::Caption() const
{
    return DateStart.mid(5, 5) + QLatin1Char(' ') + TimeStart.trimmed();
}

AttendanceChartData ReadAttendanceChart(QSqlDatabase db, const QString &classKey)
{
    AttendanceChartData chart;

    // The enrolled people, once each.
    QSet<QString> enrolled;
    {
        QSqlQuery query = RunQuery(u"select ID from Booking where INDEX_KEY = ?"_s, db, {classKey});
        while (query.next()) {
            const QString id = query.value(0).toString().trimmed();
            if (!id.isEmpty())
                enrolled.insert(id);
        }
    }
    chart.Enrolled = int(enrolled.size());

    // The marks of each person in each lesson of a date; a person of a class without lessons
    // may sign under another key than the class row's, so those dates also collect all keys.
    MarksOfLesson marks;
    QHash<QString, QHash<QString, PersonMarks>> marksOfDate;
    {
        QSqlQuery query = RunQuery(u"select IDNO, IODATE, cno4, istat, istat2, istat3, ostat, "
                                   "ostat2, ostat3 from IO_RPT200"_s, db);
        while (query.next()) {
            const QString id = query.value(0).toString().trimmed();
            const QString roc = query.value(1).toString().trimmed();
            PersonMarks row;
            for (int i = 3; i < 6; ++i)
                row.late = row.late || query.value(i).toString().trimmed() == u"遲到"_s;
            for (int i = 6; i < 9; ++i)
                row.leftEarly = row.leftEarly || query.value(i).toString().trimmed() == u"早退"_s;
            for (PersonMarks *m : {&marks[LessonSlot(roc, query.value(2).toString())][id],
                                   &marksOfDate[roc][id]}) {
                m->late = m->late || row.late;
                m->leftEarly = m->leftEarly || row.leftEarly;
            }
        }
    }

    QList<ReportLesson> lessons = LoadClassLessons(db, classKey);
    const bool classRowAsLesson = lessons.isEmpty();
    if (classRowAsLesson) {
        const ReportClassRow classRow = LoadReportClassRow(db, classKey);
        if (classRow.found)
            lessons.append(ClassRowAsLesson(classRow, QString()));
    }
    for (const ReportLesson &lesson : std::as_const(lessons)) {
        chart.RequiredHours += lesson.Hours;
        LessonAttendance row;
        row.DateStart = lesson.DateStart.left(10);
        row.TimeStart = lesson.TimeStart.left(5);
        row.Subject = lesson.Subject.trimmed();
        const std::optional<QDate> day = ReadStationDate(row.DateStart);
        const QString roc = day ? FormatDateByPattern(u"YYYMMDD"_s, *day) : QString();
        const QHash<QString, PersonMarks> people = classRowAsLesson
            ? marksOfDate.value(roc)
            : marks.value(LessonSlot(roc, LessonKeyOf(lesson)));
        for (const QString &id : std::as_const(enrolled)) {
            const auto found = people.constFind(id);
            if (found == people.cend()) {
                ++row.Absent;
                continue;
            }
            ++row.Present;
            row.Late += found->late ? 1 : 0;
            row.LeftEarly += found->leftEarly ? 1 : 0;
        }
        chart.lessons.append(row);
    }
    if (classRowAsLesson && !lessons.isEmpty() && chart.RequiredHours == 0)
        chart.RequiredHours = LoadReportClassRow(db, classKey).TotHours.trimmed().toInt();

    // Credited hours per enrolled person, summed over all their lessons.
    QHash<QString, int> credited;
    {
        QSqlQuery query =
            RunQuery(u"select IDNO, sum(gHours) from IO_SCORE00 group by IDNO"_s, db);
        while (query.next())
            credited.insert(query.value(0).toString().trimmed(), query.value(1).toInt());
    }
    int top = chart.RequiredHours;
    for (const QString &id : std::as_const(enrolled))
        top = std::max(top, std::max(0, credited.value(id)));
    chart.PeopleByCreditedHours = QList<int>(top + 1, 0);
    for (const QString &id : std::as_const(enrolled))
        ++chart.PeopleByCreditedHours[std::max(0, credited.value(id))];
    return chart;
}

AttendanceChartData ComputeAttendanceChart(QSqlDatabase db, const QString &classKey,
                                           const ReportSettings &settings)
{
    HoursRun run(db, classKey, settings);
    run.Run();
    return ReadAttendanceChart(db, classKey);
}
