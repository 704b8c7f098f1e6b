#pragma once

// The layout of the sign-in benchmark's database, shared by its generator and the benchmark:
// 500 classes of eight days each spread over 200 days, four lessons a day, 100,000 enrolment
// rows of which 2,000 are in class 0 (the class the benchmark signs in to), 1,000,000 events.
// Day 199, the last, is the benchmark's "today" and the last day of class 0.

#include <QDate>
#include <QString>

namespace SigninBench {

constexpr int ClassCount = 500;
constexpr int DayCount = 200;
constexpr int ClassDays = 8;
constexpr int LessonCount = 4;
constexpr int BookingCount = 100000;
constexpr int EnrolledInClass = 2000;
constexpr int EventCount = 1000000;
inline const QString Echelon = QStringLiteral("01");

inline QDate Date(int day)
{
    return QDate(2024, 3, 1).addDays(day);
}

inline int Today()
{
    return DayCount - 1;
}

// The first day of a class: class 0 ends today, the others are spread over the 200 days.
inline int FirstDay(int c)
{
    return c == 0 ? DayCount - ClassDays : (c * (DayCount - ClassDays)) / ClassCount;
}

// Class numbers of eleven characters; the class key adds the echelon.
inline QString CourseId(int c)
{
    return QStringLiteral("113") + QString::number(c).rightJustified(8, QLatin1Char('0'));
}

inline QString ClassKey(int c)
{
    return CourseId(c) + Echelon;
}

inline QString LessonCode(int l)
{
    return QString::number(l + 1).rightJustified(4, QLatin1Char('0'));
}

inline QString LessonStart(int l)
{
    static const char *const starts[] = {"08:00", "10:10", "13:30", "15:30"};
    return QLatin1String(starts[l]);
}

inline QString LessonEnd(int l)
{
    static const char *const ends[] = {"10:00", "12:00", "15:20", "17:30"};
    return QLatin1String(ends[l]);
}

// The PSIO.INDEX_KEY of a lesson's events: class number, CNo4 and start time.
inline QString LessonKey(int c, int l)
{
    return CourseId(c) + LessonCode(l) + LessonStart(l);
}

} // namespace SigninBench
