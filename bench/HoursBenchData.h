#pragma once

// The layout of the hours benchmark's database, shared by its generator and the benchmark: two
// classes that the benchmark computes (500 and 5,000 persons, ten class days of four lessons,
// about six sign events per person and day) among 1,000,000 events of 400 other classes.

#include <QDate>
#include <QString>

namespace HoursBench {

constexpr int SmallClassSize = 500;
constexpr int LargeClassSize = 5000;
constexpr int ClassDays = 10;
constexpr int LessonCount = 4;
constexpr int OtherClassCount = 400;
constexpr int OtherEventCount = 1000000;
constexpr int OtherDays = 120;
inline const QString Echelon = QStringLiteral("01");

inline QDate FirstDay()
{
    return QDate(2024, 9, 2);
}

// The two measured classes are 0 (small) and 1 (large); the others follow.
inline QString CourseId(int c)
{
    return QStringLiteral("113") + QString::number(c + 1).rightJustified(8, QLatin1Char('0'));
}

inline QString ClassKey(int c)
{
    return CourseId(c) + Echelon;
}

inline int ClassSize(int c)
{
    return c == 0 ? SmallClassSize : LargeClassSize;
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

inline QString LessonKey(int c, int l)
{
    return CourseId(c) + LessonCode(l) + LessonStart(l);
}

// Identity numbers of the persons of a measured class.
inline QString PersonId(int c, int p)
{
    return QLatin1Char(c == 0 ? 'A' : 'B') + QString::number(100000000 + p);
}

} // namespace HoursBench
